// The layout step of the HTML renderer: turns a prepared text (entities and escapes
// already replaced), the options and a width into a CHtmlLayout.
//
// The text is read twice. The measuring phase breaks it into lines and measures each
// line and table; the placing phase, knowing every line's width and height and every
// table's tracks, places the runs, pictures, rules and boxes at their final positions
// (alignment, justification, vertical alignment and spare table width need those
// sums). Pictures and strings are read once, in the measuring phase.
//
// Markup is case-sensitive and written in lower case; "<<" is a literal "<".
#pragma once

#include "html/HtmlLayout.h"
#include "html/HtmlLayoutOptions.h"
#include "html/HtmlPictureLoader.h"
#include "html/HtmlStyleSheet.h"

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

namespace tavrin {

class CHtmlFontMaker;
struct HtmlTag;

class CHtmlLayoutBuilder {
public:
    // Lays out `preparedText` for `width` (the width it will be painted at). An empty
    // text, or one that measures 0 x 0, gives an empty layout.
    static CHtmlLayout Build(const QString& preparedText, const HtmlLayoutOptions& options, int width,
                             CHtmlFontMaker& fonts);

    // Markup is trusted to be the program's own, but a typo must not hang the program or
    // exhaust memory: sizes, counts and nesting are kept within generous bounds.
    static constexpr int kMaxExtent = 32767;
    static constexpr int kMaxCount = 1000;
    static constexpr int kMaxTableDepth = 32;

private:
    friend class CHtmlTableLayout;

    enum class Phase { Measuring, Placing };

    // A picture or string read in the measuring phase, kept for the placing phase.
    struct LoadedSource {
        std::optional<HtmlPicture> picture;
        std::optional<QString> text;
    };

    CHtmlLayoutBuilder(const HtmlLayoutOptions& options, CHtmlFontMaker& fonts, CHtmlLayout& layout);

    // One phase over the whole text; returns the measured size.
    QSize RunPhase(Phase phase, const QString& text, const QRect& area);
    // Flow parts and tables one below the other, starting at area.top().
    QSize LayoutBlocks(const QString& text, const QRect& area, int wrapWidth);
    QSize LayoutFlow(const QString& text, const QRect& area, int wrapWidth);
    bool Placing() const { return m_phase == Phase::Placing; }

    // Lines.
    void StartLine();
    void StartMeasuredLine();
    void StartPlacedLine();
    // Ends the line and returns its height.
    int EndLine(bool wrapped);
    // Where the next item goes: the measured pen plus the line's alignment shift and
    // what placing alone adds (spread blanks, percentage rules).
    int PenX() const;
    // Top of an item `height` tall (with `ascent` for text, -1 for pictures).
    int PlaceVertically(int height, int ascent) const;
    void NoteItem(int heightAboveBaseline, int descent);
    void NoteAlignment();

    // Flow content.
    void PlaceText(const QString& text, bool allowWrap);
    // Cuts the text that does not fit the line; returns the piece for this line and
    // leaves the rest in `rest`.
    QString CutToLine(const QString& remaining, const QFontMetrics& metrics, bool allowWrap, QString& rest) const;
    void AddTextRun(const QString& piece, int width);
    void HandleTag(const HtmlTag& tag);
    bool HandleStyleTag(const HtmlTag& tag, int tagId, const QString& styleName);
    void ApplyTagEffect(const HtmlTag& tag, int tagId, CHtmlStyle& style) const;
    void HandleFontTag(const HtmlTag& tag, CHtmlStyle& style) const;
    void HandleLinkTag(const HtmlTag& tag);
    void HandleRule(const HtmlTag& tag);
    void HandleTab(int count);
    void HandleBreak(int count);
    void HandleString(const HtmlTag& tag);
    void AddLinkArea(const QRect& rect);
    int OpenLinkNumber() const;

    // Pictures.
    void HandleImage(const HtmlTag& tag, int tagId);
    void PlacePicture(HtmlPicture picture);
    // What the next picture or string tag read in the measuring phase.
    LoadedSource& Source();

    // Style and font.
    void PushStyle(const QString& name);
    bool PopStyle(const QString& name);
    // Restores the style saved at stack depth `depth` and drops what was pushed since.
    void RestoreStyle(size_t depth);
    void ApplyRule(const QString& selector, CHtmlStyle& style) const;
    HtmlApplyContext ApplyContext() const;
    HtmlColor AttributeColor(const QString& value, HtmlColor current) const;
    void SelectFont();
    QFontMetrics FontMetrics() const { return QFontMetrics(m_font); }

    // --- inputs ---
    const HtmlLayoutOptions& m_options;
    CHtmlFontMaker& m_fonts;
    CHtmlLayout& m_layout;
    CHtmlPictureLoader m_loader;
    const CHtmlStyleSheet* m_sheet = nullptr; // the options' sheet, else the default one

    // --- phase state ---
    Phase m_phase = Phase::Measuring;
    CHtmlStyle m_style;
    CHtmlStyle m_hotStyle;                // m_style as it looks while its link is hovered
    struct SavedStyle {
        CHtmlStyle style;
        CHtmlStyle hotStyle;
    };
    std::vector<SavedStyle> m_stack;      // m_style.name tells the push
    QFont m_font;
    QFont m_hotFont;
    int m_fontHeight = 0;
    int m_fontAscent = 0;
    int m_fontDescent = 0;
    int m_xHeight = 0;
    int m_layoutX = 0;                    // pen from the area's left edge, as measured
    int m_placeExtra = 0;
    int m_y = 0;
    QRect m_area;
    int m_wrapWidth = 0;
    int m_lineCounter = 0;
    int m_tableCounter = 0;
    int m_linkCounter = 0;
    int m_linkNumber = 0;                 // number of the open link, 0 outside links
    int m_stripCounter = 0;
    int m_sourceCounter = 0;
    int m_tableDepth = 0;
    std::vector<LoadedSource> m_sources;  // by picture or string tag, in order
    // The current line.
    HtmlLineRecord m_line;
    int m_lineTop = 0;
    int m_lineShift = 0;                  // alignment offset of the line when placing
    int m_lineMaxAscent = 0;
    bool m_lineHasContent = false;        // anything placed or the pen moved
    bool m_lineHasItems = false;          // text, pictures or rules placed
    int m_justifyExtra = 0;
    int m_justifyRemainder = 0;
    int m_textWidth = 0;
};

} // namespace tavrin
