#include "html/HtmlLayoutPainter.h"

#include <QColor>
#include <QPainter>

namespace tavrin {
namespace {

QColor ToQColor(HtmlColor colour)
{
    return QColor(HtmlRed(colour), HtmlGreen(colour), HtmlBlue(colour));
}

} // namespace

void CHtmlLayoutPainter::Paint(QPainter& painter, const CHtmlLayout& layout, const QPoint& origin, int hoveredLink,
                               const std::vector<HtmlStripAnimation>* animations)
{
    painter.save();
    painter.translate(origin);
    for (const HtmlLayoutItem& item : layout.Items()) {
        if (const auto* run = std::get_if<HtmlTextRun>(&item))
            PaintRun(painter, *run, hoveredLink);
        else if (const auto* picture = std::get_if<HtmlPicture>(&item))
            PaintPicture(painter, *picture, hoveredLink, animations);
        else if (const auto* rule = std::get_if<HtmlRule>(&item))
            PaintRule(painter, *rule);
        else if (const auto* box = std::get_if<HtmlBox>(&item))
            PaintBox(painter, *box);
    }
    painter.restore();
}

void CHtmlLayoutPainter::PaintRun(QPainter& painter, const HtmlTextRun& run, int hoveredLink)
{
    const CHtmlStyle& style = run.StyleFor(hoveredLink);
    if (style.backMode == kBackOpaque)
        painter.fillRect(run.rect, ToQColor(style.backColor));
    painter.setFont(run.FontFor(hoveredLink));
    painter.setPen(ToQColor(style.textColor));
    const int baseline = run.rect.top() + run.ascent;
    if (run.words.empty())
        painter.drawText(QPoint(run.rect.left(), baseline), run.text);
    else
        for (const auto& [word, offset] : run.words)
            painter.drawText(QPoint(run.rect.left() + offset, baseline), word);
    if (style.overline) {
        const int penWidth = style.fontWeight >= 700 ? 2 : 1;
        const int right = run.rect.left() + run.rect.width();
        m_drawManager.DrawLine(painter, run.rect.left(), run.rect.top(), right, run.rect.top(), style.textColor,
                               kLineSolid, penWidth);
    }
}

void CHtmlLayoutPainter::PaintPicture(QPainter& painter, const HtmlPicture& picture, int hoveredLink,
                                      const std::vector<HtmlStripAnimation>* animations)
{
    const bool hot = picture.linkNumber != 0 && picture.linkNumber == hoveredLink;
    const unsigned bits = hot ? picture.hotStyleBits : picture.styleBits;
    const QRect& r = picture.rect;
    switch (picture.source) {
    case HtmlPicture::Source::Bitmap:
        m_drawManager.DrawBitmap(painter, r.x(), r.y(), r.width(), r.height(), picture.bitmap, picture.useMask,
                                 picture.maskColor, bits, picture.shadow);
        break;
    case HtmlPicture::Source::Icon:
        m_drawManager.DrawIcon(painter, r.x(), r.y(), r.width(), r.height(), picture.icon, bits, picture.shadow);
        break;
    case HtmlPicture::Source::StripFrame: {
        int frame = picture.frame;
        if (animations && picture.stripNumber >= 0)
            for (const HtmlStripAnimation& animation : *animations)
                if (animation.imageIndex == picture.stripNumber)
                    frame = animation.current;
        m_drawManager.DrawImageListFrame(painter, r.x(), r.y(), r.width(), r.height(), picture.bitmap, frame,
                                         picture.frameWidth, picture.frameHeight, picture.useMask, picture.maskColor,
                                         bits, picture.shadow);
        break;
    }
    }
}

void CHtmlLayoutPainter::PaintRule(QPainter& painter, const HtmlRule& rule)
{
    const int y = rule.rect.top();
    m_drawManager.DrawLine(painter, rule.rect.left(), y, rule.rect.left() + rule.rect.width(), y, rule.colour,
                           kLineSolid, rule.thickness);
}

void CHtmlLayoutPainter::PaintBox(QPainter& painter, const HtmlBox& box)
{
    if (box.effect >= 0 && box.effect <= 15)
        m_drawManager.FillEffect(painter, box.effect, box.rect, box.color1, box.color2, box.color3, 5, 0);
    else if (box.tile)
        CDrawManager::TileBitmap(painter, box.rect, *box.tile);
    m_drawManager.DrawRectangle(painter, box.rect, box.borderTopLeft, box.borderBottomRight, box.borderStyle,
                                box.borderWidth);
}

} // namespace tavrin
