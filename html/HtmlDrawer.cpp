#include "html/HtmlDrawer.h"

#include "html/HtmlLayoutBuilder.h"
#include "html/HtmlLayoutPainter.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>

namespace tavrin {
namespace {

// Entities in ascending order of their names: each is replaced everywhere before the
// next, so "&amp;lt;" ends up as a literal "<".
struct Entity {
    const char* name;
    const char16_t* text;
};
constexpr Entity kEntities[] = {
    {"&amp;", u"&"},      {"&bull;", u"\u2022"}, {"&copy;", u"\u00A9"}, {"&euro;", u"\u20AC"},
    {"&gt;", u">"},       {"&iquest;", u"\u00BF"}, {"&lt;", u"<<"},      {"&nbsp;", u" "},
    {"&para;", u"\u00B6"}, {"&pound;", u"\u00A3"}, {"&quot;", u"\""},    {"&reg;", u"\u00AE"},
    {"&trade;", u"\u2122"},
};

} // namespace

CHtmlDrawer::CHtmlDrawer()
{
    m_options.disabledColor = m_colors.GetColorByName(QStringLiteral("buttonshadow"), 0x808080);
    m_options.sheet = &m_sheet;
    m_options.colors = &m_colors;
    m_options.imageList = &m_imageList;
}

QString CHtmlDrawer::PrepareText(const QString& html, bool escapeSequences)
{
    QString text = html;
    for (const Entity& entity : kEntities)
        text.replace(QLatin1String(entity.name), QString::fromUtf16(entity.text));
    text.remove(QLatin1Char('\r'));
    if (escapeSequences) {
        text.replace(QLatin1Char('\n'), QLatin1String("<br>"));
        text.replace(QLatin1Char('\t'), QLatin1String("<t>"));
    } else {
        text.remove(QLatin1Char('\n'));
        text.remove(QLatin1Char('\t'));
    }
    return text;
}

void CHtmlDrawer::Relayout(int width, bool newText)
{
    m_layout = CHtmlLayoutBuilder::Build(m_text, m_options, width, m_fonts);
    std::vector<HtmlStripAnimation> animations = m_layout.Animations();
    // The same text at another width: its strips go on from the frames they were at.
    if (!newText)
        for (HtmlStripAnimation& animation : animations)
            for (const HtmlStripAnimation& old : m_animations)
                if (old.imageIndex == animation.imageIndex && old.frameCount == animation.frameCount)
                    animation.current = old.current;
    m_animations = std::move(animations);
    m_stale = false;
}

QSize CHtmlDrawer::MeasureHtml(const QPaintDevice* device, const QString& html)
{
    m_options.dpiY = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 96;
    m_text = PrepareText(html, m_options.escapeSequences);
    m_origin = QPoint();
    Relayout(m_options.maxWidth, true);
    if (m_layout.IsEmpty()) {
        m_text.clear();
        return QSize(0, 0);
    }
    QSize size = m_layout.Size();
    if (m_options.maxWidth > 0)
        size.setWidth(std::min(size.width(), m_options.maxWidth));
    return QSize(size.width() + 1, size.height() + 1);
}

void CHtmlDrawer::DrawMeasured(QPainter& painter, const QRect& rect)
{
    if (m_text.isEmpty())
        return;
    if (m_stale || rect.width() != m_layout.Width())
        Relayout(rect.width(), false);
    m_origin = rect.topLeft();
    CHtmlLayoutPainter(m_drawManager).Paint(painter, m_layout, m_origin, m_hoveredLink, &m_animations);
}

// ------------------------------------------------------------------------------------
// Links

void CHtmlDrawer::SetRepaintNotification(RepaintNotification notification)
{
    m_repaintNotification = std::move(notification);
}

void CHtmlDrawer::SetLinkMessageNotification(LinkMessageNotification notification)
{
    m_linkMessageNotification = std::move(notification);
}

void CHtmlDrawer::SetOpenLinkNotification(OpenLinkNotification notification)
{
    m_openLinkNotification = std::move(notification);
}

std::vector<HtmlLinkArea> CHtmlDrawer::LinkAreas() const
{
    std::vector<HtmlLinkArea> areas = m_layout.LinkAreas();
    for (HtmlLinkArea& area : areas)
        area.rect.translate(m_origin);
    return areas;
}

bool CHtmlDrawer::UpdateHoverAndCursor(const QPoint& point)
{
    const HtmlLinkArea* hit = m_text.isEmpty() ? nullptr : m_layout.HitLink(point - m_origin);
    if (hit) {
        if (hit->number != m_hoveredLink) {
            m_hoveredLink = hit->number;
            if (m_repaintNotification)
                m_repaintNotification(m_hoveredLink);
        }
        return !hit->target.isEmpty();
    }
    if (m_hoveredLink != kNoHover) {
        m_hoveredLink = kNoHover;
        if (m_repaintNotification)
            m_repaintNotification(m_hoveredLink);
    }
    return false;
}

void CHtmlDrawer::ClickAt(const QPoint& point)
{
    const HtmlLinkArea* hit = m_text.isEmpty() ? nullptr : m_layout.HitLink(point - m_origin);
    if (!hit || hit->target.isEmpty())
        return;
    const HtmlLinkArea area = *hit; // the notification may measure again
    if (area.kind == kLinkHref && m_openLinkNotification)
        m_openLinkNotification(area.target);
    else if (area.kind == kLinkMessage && m_linkMessageNotification)
        m_linkMessageNotification(area.target);
}

void CHtmlDrawer::AdvanceAnimations()
{
    for (HtmlStripAnimation& animation : m_animations) {
        if (animation.frameCount <= 0)
            continue;
        const long long next = static_cast<long long>(animation.current) + animation.speed;
        animation.current = static_cast<int>(((next % animation.frameCount) + animation.frameCount) % animation.frameCount);
    }
}

// ------------------------------------------------------------------------------------
// Options

void CHtmlDrawer::SetMaxWidth(int width)
{
    m_options.maxWidth = std::max(0, width);
    OptionsChanged();
}

void CHtmlDrawer::SetTabSize(int pixels)
{
    m_options.tabSize = std::max(0, pixels);
    OptionsChanged();
}

void CHtmlDrawer::SetImageShadow(int offsetX, int offsetY, int darkenPercent, bool gradient, int depthX, int depthY)
{
    m_options.shadowOffsetX = offsetX;
    m_options.shadowOffsetY = offsetY;
    m_options.shadowDarken = std::clamp(darkenPercent, 0, 100);
    m_options.shadowGradient = gradient;
    m_options.shadowDepthX = depthX;
    m_options.shadowDepthY = depthY;
    OptionsChanged();
}

void CHtmlDrawer::SetEnabled(bool enabled)
{
    m_options.enabled = enabled;
    OptionsChanged();
}

void CHtmlDrawer::SetDisabledColor(HtmlColor colour)
{
    m_options.disabledColor = colour;
    OptionsChanged();
}

void CHtmlDrawer::SetHandCursor(const std::optional<QCursor>& cursor)
{
    m_handCursor = cursor ? *cursor : QCursor(Qt::PointingHandCursor);
}

void CHtmlDrawer::SetResourceRoot(const QString& root)
{
    m_options.resourceRoot = root;
    OptionsChanged();
}

void CHtmlDrawer::SetImageList(std::vector<QPixmap> images)
{
    m_imageList = std::move(images);
    OptionsChanged();
}

void CHtmlDrawer::SetCssStyles(const QString& sheet)
{
    m_sheet.SetCssStyles(sheet);
    OptionsChanged();
}

} // namespace tavrin
