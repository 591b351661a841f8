// Lays out and draws a small HTML dialect: styled text runs, line breaks and tabs,
// rules, alignment and justification, links with a hover style, pictures from files,
// Qt resources and registered handles, and tables.
//
// Work is done in two passes over the same text. MeasureHtml() computes the size and
// records every line, table and picture strip; DrawMeasured() replays those records
// into a rectangle, as often as needed (after hover changes, for instance). Both passes
// run the same layout code, so a drawing pass must follow a measuring pass of the text.
//
// Markup is case-sensitive and written in lower case; "<<" is a literal "<"; with escape
// sequences on, line ends become line breaks and tabs become tab stops.
#pragma once

#include "html/DrawManager.h"
#include "html/HtmlColorTable.h"
#include "html/HtmlStyle.h"
#include "html/HtmlStyleSheet.h"
#include "html/HtmlTable.h"

#include <QCursor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QPaintDevice;

namespace tavrin {

struct HtmlTag;

// One laid-out line, made by the measuring pass and read back in order when drawing.
struct HtmlLineRecord {
    int width = 0;            // pen travel from the line's left edge
    int height = 0;           // tallest ascent, picture or rule plus the largest descent
    int maxDescent = 0;
    int align = kAlignLeft;
    int widthPercent = 0;     // percent of the area added by percentage-wide rules
    bool wrapped = false;     // ended because the text did not fit
    int spaces = 0;           // blanks placed on the line (for justification)
};

// The screen area of a piece of link text or a linked picture.
struct HtmlLinkArea {
    QRect rect;               // edges included when hit-testing
    int kind = kLinkNone;     // kLinkHref or kLinkMessage
    int number = 0;           // links are numbered 1, 2, ... in document order
    QString target;
};

// A run of text as the last drawing pass placed it, with the style it was drawn in.
struct HtmlPlacedRun {
    QString text;
    QRect rect;
    CHtmlStyle style;
};

// A picture strip that animates: the owner steps `current` and redraws.
struct HtmlStripAnimation {
    int imageIndex = 0;       // which strip tag of the text, in order
    int frameCount = 0;
    int speed = 0;
    int current = 0;
};

class CHtmlDrawer {
public:
    using RepaintNotification = std::function<void(int hoveredLink)>;
    using LinkMessageNotification = std::function<void(const QString& message)>;

    static constexpr int kNoHover = -2;

    CHtmlDrawer();
    ~CHtmlDrawer();
    CHtmlDrawer(const CHtmlDrawer&) = delete;
    CHtmlDrawer& operator=(const CHtmlDrawer&) = delete;

    // --- the two passes ---------------------------------------------------------------
    // Lays the text out for `device` (its resolution sizes pt, in, ...; null means 96
    // dpi) and keeps it for drawing. Returns the size one pixel larger than measured in
    // each direction, 0 x 0 for empty text. A maximum width caps the width.
    QSize MeasureHtml(const QPaintDevice* device, const QString& html);
    // Draws the kept text with `rect`'s top-left as origin and its width as the
    // available width.
    void DrawMeasured(QPainter& painter, const QRect& rect);

    // The text after entities and escapes, as laid out.
    const QString& PreparedText() const { return m_text; }
    static QString PrepareText(const QString& html, bool escapeSequences);

    // --- links and hover --------------------------------------------------------------
    // Called with the new hovered link number (kNoHover for none) when it changes.
    void SetRepaintNotification(RepaintNotification notification);
    // Called with the link's text when a "msg" link is clicked.
    void SetLinkMessageNotification(LinkMessageNotification notification);

    // Tracks the link under the point (client coordinates of the drawn text). Returns
    // true when the point is on a link with a target: the owner shows HandCursor().
    bool UpdateHoverAndCursor(const QPoint& point);
    // Runs the link under the point: "href" opens the target through the desktop,
    // "msg" sends the link message notification.
    void ClickAt(const QPoint& point);
    int HoveredLink() const { return m_hoveredLink; }
    const std::vector<HtmlLinkArea>& LinkAreas() const { return m_linkAreas; }

