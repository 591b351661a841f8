// What a laid-out text is made of: lines, positioned items in painting order and the
// areas of its links, all in pixels from the layout's top-left corner.
//
// Items hold everything painting needs (fonts, styles, decoded pictures), so painting
// a layout again, for instance after the hovered link changed, reads nothing and
// measures nothing.
#pragma once

#include "html/DrawManager.h"
#include "html/HtmlStyle.h"

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QString>

#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace tavrin {

// One laid-out line.
struct HtmlLineRecord {
    int width = 0;            // pen travel from the line's left edge
    int height = 0;           // tallest ascent, picture or rule plus the largest descent
    int maxDescent = 0;
    int align = kAlignLeft;
    int widthPercent = 0;     // percent of the area added by percentage-wide rules
    bool wrapped = false;     // ended because the text did not fit
    int spaces = 0;           // blanks placed on the line (for justification)

    bool operator==(const HtmlLineRecord&) const = default;
};

// The area of a piece of link text or a linked picture.
struct HtmlLinkArea {
    QRect rect;               // edges included when hit-testing
    int kind = kLinkNone;     // kLinkHref or kLinkMessage
    int number = 0;           // links are numbered 1, 2, ... in document order
    QString target;
};

// A picture strip that animates: the owner steps `current` and paints again.
struct HtmlStripAnimation {
    int imageIndex = 0;       // which strip tag of the text, in order
    int frameCount = 0;
    int speed = 0;
    int current = 0;
};

// A run of text. Inside a link it carries the link's hover look as well; positions
// always come from the plain look.
struct HtmlTextRun {
    QString text;
    QRect rect;               // the run's box: drawn advance (with spread blanks) x font height
    int ascent = 0;           // baseline below rect.top()
    int linkNumber = 0;       // 0 outside links
    CHtmlStyle style;
    QFont font;
    CHtmlStyle hotStyle;      // the look while its link is hovered
    QFont hotFont;
    // A justified run is drawn word by word: each word and its offset from rect.left().
    std::vector<std::pair<QString, int>> words;

    const CHtmlStyle& StyleFor(int hoveredLink) const { return IsHot(hoveredLink) ? hotStyle : style; }
    const QFont& FontFor(int hoveredLink) const { return IsHot(hoveredLink) ? hotFont : font; }
    bool IsHot(int hoveredLink) const { return linkNumber != 0 && linkNumber == hoveredLink; }
};

// A picture, decoded once by the layout.
struct HtmlPicture {
    enum class Source { Bitmap, Icon, StripFrame };
    Source source = Source::Bitmap;
    QRect rect;               // the picture as drawn (without its shadow)
    QRect box;                // the room it takes: rect enlarged by the shadow offsets
    int linkNumber = 0;
    QImage bitmap;            // Bitmap and StripFrame
    QPixmap icon;             // Icon
    int frame = 0;            // StripFrame: the frame drawn unless the strip animates
    int frameWidth = 0;
    int frameHeight = 0;
    int frameCount = 0;       // StripFrame: frames in the strip
    int speed = 0;            // StripFrame: animation step; 0 = still
    int stripNumber = -1;     // an animated strip's image index (see HtmlStripAnimation)
    bool useMask = false;
    HtmlColor maskColor = 0xFF00FF;
    unsigned styleBits = 0;
    unsigned hotStyleBits = 0; // used while its link is hovered
    ShadowSpec shadow;
};

// A horizontal rule: a line along rect's top edge, `thickness` pixels wide.
struct HtmlRule {
    QRect rect;
    HtmlColor colour = 0;
    int thickness = 1;
};

// The background and border of a table or of one of its cells.
struct HtmlBox {
    QRect rect;
    bool cell = false;
    int effect = -1;          // fill effect 0..15; -1 none
    HtmlColor color1 = 0;
    HtmlColor color2 = 0;
    HtmlColor color3 = 0;
    std::optional<QImage> tile; // a table's background picture, when it has no effect
    HtmlColor borderTopLeft = 0;
    HtmlColor borderBottomRight = 0;
    int borderStyle = kBorderNone;
    int borderWidth = 0;
};

using HtmlLayoutItem = std::variant<HtmlTextRun, HtmlPicture, HtmlRule, HtmlBox>;

} // namespace tavrin
