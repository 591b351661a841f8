// Text inside the XML documents of a package: reading entity references back into
// characters, and writing text into attribute values so it always stays one value.
#pragma once

#include <cstddef>
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

// The length of the well-formed UTF-8 sequence at `at` (its code point in `code`), or 0
// when the bytes there start none.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, unsigned long* code);

// Control characters cannot stand in an XML attribute (or only as a character reference
// LibreOffice would show as a box), nor in a log line; U+FFFE and U+FFFF are no XML
// characters at all.
bool IsNameCharacter(unsigned long code);

// True when `text` is well-formed UTF-8 of name characters only: a name XML carries as
// it stands.
bool IsNameText(std::string_view text);

} // namespace tavrin