    // --- options ----------------------------------------------------------------------
    // 0 means no wrapping: the text is as wide as its longest line.
    void SetMaxWidth(int width) { m_maxWidth = std::max(0, width); }
    int MaxWidth() const { return m_maxWidth; }
    void SetTabSize(int pixels) { m_tabSize = std::max(0, pixels); }
    int TabSize() const { return m_tabSize; }
    void SetEscapeSequences(bool on) { m_escapeSequences = on; }
    bool EscapeSequences() const { return m_escapeSequences; }
    // Drop shadow of pictures whose style asks for one; darkening is capped at 100 %.
    void SetImageShadow(int offsetX, int offsetY, int darkenPercent, bool gradient, int depthX, int depthY);
    // Disabled text draws every colour in `disabledColor` and no backgrounds.
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return m_enabled; }
    void SetDisabledColor(HtmlColor colour) { m_disabledColor = colour; }
    HtmlColor DisabledColor() const { return m_disabledColor; }
    // The cursor shown over links; std::nullopt restores the pointing hand.
    void SetHandCursor(const std::optional<QCursor>& cursor);
    const QCursor& HandCursor() const { return m_handCursor; }
    // Where "iddll" pictures and strings are found when no "srcdll" is named: a folder
    // or a Qt resource prefix such as ":/" (the default).
    void SetResourceRoot(const QString& root) { m_resourceRoot = root; }
    // The images "ilst" tags without a source draw from.
    void SetImageList(std::vector<QPixmap> images) { m_imageList = std::move(images); }
    // Replaces the style sheet; a null text installs the default sheet.
    void SetCssStyles(const QString& sheet) { m_sheet.SetCssStyles(sheet); }

    CHtmlStyleSheet& StyleSheet() { return m_sheet; }
    CHtmlColorTable& Colors() { return m_colors; }
    CDrawManager& DrawManager() { return m_drawManager; }

    // --- records of the last measuring pass -------------------------------------------
    const std::vector<HtmlLineRecord>& Lines() const { return m_lines; }
    const std::vector<CHtmlTable>& Tables() const { return m_tables; }
    // The text runs of the last drawing pass, in drawing order.
    const std::vector<HtmlPlacedRun>& PlacedRuns() const { return m_placedRuns; }
    std::vector<HtmlStripAnimation>& Animations() { return m_animations; }
    // Steps every animated strip by its speed, wrapping round its frames; the owner
    // redraws afterwards (a timer of its own drives this).
    void AdvanceAnimations();

    // Width and height of the system icons ("icon" percentages are of this size).
    static int SystemIconSize() { return 32; }

private:
    struct FontMetricsCache;

    // Whole-text layout; returns the measured size.
    QSize Layout(const QRect& area);
    // Flow parts and tables one below the other, starting at area.top().
    QSize LayoutBlocks(const QString& text, const QRect& area, int wrapWidth);
    QSize LayoutFlow(const QString& text, const QRect& area, int wrapWidth);
    QSize LayoutTable(const QString& text, const QRect& area);

    // Lines.
    void StartLine();
    // Ends the line and returns its height.
    int EndLine(bool wrapped);
    // Where the pen draws: the layout position plus the line's alignment shift and
    // what drawing alone adds (spread blanks, percentage rules).
    int DrawX() const;
    // Top of an item `height` tall (with `ascent` for text, -1 for pictures).
    int PlaceVertically(int height, int ascent) const;
    void NoteItem(int heightAboveBaseline, int descent);

    // Flow content.
    void PlaceText(const QString& text, bool allowWrap);
    // Draws a placed run; returns its drawn width (wider than `width` when justified).
    int DrawRun(const QString& run, int x, int top, int width);
    void HandleTag(const HtmlTag& tag);
    void HandleFontTag(const HtmlTag& tag);
    void HandleLinkTag(const HtmlTag& tag);
    void HandleRule(const HtmlTag& tag);
    void HandleTab(int count);
    void HandleBreak(int count);
    void HandleString(const HtmlTag& tag);
    void HandleImage(const HtmlTag& tag, int tagId);
    void AddLinkArea(const QRect& rect);

