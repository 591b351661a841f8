#include "engine/TextUtil.h"

#include <algorithm>

#include "engine/XmlText.h"

namespace tavrin {

std::string Latin1ToUtf8(const std::string& bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

std::string PrintableName(const std::string& bytes)
{
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        unsigned long code = 0;
        std::size_t length = Utf8SequenceAt(bytes, i, &code);
        const bool control = length > 0 && (code < 0x20 || (code >= 0x7F && code < 0xA0));
        if (length > 0 && !control) {
            shown.append(bytes, i, length);
            i += length;
            continue;
        }
        // A control character, or a byte that starts no UTF-8 sequence: each byte as \xNN.
        for (length = std::max<std::size_t>(length, 1); length > 0; --length, ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xF];
        }
    }
    return shown;
}

} // namespace tavrin
