#include "engine/XmlText.h"

#include <cctype>

namespace tavrin {
namespace {

void AppendUtf8(std::string& out, unsigned long code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

bool DecodeXmlEntities(std::string_view text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const auto end = text.find(';', i);
        if (end == std::string_view::npos)
            return false;
        const std::string_view entity = text.substr(i + 1, end - i - 1);
        if (entity == "amp") out += '&';
        else if (entity == "lt") out += '<';
        else if (entity == "gt") out += '>';
        else if (entity == "quot") out += '"';
        else if (entity == "apos") out += '\'';
        else if (entity.size() >= 2 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const std::string_view digits = entity.substr(hex ? 2 : 1);
            if (digits.empty() || digits.size() > 8)
                return false;
            unsigned long code = 0;
            for (const char c : digits) {
                const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                    : hex && std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                    : -1;
                if (digit < 0)
                    return false;
                code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
            }
            if (code == 0 || code > 0x10FFFF)
                return false;
            AppendUtf8(out, code);
        } else {
            return false;
        }
        i = end;
    }
    return true;
}

std::string EscapeXmlAttribute(std::string_view text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, unsigned long* code)
{
    if (at >= text.size())
        return 0;
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    unsigned long value = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past Unicode are refused by XML
    // parsers, and one of them would make the whole document unreadable.
    static constexpr unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    if (code != nullptr)
        *code = value;
    return length;
}

bool IsValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, i, nullptr);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

bool IsNameCharacter(unsigned long code)
{
    return code >= 0x20 && !(code >= 0x7F && code < 0xA0) && code != 0xFFFE && code != 0xFFFF;
}

bool IsNameText(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        unsigned long code = 0;
        const std::size_t length = Utf8SequenceAt(text, i, &code);
        if (length == 0 || !IsNameCharacter(code))
            return false;
        i += length;
    }
    return true;
}

} // namespace tavrin
