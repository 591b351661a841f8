#include "html/HtmlLayout.h"

namespace tavrin {

std::vector<const HtmlTextRun*> CHtmlLayout::TextRuns() const
{
    std::vector<const HtmlTextRun*> runs;
    for (const HtmlLayoutItem& item : m_items)
        if (const auto* run = std::get_if<HtmlTextRun>(&item))
            runs.push_back(run);
    return runs;
}

const HtmlLinkArea* CHtmlLayout::HitLink(const QPoint& point) const
{
    for (const HtmlLinkArea& area : m_linkAreas) {
        const QRect& r = area.rect;
        if (point.x() >= r.left() && point.x() <= r.left() + r.width() && point.y() >= r.top() &&
            point.y() <= r.top() + r.height())
            return &area;
    }
    return nullptr;
}

} // namespace tavrin
