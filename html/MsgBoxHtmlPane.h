// One HTML area of the message box (header, message or details): measures its text,
// draws it into a rectangle, and answers hover and clicks on its links.
//
// The box talks to this small surface only; the renderer behind it does the work.
#pragma once

#include "html/HtmlDrawer.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

class QPainter;

namespace tavrin {

class CMsgBoxHtmlPane {
public:
    CMsgBoxHtmlPane();
    CMsgBoxHtmlPane(const CMsgBoxHtmlPane&) = delete;
    CMsgBoxHtmlPane& operator=(const CMsgBoxHtmlPane&) = delete;

    // Called whenever the pane's look changes by itself (a link's hover state).
    void SetRepaintNotification(std::function<void()> notify);

    // Lays out the HTML without wrapping and returns its size; an empty text is 0 x 0.
    QSize MeasureHtml(const QString& html);
    // Draws the measured text with its top-left at the rectangle's top-left.
    void DrawMeasured(QPainter& painter, const QRect& rect);

    // Updates the hover state for a point in the owner's coordinates; true when the
    // point is on a link (the caller shows the hand cursor then).
    bool UpdateHoverAndCursor(const QPoint& point);
    // Opens the link under the point, if any: an "href" target in the desktop.
    void ClickAt(const QPoint& point);

    CHtmlDrawer& Drawer() { return m_drawer; }

private:
    static void OpenTarget(const QString& target);

    CHtmlDrawer m_drawer;
    bool m_empty = true;
};

} // namespace tavrin
