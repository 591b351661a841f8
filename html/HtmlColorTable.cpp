#include "html/HtmlColorTable.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

namespace tavrin {
namespace {

struct NamedColor {
    const char* name;
    std::uint32_t rgb; // 0xRRGGBB as written in CSS
};

// The CSS3 extended keywords, without the "grey" spellings and "lightgray" (only
// "lightgrey" is known), and with darkseagreen at #8FBC8B: texts written for this
// renderer expect exactly these.
constexpr NamedColor kCssColors[] = {
    {"aqua", 0x00FFFF}, {"black", 0x000000}, {"blue", 0x0000FF}, {"brown", 0xA52A2A},
    {"cyan", 0x00FFFF}, {"gold", 0xFFD700}, {"gray", 0x808080}, {"green", 0x008000},
    {"magenta", 0xFF00FF}, {"maroon", 0x800000}, {"navy", 0x000080}, {"olive", 0x808000},
    {"orange", 0xFFA500}, {"pink", 0xFFC0CB}, {"purple", 0x800080}, {"red", 0xFF0000},
    {"silver", 0xC0C0C0}, {"snow", 0xFFFAFA}, {"violet", 0xEE82EE}, {"white", 0xFFFFFF},
    {"yellow", 0xFFFF00}, {"aliceblue", 0xF0F8FF}, {"antiquewhite", 0xFAEBD7},
    {"aquamarine", 0x7FFFD4}, {"azure", 0xF0FFFF}, {"beige", 0xF5F5DC}, {"bisque", 0xFFE4C4},
    {"blanchedalmond", 0xFFEBCD}, {"blueviolet", 0x8A2BE2}, {"burlywood", 0xDEB887},
    {"cadetblue", 0x5F9EA0}, {"chartreuse", 0x7FFF00}, {"chocolate", 0xD2691E},
    {"coral", 0xFF7F50}, {"cornflowerblue", 0x6495ED}, {"cornsilk", 0xFFF8DC},
    {"crimson", 0xDC143C}, {"darkblue", 0x00008B}, {"darkcyan", 0x008B8B},
    {"darkgoldenrod", 0xB8860B}, {"darkgray", 0xA9A9A9}, {"darkgreen", 0x006400},
    {"darkkhaki", 0xBDB76B}, {"darkmagenta", 0x8B008B}, {"darkolivegreen", 0x556B2F},
    {"darkorange", 0xFF8C00}, {"darkorchid", 0x9932CC}, {"darkred", 0x8B0000},
    {"darksalmon", 0xE9967A}, {"darkseagreen", 0x8FBC8B}, {"darkslateblue", 0x483D8B},
    {"darkslategray", 0x2F4F4F}, {"darkturquoise", 0x00CED1}, {"darkviolet", 0x9400D3},
    {"deeppink", 0xFF1493}, {"deepskyblue", 0x00BFFF}, {"dimgray", 0x696969},
    {"dodgerblue", 0x1E90FF}, {"firebrick", 0xB22222}, {"floralwhite", 0xFFFAF0},
    {"forestgreen", 0x228B22}, {"fuchsia", 0xFF00FF}, {"gainsboro", 0xDCDCDC},
    {"ghostwhite", 0xF8F8FF}, {"goldenrod", 0xDAA520}, {"greenyellow", 0xADFF2F},
    {"honeydew", 0xF0FFF0}, {"hotpink", 0xFF69B4}, {"indianred", 0xCD5C5C},
    {"indigo", 0x4B0082}, {"ivory", 0xFFFFF0}, {"khaki", 0xF0E68C}, {"lavender", 0xE6E6FA},
    {"lavenderblush", 0xFFF0F5}, {"lawngreen", 0x7CFC00}, {"lemonchiffon", 0xFFFACD},
    {"lightblue", 0xADD8E6}, {"lightcoral", 0xF08080}, {"lightcyan", 0xE0FFFF},
    {"lightgoldenrodyellow", 0xFAFAD2}, {"lightgreen", 0x90EE90}, {"lightgrey", 0xD3D3D3},
    {"lightpink", 0xFFB6C1}, {"lightsalmon", 0xFFA07A}, {"lightseagreen", 0x20B2AA},
    {"lightskyblue", 0x87CEFA}, {"lightslategray", 0x778899}, {"lightsteelblue", 0xB0C4DE},
    {"lightyellow", 0xFFFFE0}, {"lime", 0x00FF00}, {"limegreen", 0x32CD32}, {"linen", 0xFAF0E6},
    {"mediumaquamarine", 0x66CDAA}, {"mediumblue", 0x0000CD}, {"mediumorchid", 0xBA55D3},
    {"mediumpurple", 0x9370DB}, {"mediumseagreen", 0x3CB371}, {"mediumslateblue", 0x7B68EE},
    {"mediumspringgreen", 0x00FA9A}, {"mediumturquoise", 0x48D1CC},
    {"mediumvioletred", 0xC71585}, {"midnightblue", 0x191970}, {"mintcream", 0xF5FFFA},
    {"mistyrose", 0xFFE4E1}, {"moccasin", 0xFFE4B5}, {"navajowhite", 0xFFDEAD},
    {"oldlace", 0xFDF5E6}, {"olivedrab", 0x6B8E23}, {"orangered", 0xFF4500},
    {"orchid", 0xDA70D6}, {"palegoldenrod", 0xEEE8AA}, {"palegreen", 0x98FB98},
    {"paleturquoise", 0xAFEEEE}, {"palevioletred", 0xDB7093}, {"papayawhip", 0xFFEFD5},
    {"peachpuff", 0xFFDAB9}, {"peru", 0xCD853F}, {"plum", 0xDDA0DD}, {"powderblue", 0xB0E0E6},
    {"rosybrown", 0xBC8F8F}, {"royalblue", 0x4169E1}, {"saddlebrown", 0x8B4513},
    {"salmon", 0xFA8072}, {"sandybrown", 0xF4A460}, {"seagreen", 0x2E8B57},
    {"seashell", 0xFFF5EE}, {"sienna", 0xA0522D}, {"skyblue", 0x87CEEB},
    {"slateblue", 0x6A5ACD}, {"slategray", 0x708090}, {"springgreen", 0x00FF7F},
    {"steelblue", 0x4682B4}, {"tan", 0xD2B48C}, {"teal", 0x008080}, {"thistle", 0xD8BFD8},
    {"tomato", 0xFF6347}, {"turquoise", 0x40E0D0}, {"wheat", 0xF5DEB3},
    {"whitesmoke", 0xF5F5F5}, {"yellowgreen", 0x9ACD32},
};

// System colour names, with the classic desktop palette as the fallback and the
// application palette role that stands for the colour on this desktop, where one does.
struct SystemColor {
    const char* name;
    std::uint32_t fallbackRgb;
    int role; // QPalette::ColorRole, or -1 to keep the fallback
    bool disabledGroup;
};

constexpr int kNoRole = -1;

const SystemColor kSystemColors[] = {
    {"activeborder", 0xD4D0C8, kNoRole, false},
    {"activecaption", 0x0A246A, kNoRole, false},
    {"appworkspace", 0x808080, kNoRole, false},
    {"background", 0x3A6EA5, kNoRole, false},
    {"buttonface", 0xD4D0C8, QPalette::Button, false},
    {"buttonhighlight", 0xFFFFFF, QPalette::Light, false},
    {"buttonshadow", 0x808080, QPalette::Dark, false},
    {"buttontext", 0x000000, QPalette::ButtonText, false},
    {"captiontext", 0xFFFFFF, kNoRole, false},
    {"graytext", 0x808080, QPalette::Text, true},
    {"highlight", 0x0A246A, QPalette::Highlight, false},
    {"highlighttext", 0xFFFFFF, QPalette::HighlightedText, false},
    {"inactiveborder", 0xD4D0C8, kNoRole, false},
    {"inactivecaption", 0x808080, kNoRole, false},
    {"inactivecaptiontext", 0xD4D0C8, kNoRole, false},
    {"infobackground", 0xFFFFE1, QPalette::ToolTipBase, false},
    {"infotext", 0x000000, QPalette::ToolTipText, false},
    {"menu", 0xD4D0C8, QPalette::Window, false},
    {"menutext", 0x000000, QPalette::WindowText, false},
    {"scrollbar", 0xD4D0C8, kNoRole, false},
    {"threeddarkshadow", 0x404040, QPalette::Shadow, false},
    {"threedface", 0xD4D0C8, QPalette::Button, false},
    {"threedhighlight", 0xFFFFFF, QPalette::Light, false},
    {"threedlightshadow", 0xD4D0C8, QPalette::Midlight, false},
    {"threedshadow", 0x808080, QPalette::Dark, false},
    {"window", 0xFFFFFF, QPalette::Base, false},
    {"windowframe", 0x000000, kNoRole, false},
    {"windowtext", 0x000000, QPalette::Text, false},
};

HtmlColor FromRgb(std::uint32_t rgb)
{
    return HtmlRgb(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                   static_cast<int>(rgb & 0xFF));
}

} // namespace

CHtmlColorTable::CHtmlColorTable()
{
    for (const NamedColor& colour : kCssColors)
        m_colors.insert(QString::fromLatin1(colour.name), FromRgb(colour.rgb));

    const bool havePalette = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    const QPalette palette = havePalette ? QGuiApplication::palette() : QPalette();
    for (const SystemColor& colour : kSystemColors) {
        HtmlColor value = FromRgb(colour.fallbackRgb);
        if (havePalette && colour.role != kNoRole) {
            const QColor c = palette.color(colour.disabledGroup ? QPalette::Disabled : QPalette::Active,
                                           static_cast<QPalette::ColorRole>(colour.role));
            value = HtmlRgb(c.red(), c.green(), c.blue());
        }
        m_colors.insert(QString::fromLatin1(colour.name), value);
    }
}

HtmlColor CHtmlColorTable::GetColorByName(const QString& name, HtmlColor defaultColor) const
{
    return m_colors.value(name, defaultColor);
}

std::optional<HtmlColor> CHtmlColorTable::Find(const QString& name) const
{
    const auto it = m_colors.constFind(name);
    if (it == m_colors.constEnd())
        return std::nullopt;
    return *it;
}

void CHtmlColorTable::RegisterColor(const QString& name, HtmlColor colour)
{
    m_colors.insert(name, colour);
}

} // namespace tavrin
