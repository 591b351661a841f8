#include "html/MsgBoxHtmlPane.h"

#include "html/DesktopOpener.h"

#include <QProcess>

#include <utility>

namespace tavrin {

CMsgBoxHtmlPane::CMsgBoxHtmlPane()
{
    m_drawer.SetOpenLinkNotification(&CMsgBoxHtmlPane::OpenTarget);
}

void CMsgBoxHtmlPane::OpenTarget(const QString& target)
{
    if (OpenInDesktop(LinkTargetToUrl(target)))
        return;
    QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

void CMsgBoxHtmlPane::SetRepaintNotification(std::function<void()> notify)
{
    m_drawer.SetRepaintNotification([notify = std::move(notify)](int) {
        if (notify)
            notify();
    });
}

QSize CMsgBoxHtmlPane::MeasureHtml(const QString& html)
{
    m_empty = html.isEmpty();
    // The box never wraps: it grows to the longest line.
    m_drawer.SetMaxWidth(0);
    return m_drawer.MeasureHtml(nullptr, html);
}

void CMsgBoxHtmlPane::DrawMeasured(QPainter& painter, const QRect& rect)
{
    if (!m_empty)
        m_drawer.DrawMeasured(painter, rect);
}

bool CMsgBoxHtmlPane::UpdateHoverAndCursor(const QPoint& point)
{
    return !m_empty && m_drawer.UpdateHoverAndCursor(point);
}

void CMsgBoxHtmlPane::ClickAt(const QPoint& point)
{
    if (!m_empty)
        m_drawer.ClickAt(point);
}

} // namespace tavrin
