// Paints a CHtmlLayout: the layout's items in order, moved to an origin, with the
// hovered link's items in their hover look. It lays out nothing and loads nothing.
#pragma once

#include "html/HtmlLayout.h"

#include <QPoint>

#include <vector>

class QPainter;

namespace tavrin {

class CHtmlLayoutPainter {
public:
    explicit CHtmlLayoutPainter(CDrawManager& drawManager) : m_drawManager(drawManager) {}

    // `animations` gives the current frame of each animated strip (null: the frames
    // the layout holds).
    void Paint(QPainter& painter, const CHtmlLayout& layout, const QPoint& origin, int hoveredLink,
               const std::vector<HtmlStripAnimation>* animations = nullptr);

private:
    void PaintRun(QPainter& painter, const HtmlTextRun& run, int hoveredLink);
    void PaintPicture(QPainter& painter, const HtmlPicture& picture, int hoveredLink,
                      const std::vector<HtmlStripAnimation>* animations);
    void PaintRule(QPainter& painter, const HtmlRule& rule);
    void PaintBox(QPainter& painter, const HtmlBox& box);

    CDrawManager& m_drawManager;
};

} // namespace tavrin
