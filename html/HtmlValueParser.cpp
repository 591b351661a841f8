#include "html/HtmlValueParser.h"

#include "html/HtmlColorTable.h"

#include <cstdint>
#include <cstdlib>

namespace tavrin {
namespace {

bool IsHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

int ClampToInt(long long value)
{
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int>(value);
}

struct EffectName {
    const char* name;
    int id;
};

constexpr EffectName kEffectNames[] = {
    {"transparent", -1}, {"solid", 0},       {"hgradient", 1},   {"vgradient", 2},   {"hcgradient", 3},
    {"vcgradient", 4},   {"3hgradient", 5},  {"3vgradient", 6},  {"noise", 7},       {"diagshade", 8},
    {"hshade", 9},       {"vshade", 10},     {"hbump", 11},      {"vbump", 12},      {"softbump", 13},
    {"hardbump", 14},    {"metal", 15},
};

} // namespace

int CHtmlValueParser::MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return 0;
    const long long product = static_cast<long long>(number) * numerator;
    long long quotient = product / denominator;
    const long long remainder = product % denominator;
    // Round half away from zero.
    if (2 * (remainder < 0 ? -remainder : remainder) >= (denominator < 0 ? -denominator : denominator))
        quotient += ((product < 0) != (denominator < 0)) ? -1 : 1;
    return ClampToInt(quotient);
}

std::uint32_t CHtmlValueParser::ParseCUnsigned(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    const unsigned long long value = std::strtoull(bytes.constData(), nullptr, 0);
    return static_cast<std::uint32_t>(value);
}

int CHtmlValueParser::LeadingInt(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return ClampToInt(std::strtoll(bytes.constData(), nullptr, 10));
}

int CHtmlValueParser::ParseSize(const QString& text, int current, bool fontSizeMode, const HtmlSizeMetrics& metrics)
{
    if (text.isEmpty())
        return current;
    if (text.endsWith(QLatin1Char('%')))
        return MulDiv(current, LeadingInt(text.left(text.size() - 1)), 100);

    // A sign is accepted but carries no relative meaning.
    QString rest = text;
    if (rest.startsWith(QLatin1Char('+')) || rest.startsWith(QLatin1Char('-')))
        rest.remove(0, 1);

    const int number = LeadingInt(rest);
    const QString unit = rest.size() > 1 ? rest.right(2) : QString();
    const auto physical = [&](double perInch) {
        return ClampToInt(static_cast<long long>(static_cast<double>(number) * metrics.dpiY / perInch));
    };
    if (unit == QLatin1String("px"))
        return number;
    if (unit == QLatin1String("ex"))
        return ClampToInt(static_cast<long long>(number) * metrics.xHeight);
    if (unit == QLatin1String("em"))
        return ClampToInt(static_cast<long long>(number) * metrics.fontHeight);
    if (unit == QLatin1String("in"))
        return physical(1.0);
    if (unit == QLatin1String("cm"))
        return physical(2.54);
    if (unit == QLatin1String("mm"))
        return physical(25.4);
    if (unit == QLatin1String("pt"))
        return physical(72.0);
    if (unit == QLatin1String("pc"))
        return physical(6.0);

    const std::uint32_t value = ParseCUnsigned(rest);
    if (fontSizeMode && value >= 1 && value <= 7) {
        static constexpr int kClassicSizes[] = {8, 10, 12, 14, 18, 24, 36};
        return kClassicSizes[value - 1];
    }
    return ClampToInt(static_cast<long long>(value));
}

HtmlColor CHtmlValueParser::ParseColor(const QString& text, HtmlColor current, const CHtmlColorTable& colors)
{
    if (text.isEmpty())
        return current;
    if (text.startsWith(QLatin1Char('#'))) {
        const QString hex = text.mid(1);
        if (hex.size() != 6)
            return current;
        for (const QChar c : hex)
            if (!IsHexDigit(c))
                return current;
        const uint rgb = hex.toUInt(nullptr, 16);
        return HtmlRgb(static_cast<int>(rgb >> 16), static_cast<int>(rgb >> 8), static_cast<int>(rgb));
    }
    if (text.front().isDigit())
        return ParseCUnsigned(text);
    return colors.GetColorByName(text, current);
}

int CHtmlValueParser::ParseEffect(const QString& text, int current)
{
    if (text.isEmpty())
        return current;
    for (const EffectName& effect : kEffectNames)
        if (text == QLatin1String(effect.name))
            return effect.id;
    return ParseSize(text, current, false, HtmlSizeMetrics{});
}

int CHtmlValueParser::ParseTextAlign(const QString& text, int current)
{
    if (text == QLatin1String("left"))
        return kAlignLeft;
    if (text == QLatin1String("center"))
        return kAlignCenter;
    if (text == QLatin1String("right"))
        return kAlignRight;
    return current;
}

int CHtmlValueParser::ParseVerticalAlign(const QString& text, int current)
{
    if (text == QLatin1String("baseline"))
        return kVAlignBaseline;
    if (text == QLatin1String("middle") || text == QLatin1String("vcenter"))
        return kVAlignMiddle;
    if (text == QLatin1String("top"))
        return kVAlignTop;
    if (text == QLatin1String("bottom"))
        return kVAlignBottom;
    return current;
}

void CHtmlValueParser::ParseFontStyleLetters(const QString& text, CHtmlStyle& style)
{
    bool on = true;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '+': on = true; continue;
        case '-': on = false; continue;
        case 'b': style.fontWeight = on ? 700 : 400; break;
        case 'i': style.italic = on; break;
        case 'u': style.underline = on; break;
        case 's': style.strikeout = on; break;
        case 'o': style.overline = on; break;
        default: continue;
        }
        on = true;
    }
}

unsigned CHtmlValueParser::ParseImageStyleLetters(const QString& text, bool shadowOffsetsSet, bool gradientShadow)
{
    unsigned bits = 0;
    if (text.contains(QLatin1Char('g')))
        bits |= 0x1;
    if (text.contains(QLatin1Char('d')))
        bits |= 0x2;
    if (text.contains(QLatin1Char('l')))
        bits |= 0x4;
    if (text.contains(QLatin1Char('s')) && shadowOffsetsSet)
        bits |= gradientShadow ? 0x200u : 0x100u;
    return bits;
}

bool CHtmlValueParser::IsPercent(const QString& text)
{
    return !text.isEmpty() && text.endsWith(QLatin1Char('%'));
}

} // namespace tavrin
