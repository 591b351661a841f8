// The content.xml that makes a package folder a database document with an embedded
// HSQLDB database, written when the package lost its own or kept only a short piece.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/PackageDocuments.h"

namespace tavrin {

// The built-in template; its length is also the threshold below which an existing
// content.xml counts as cut short.
std::string_view ContentXmlTemplate();
inline constexpr std::size_t kContentXmlTemplateSize = 999;

enum class ContentXmlAction {
    KeptExisting,
    WroteTemplate,
    // The extracted content.xml was damaged (its CRC missed, or it came back cut) and
    // is no well-formed XML, so LibreOffice would refuse the data source: replaced.
    ReplacedDamaged,
    Failed,
};

// Leaves a content.xml of at least the template's size alone; otherwise writes the
// template, naming embedded Firebird instead of HSQLDB when the folder holds a Firebird
// database (database/firebird.fbk or .fdb), and listing the form and report documents
// the folder holds (the template stays as it is when there are none). `listed`, when
// given, receives the documents listed when the template was written. With
// `existingDamaged` (the extraction knows the file's bytes are not the ones recorded)
// a content.xml of any length is kept only while it is well-formed XML.
ContentXmlAction RegenerateContentXml(const std::string& folder, std::vector<PackageDocument>* listed = nullptr,
                                      bool existingDamaged = false);

} // namespace tavrin
