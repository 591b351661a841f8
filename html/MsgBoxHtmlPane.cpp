#include "html/MsgBoxHtmlPane.h"

#include "html/DesktopOpener.h"
#include "html/IconHandleRegistry.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QPainter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>

namespace tavrin {
namespace {

// Our HTML subset in the form the document understands: line ends become breaks (a
// final one only ends the last line), <right> becomes a right-aligned block and
// <icon handle=N> an image resource.
QString ToDocumentHtml(const QString& html)
{
    QString text = html;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    text.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    text.replace(QLatin1String("<right>"), QLatin1String("<div align=right>"), Qt::CaseInsensitive);
    text.replace(QLatin1String("</right>"), QLatin1String("</div>"), Qt::CaseInsensitive);
    static const QRegularExpression icon(QStringLiteral("<icon\\s+handle\\s*=\\s*(0x[0-9a-fA-F]+|[0-9]+)\\s*>"),
                                         QRegularExpression::CaseInsensitiveOption);
    text.replace(icon, QStringLiteral("<img src=\"icon:\\1\">"));
    return text;
}

} // namespace

CMsgBoxHtmlPane::CMsgBoxHtmlPane() = default;
CMsgBoxHtmlPane::~CMsgBoxHtmlPane() = default;

void CMsgBoxHtmlPane::SetRepaintNotification(std::function<void()> notify) { m_notify = std::move(notify); }

void CMsgBoxHtmlPane::RebuildDocument()
{
    m_document = std::make_unique<QTextDocument>();
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(13);
    m_document->setDefaultFont(font);
    m_document->setDocumentMargin(0);
    m_document->setDefaultStyleSheet(QStringLiteral("a { color: #0000ff; text-decoration: underline; }"
                                                    "a.hover { color: #ff0000; }"));
    QString html = ToDocumentHtml(m_html);
    static const QRegularExpression iconSource(QStringLiteral("src=\"icon:(0x[0-9a-fA-F]+|[0-9]+)\""));
    for (auto it = iconSource.globalMatch(html); it.hasNext();) {
        const QString number = it.next().captured(1);
        bool ok = false;
        const int handle = number.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
            ? number.mid(2).toInt(&ok, 16)
            : number.toInt(&ok, 10);
        if (ok)
            m_document->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("icon:") + number),
                                    IconForHandle(handle).toImage());
    }
    if (!m_hoverAnchor.isEmpty()) {
        // Hover style: the link under the cursor is drawn in red.
        const QString quoted = QRegularExpression::escape(m_hoverAnchor);
        const QRegularExpression anchor(QStringLiteral("<a(\\s+href\\s*=\\s*['\"]") + quoted
                                        + QStringLiteral("['\"])"),
                                        QRegularExpression::CaseInsensitiveOption);
        html.replace(anchor, QStringLiteral("<a style=\"color:#ff0000\"\\1"));
    }
    m_document->setHtml(html);
    m_document->setTextWidth(-1);
}

QSize CMsgBoxHtmlPane::MeasureHtml(const QString& html)
{
    m_html = html;
    m_hoverAnchor.clear();
    if (html.isEmpty()) {
        m_document.reset();
        return {0, 0};
    }
    RebuildDocument();
    const QSizeF size = m_document->documentLayout()->documentSize();
    return {static_cast<int>(std::ceil(m_document->idealWidth())), static_cast<int>(std::ceil(size.height()))};
}

void CMsgBoxHtmlPane::DrawMeasured(QPainter& painter, const QRect& rect)
{
    m_drawnRect = rect;
    if (!m_document)
        return;
    painter.save();
    painter.translate(rect.topLeft());
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, 0, rect.width(), rect.height());
    painter.setClipRect(context.clip);
    m_document->documentLayout()->draw(&painter, context);
    painter.restore();
}

QString CMsgBoxHtmlPane::AnchorAt(const QPoint& point) const
{
    if (!m_document || !m_drawnRect.contains(point))
        return {};
    return m_document->documentLayout()->anchorAt(QPointF(point - m_drawnRect.topLeft()));
}

bool CMsgBoxHtmlPane::UpdateHoverAndCursor(const QPoint& point)
{
    const QString anchor = AnchorAt(point);
    if (anchor != m_hoverAnchor) {
        m_hoverAnchor = anchor;
        RebuildDocument();
        if (m_notify)
            m_notify();
    }
    return !anchor.isEmpty();
}

bool CMsgBoxHtmlPane::ClickAt(const QPoint& point)
{
    const QString anchor = AnchorAt(point);
    if (anchor.isEmpty())
        return false;
    OpenInDesktop(LinkTargetToUrl(anchor));
    return true;
}

} // namespace tavrin
