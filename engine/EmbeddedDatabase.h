// Which database engine a package folder embeds, told by the files under database/.
#pragma once

#include <string>

namespace tavrin {

enum class EmbeddedDatabase { Hsqldb, Firebird };

// Firebird when database/firebird.fbk or database/firebird.fdb is a file of the
// folder; HSQLDB otherwise (it is the engine older Base versions always used).
EmbeddedDatabase DetectEmbeddedDatabase(const std::string& folder);

// The connection resource a database document gives that engine.
const char* ConnectionResource(EmbeddedDatabase database);

} // namespace tavrin