    // Style and font.
    void PushStyle(const QString& name);
    bool PopStyle(const QString& name);
    void ApplyRule(const QString& selector, CHtmlStyle& style) const;
    HtmlApplyContext ApplyContext() const;
    HtmlColor AttributeColor(const QString& value, HtmlColor current) const;
    void SelectFont();
    QFontMetrics FontMetrics() const;
    QFont MakeFont(const CHtmlStyle& style) const;
    // Table and cell attributes shared by table, tr and td.
    void ApplyTableAttributes(const HtmlTag& tag, CHtmlStyle& style, bool isTable, bool isCell) const;
    std::optional<QImage> LoadBackgroundImage(const QString& spec) const;
    // How far a table's border reaches in: 3 for a double border, else its width.
    static int BorderInset(const CHtmlStyle& style);

    // Pictures.
    std::optional<QImage> LoadBitmap(const HtmlTag& tag) const;
    std::optional<QPixmap> LoadIcon(const HtmlTag& tag, const QSize& size) const;
    QString ResourcePath(const QString& kind, const QString& id, const QString& root) const;
    // The file or resource a picture tag names (idres, file, iddll); none when it names
    // none of them (a handle, or nothing).
    std::optional<QString> PicturePath(const HtmlTag& tag, const QString& kind) const;
    std::optional<QPixmap> PixmapForHandle(const HtmlTag& tag) const;

    // Links.
    const HtmlLinkArea* HitLink(const QPoint& point) const;
    void OpenTarget(const QString& target);

    // --- options ---
    int m_maxWidth = 0;
    int m_tabSize = 32;
    bool m_escapeSequences = true;
    int m_shadowOffsetX = 4;
    int m_shadowOffsetY = 4;
    int m_shadowDarken = 50;
    bool m_shadowGradient = true;
    int m_shadowDepthX = 7;
    int m_shadowDepthY = 7;
    bool m_enabled = true;
    HtmlColor m_disabledColor = 0x808080;
    QCursor m_handCursor{Qt::PointingHandCursor};
    QString m_resourceRoot = QStringLiteral(":/");
    std::vector<QPixmap> m_imageList;
    RepaintNotification m_repaintNotification;
    LinkMessageNotification m_linkMessageNotification;

    // --- helpers ---
    CHtmlColorTable m_colors;
    CHtmlStyleSheet m_sheet;
    CDrawManager m_drawManager;

    // --- text and records ---
    QString m_text;
    std::vector<HtmlLineRecord> m_lines;
    std::vector<CHtmlTable> m_tables;
    std::vector<HtmlLinkArea> m_linkAreas;
    std::vector<HtmlPlacedRun> m_placedRuns;
    std::vector<HtmlStripAnimation> m_animations;
    int m_hoveredLink = kNoHover;

    // --- pass state ---
    bool m_drawing = false;
    QPainter* m_painter = nullptr;
    const QPaintDevice* m_device = nullptr;
    int m_dpiY = 96;
    CHtmlStyle m_style;
    std::vector<CHtmlStyle> m_stack;      // saved records; m_style.name tells the push
    QFont m_font;
    int m_fontHeight = 0;
    int m_fontAscent = 0;
    int m_fontDescent = 0;
    int m_xHeight = 0;
    int m_layoutX = 0;                    // pen from the area's left edge, as measured
    int m_drawExtra = 0;
    int m_y = 0;
    QRect m_area;
    int m_wrapWidth = 0;
    int m_lineCounter = 0;
    int m_tableCounter = 0;
    int m_linkCounter = 0;
    int m_linkNumber = 0;                 // number of the open link, 0 outside links
    int m_stripCounter = 0;
    int m_tableDepth = 0;
    // The current line.
    HtmlLineRecord m_line;
    int m_lineTop = 0;
    int m_lineShift = 0;                  // alignment offset of the line when drawing
    int m_lineMaxAscent = 0;
    bool m_lineHasContent = false;        // anything placed or the pen moved
    bool m_lineHasItems = false;          // text, pictures or rules placed
    int m_justifyExtra = 0;
    int m_justifyRemainder = 0;
    int m_textWidth = 0;
    std::unique_ptr<FontMetricsCache> m_fontCache;
};

} // namespace tavrin
