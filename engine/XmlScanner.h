// A small well-formedness check of the XML documents a package holds (manifest,
// content.xml): declarations, comments, a doctype before the root, nested elements with
// quoted attributes, text with entity references, and CDATA. A listener sees every
// element with where its tags stand in the text.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace tavrin {

class XmlListener {
public:
    virtual ~XmlListener() = default;
    // A start tag at [begin, end) with its attributes decoded; `empty` for the short
    // form. Returning false rejects the document.
    virtual bool Start(std::string_view name, const std::map<std::string, std::string>& attributes,
                       std::size_t begin, std::size_t end, bool empty) = 0;
    // The end of the innermost open element: its end tag at [begin, end), or for an
    // empty element begin == end == the end of its start tag.
    virtual void End(std::size_t begin, std::size_t end) = 0;
};

// True when `text` (optionally after a UTF-8 byte order mark) is one well-formed root
// element with nothing but markup and white space around it. `listener` may be null.
bool ScanXml(std::string_view text, XmlListener* listener);

// The part of a qualified name after its prefix.
std::string_view XmlLocalName(std::string_view qualified);

} // namespace tavrin
