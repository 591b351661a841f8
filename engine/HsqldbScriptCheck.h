// Keeps the statements of a damaged HSQLDB 1.8 script that HSQLDB can run, so one
// garbled line no longer loses the whole database (HSQLDB refuses a script with any
// line it cannot read, "error in script file line: N").
//
// A line is kept when it is text (no control character, valid UTF-8) and is one of:
// a table definition ParseHsqldbTable reads; an INSERT into a table defined above it
// with one value per column, each a literal of the column's declared type; a
// SET TABLE ... INDEX line of a table defined above it, with numbers only; or another
// statement HSQLDB writes (SET, CREATE, GRANT, ALTER, REVOKE) with its quotes closed.
// A last line without its end (a file cut inside it) is left as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/HsqldbScriptTables.h"

namespace tavrin {

struct HsqldbScriptCheckResult {
    bool ok = false;               // the file was read and the new one written
    std::string error;
    std::uint64_t kept = 0;
    std::uint64_t dropped = 0;     // lines left out
    std::vector<std::string> cachedWithoutIndex; // CACHED tables whose index line is not kept
    std::size_t tables = 0;        // table definitions kept
};

class HsqldbScriptCheck {
public:
    // Rewrites the script at `path` with the lines kept; the file is left as it is when
    // every line is kept.
    static HsqldbScriptCheckResult Run(const std::string& path);

    // Whether `line` is kept, given the tables defined before it (a definition it
    // holds is added to `tables`).
    static bool Keep(const std::string& line, std::vector<HsqldbScriptTable>& tables);
};

} // namespace tavrin
