// A laid-out HTML text: made once by CHtmlLayoutBuilder for a text, its options and a
// width, then only read. Painting it (CHtmlLayoutPainter) and hit-testing its links
// need nothing else.
#pragma once

#include "html/HtmlLayoutItem.h"
#include "html/HtmlTable.h"

#include <QPoint>
#include <QSize>

#include <vector>

namespace tavrin {

class CHtmlLayout {
public:
    CHtmlLayout() = default;

    // The width the layout was made for: alignment, percentage rules and the spare
    // width of tables depend on it.
    int Width() const { return m_width; }
    // The measured size of the text (its longest line and its lines' heights).
    QSize Size() const { return m_size; }
    bool IsEmpty() const { return m_items.empty() && m_lines.empty(); }

    const std::vector<HtmlLineRecord>& Lines() const { return m_lines; }
    const std::vector<CHtmlTable>& Tables() const { return m_tables; }
    const std::vector<HtmlLayoutItem>& Items() const { return m_items; }
    const std::vector<HtmlLinkArea>& LinkAreas() const { return m_linkAreas; }
    // The animated strips as laid out (each at its first frame).
    const std::vector<HtmlStripAnimation>& Animations() const { return m_animations; }

    // The text runs, in painting order.
    std::vector<const HtmlTextRun*> TextRuns() const;
    // The first link area containing the point (edges included), or null.
    const HtmlLinkArea* HitLink(const QPoint& point) const;

private:
    friend class CHtmlLayoutBuilder;
    friend class CHtmlTableLayout;

    int m_width = 0;
    QSize m_size{0, 0};
    std::vector<HtmlLineRecord> m_lines;
    std::vector<CHtmlTable> m_tables;
    std::vector<HtmlLayoutItem> m_items;
    std::vector<HtmlLinkArea> m_linkAreas;
    std::vector<HtmlStripAnimation> m_animations;
};

} // namespace tavrin
