// The text style of the HTML renderer: one current record per renderer, copies of it on
// the renderer's style stack and one per table, row, cell and rule.
//
// Colours are 0x00BBGGRR values (red in the low byte), the form the markup's colour
// values are read into and the draw manager takes.
#pragma once

#include <QString>

#include <cstdint>

namespace tavrin {

using HtmlColor = std::uint32_t;

// Builds a 0x00BBGGRR colour.
constexpr HtmlColor HtmlRgb(int red, int green, int blue)
{
    return static_cast<HtmlColor>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int HtmlRed(HtmlColor colour) { return static_cast<int>(colour & 0xFF); }
constexpr int HtmlGreen(HtmlColor colour) { return static_cast<int>((colour >> 8) & 0xFF); }
constexpr int HtmlBlue(HtmlColor colour) { return static_cast<int>((colour >> 16) & 0xFF); }

enum HtmlBackMode : int { kBackTransparent = 1, kBackOpaque = 2 };
enum HtmlTextAlign : int { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2, kAlignJustify = 3 };
enum HtmlVerticalAlign : int { kVAlignTop = 0, kVAlignMiddle = 1, kVAlignBottom = 2, kVAlignBaseline = 3 };
enum HtmlBorderStyle : int { kBorderNone = 0, kBorderSolid = 1, kBorderDashed = 2, kBorderDotted = 3, kBorderDouble = 6 };
enum HtmlTextTransform : int { kTransformNone = 0, kTransformUpper = 1, kTransformLower = 2, kTransformCapitalize = 3 };
enum HtmlLinkKind : int { kLinkNone = 0, kLinkHref = 1, kLinkMessage = 2 };

struct CHtmlStyle {
    QString name;                      // the style name it was pushed under
    int fontSize = 16;                 // character cell height in pixels
    int fontWeight = 400;              // 100..900
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    bool overline = false;
    QString fontFamily = QStringLiteral("Verdana");
    HtmlColor textColor = 0;
    HtmlColor backColor = 0xFFFFFF;    // background, and start colour of an effect
    HtmlColor borderColorLight = 0;    // top and left border
    HtmlColor borderColorDark = 0;     // bottom and right border
    HtmlColor backMidColor = 0xFFFFFF;
    HtmlColor backEndColor = 0xFFFFFF;
    int backMode = kBackTransparent;
    int backEffect = -1;               // fill effect of tables and cells; -1 none
    QString backImage;                 // "idres:N", "iddll:N" or "file:path"
    int textAlign = kAlignLeft;
    int verticalAlign = kVAlignBaseline;
    int borderStyle = kBorderNone;
    int borderWidth = 0;
    int width = 0;                     // requested table or cell size, 0 = automatic
    int height = 0;
    int textTransform = kTransformNone;
    int margin = 2;                    // cell padding of a table
    int padding = 0;                   // cell spacing of a table
    int linkKind = kLinkNone;
    QString linkTarget;                // link target or message text

    bool operator==(const CHtmlStyle&) const = default;
};

} // namespace tavrin
