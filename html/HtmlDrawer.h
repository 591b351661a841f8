// Lays out and draws a small HTML dialect: styled text runs, line breaks and tabs,
// rules, alignment and justification, links with a hover style, pictures from files,
// Qt resources and registered handles, and tables.
//
// MeasureHtml() lays the text out (CHtmlLayoutBuilder) and keeps the layout;
// DrawMeasured() paints it (CHtmlLayoutPainter) into a rectangle, as often as needed.
// The text is laid out again only when it, an option or the width it is drawn at
// changes: a repaint after the hovered link changed only paints.
//
// Markup is case-sensitive and written in lower case; "<<" is a literal "<"; with escape
// sequences on, line ends become line breaks and tabs become tab stops.
#pragma once

#include "html/DrawManager.h"
#include "html/HtmlColorTable.h"
#include "html/HtmlFontMaker.h"
#include "html/HtmlLayout.h"
#include "html/HtmlLayoutOptions.h"
#include "html/HtmlStyle.h"
#include "html/HtmlStyleSheet.h"

#include <QCursor>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QPainter;
class QPaintDevice;

namespace tavrin {

class CHtmlDrawer {
public:
    using RepaintNotification = std::function<void(int hoveredLink)>;
    using LinkMessageNotification = std::function<void(const QString& message)>;
    using OpenLinkNotification = std::function<void(const QString& target)>;

    static constexpr int kNoHover = -2;

    CHtmlDrawer();
    CHtmlDrawer(const CHtmlDrawer&) = delete;
    CHtmlDrawer& operator=(const CHtmlDrawer&) = delete;

    // --- layout and painting ----------------------------------------------------------
    // Lays the text out for `device` (its resolution sizes pt, in, ...; null means 96
    // dpi) and keeps it for drawing. Returns the size one pixel larger than measured in
    // each direction, 0 x 0 for empty text. A maximum width caps the width.
    QSize MeasureHtml(const QPaintDevice* device, const QString& html);
    // Draws the kept text with `rect`'s top-left as origin and its width as the
    // available width (laying it out again first only when that width is new).
    void DrawMeasured(QPainter& painter, const QRect& rect);

    // The layout kept for drawing, at the width last drawn (or measured) at.
    const CHtmlLayout& Layout() const { return m_layout; }
    // The text after entities and escapes, as laid out.
    const QString& PreparedText() const { return m_text; }
    static QString PrepareText(const QString& html, bool escapeSequences);

    // --- links and hover --------------------------------------------------------------
    // Called with the new hovered link number (kNoHover for none) when it changes.
    void SetRepaintNotification(RepaintNotification notification);
    // Called with the link's text when a "msg" link is clicked.
    void SetLinkMessageNotification(LinkMessageNotification notification);
    // Called with the target when an "href" link is clicked: opening it is the owner's
    // business (the message box pane opens it in the desktop).
    void SetOpenLinkNotification(OpenLinkNotification notification);

    // Tracks the link under the point (coordinates of the drawn text). Returns true when
    // the point is on a link with a target: the owner shows HandCursor().
    bool UpdateHoverAndCursor(const QPoint& point);
    // Runs the link under the point: "href" goes to the open-link notification, "msg"
    // to the link message notification.
    void ClickAt(const QPoint& point);
    int HoveredLink() const { return m_hoveredLink; }
    // The link areas where the text was last drawn.
    std::vector<HtmlLinkArea> LinkAreas() const;

    // --- options (changing one lays the text out again before the next drawing) -------
    // 0 means no wrapping: the text is as wide as its longest line.
    void SetMaxWidth(int width);
    int MaxWidth() const { return m_options.maxWidth; }
    void SetTabSize(int pixels);
    int TabSize() const { return m_options.tabSize; }
    void SetEscapeSequences(bool on) { m_options.escapeSequences = on; }
    bool EscapeSequences() const { return m_options.escapeSequences; }
    // Drop shadow of pictures whose style asks for one; darkening is capped at 100 %.
    void SetImageShadow(int offsetX, int offsetY, int darkenPercent, bool gradient, int depthX, int depthY);
    // Disabled text draws every colour in `disabledColor` and no backgrounds.
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return m_options.enabled; }
    void SetDisabledColor(HtmlColor colour);
    HtmlColor DisabledColor() const { return m_options.disabledColor; }
    // The cursor shown over links; std::nullopt restores the pointing hand.
    void SetHandCursor(const std::optional<QCursor>& cursor);
    const QCursor& HandCursor() const { return m_handCursor; }
    // Where "iddll" pictures and strings are found when no "srcdll" is named: a folder
    // or a Qt resource prefix such as ":/" (the default).
    void SetResourceRoot(const QString& root);
    // The images "ilst" tags without a source draw from.
    void SetImageList(std::vector<QPixmap> images);
    // Replaces the style sheet; a null text installs the default sheet.
    void SetCssStyles(const QString& sheet);

    // Changing the sheet or the colours through these takes effect at the next
    // MeasureHtml().
    CHtmlStyleSheet& StyleSheet() { return m_sheet; }
    CHtmlColorTable& Colors() { return m_colors; }
    CDrawManager& DrawManager() { return m_drawManager; }

    // --- the kept layout --------------------------------------------------------------
    const std::vector<HtmlLineRecord>& Lines() const { return m_layout.Lines(); }
    const std::vector<CHtmlTable>& Tables() const { return m_layout.Tables(); }
    std::vector<HtmlStripAnimation>& Animations() { return m_animations; }
    // Steps every animated strip by its speed, wrapping round its frames; the owner
    // redraws afterwards (a timer of its own drives this).
    void AdvanceAnimations();

    // Width and height of the system icons ("icon" percentages are of this size).
    static int SystemIconSize() { return 32; }

private:
    void Relayout(int width, bool newText);
    void OptionsChanged() { m_stale = true; }

    HtmlLayoutOptions m_options;
    std::vector<QPixmap> m_imageList;
    QCursor m_handCursor{Qt::PointingHandCursor};
    RepaintNotification m_repaintNotification;
    LinkMessageNotification m_linkMessageNotification;
    OpenLinkNotification m_openLinkNotification;

    CHtmlColorTable m_colors;
    CHtmlStyleSheet m_sheet;
    CDrawManager m_drawManager;
    CHtmlFontMaker m_fonts;

    QString m_text;
    CHtmlLayout m_layout;
    bool m_stale = false;                 // an option changed since the layout was made
    QPoint m_origin;                      // where the layout was last drawn
    std::vector<HtmlStripAnimation> m_animations;
    int m_hoveredLink = kNoHover;
};

} // namespace tavrin
