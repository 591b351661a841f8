// Text inside the XML documents of a package: reading entity references back into
// characters, and writing text into attribute values so it always stays one value.
#pragma once

#include <string>
#include <string_view>

namespace tavrin {

// Replaces the five predefined entities and character references of `text`; false on
// any other '&' sequence (the document is then not well-formed).
bool DecodeXmlEntities(std::string_view text, std::string& out);

// `text` ready to stand between the double quotes of an attribute value.
std::string EscapeXmlAttribute(std::string_view text);

// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

} // namespace tavrin
