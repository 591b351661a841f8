#include "html/HtmlPictureMaker.h"

#include "html/HtmlColorTable.h"

#include <algorithm>

namespace tavrin {
namespace {

// Width and height of the system icons ("icon" percentages are of this size).
constexpr int kSystemIconSize = 32;

} // namespace

std::optional<HtmlPicture> CHtmlPictureMaker::Make(const HtmlTag& tag, Kind kind) const
{
    HtmlPicture picture;
    bool loaded = false;
    switch (kind) {
    case Kind::Bitmap: loaded = LoadBitmap(tag, picture); break;
    case Kind::Icon: loaded = LoadIcon(tag, picture); break;
    case Kind::ImageList:
        loaded = CHtmlPictureLoader::HasSource(tag) ? LoadStripFrame(tag, picture) : LoadFromImageList(tag, picture);
        break;
    }
    const QSize size = picture.rect.size();
    if (!loaded || size.width() <= 0 || size.height() <= 0 || size.width() > kMaxExtent || size.height() > kMaxExtent)
        return std::nullopt;
    TakeStyles(tag, picture);
    const bool shadow = picture.shadow.enabled;
    picture.box = QRect(0, 0, size.width() + (shadow ? m_options.shadowOffsetX : 0),
                        size.height() + (shadow ? m_options.shadowOffsetY : 0));
    return picture;
}

int CHtmlPictureMaker::Extent(const HtmlTag& tag, const QString& attribute, int base) const
{
    QString text = tag.Attribute(attribute);
    if (text.isEmpty())
        text = QStringLiteral("100%");
    return CHtmlValueParser::ParseSize(text, base, false, m_metrics);
}

bool CHtmlPictureMaker::LoadBitmap(const HtmlTag& tag, HtmlPicture& picture) const
{
    std::optional<QImage> bitmap = m_loader.LoadBitmap(tag);
    if (!bitmap)
        return false;
    picture.source = HtmlPicture::Source::Bitmap;
    picture.rect = QRect(0, 0, Extent(tag, QStringLiteral("width"), bitmap->width()),
                         Extent(tag, QStringLiteral("height"), bitmap->height()));
    picture.bitmap = std::move(*bitmap);
    return true;
}

bool CHtmlPictureMaker::LoadIcon(const HtmlTag& tag, HtmlPicture& picture) const
{
    const int width = Extent(tag, QStringLiteral("width"), kSystemIconSize);
    const int height = Extent(tag, QStringLiteral("height"), kSystemIconSize);
    if (width <= 0 || height <= 0 || width > kMaxExtent || height > kMaxExtent)
        return false;
    std::optional<QPixmap> icon = m_loader.LoadIcon(tag, QSize(width, height));
    if (!icon)
        return false;
    picture.source = HtmlPicture::Source::Icon;
    picture.rect = QRect(0, 0, width, height);
    picture.icon = std::move(*icon);
    return true;
}

bool CHtmlPictureMaker::LoadFromImageList(const HtmlTag& tag, HtmlPicture& picture) const
{
    const int index = CHtmlValueParser::LeadingInt(tag.Attribute(QStringLiteral("index")));
    const std::vector<QPixmap>* list = m_options.imageList;
    if (!list || index < 0 || index >= static_cast<int>(list->size()))
        return false;
    const QPixmap& image = (*list)[static_cast<size_t>(index)];
    picture.source = HtmlPicture::Source::Icon;
    picture.rect = QRect(0, 0, Extent(tag, QStringLiteral("width"), image.width()),
                         Extent(tag, QStringLiteral("height"), image.height()));
    picture.icon = image;
    return true;
}

bool CHtmlPictureMaker::LoadStripFrame(const HtmlTag& tag, HtmlPicture& picture) const
{
    std::optional<QImage> strip = m_loader.LoadBitmap(tag);
    if (!strip)
        return false;
    const HtmlSizeMetrics plain{};
    int frameWidth = CHtmlValueParser::ParseSize(tag.Attribute(QStringLiteral("cx")), 0, false, plain);
    int frameHeight = CHtmlValueParser::ParseSize(tag.Attribute(QStringLiteral("cy")), 0, false, plain);
    // Both missing: square frames of the shorter side; one missing: equal to the other.
    if (frameWidth <= 0 && frameHeight <= 0)
        frameWidth = frameHeight = std::min(strip->width(), strip->height());
    else if (frameWidth <= 0)
        frameWidth = frameHeight;
    else if (frameHeight <= 0)
        frameHeight = frameWidth;
    const int frames =
        frameWidth > 0 && frameHeight > 0 ? (strip->width() / frameWidth) * (strip->height() / frameHeight) : 0;
    const int index = CHtmlValueParser::LeadingInt(tag.Attribute(QStringLiteral("index")));
    if (index < 0 || index >= frames)
        return false;
    picture.source = HtmlPicture::Source::StripFrame;
    picture.frame = index;
    picture.frameWidth = frameWidth;
    picture.frameHeight = frameHeight;
    picture.frameCount = frames;
    if (tag.Has(QStringLiteral("speed")))
        picture.speed = CHtmlValueParser::LeadingInt(tag.Attribute(QStringLiteral("speed")));
    picture.rect = QRect(0, 0, Extent(tag, QStringLiteral("width"), frameWidth),
                         Extent(tag, QStringLiteral("height"), frameHeight));
    picture.bitmap = std::move(*strip);
    return true;
}

void CHtmlPictureMaker::TakeStyles(const HtmlTag& tag, HtmlPicture& picture) const
{
    const bool shadowOffsets = m_options.shadowOffsetX != 0 || m_options.shadowOffsetY != 0;
    picture.styleBits = CHtmlValueParser::ParseImageStyleLetters(tag.Attribute(QStringLiteral("style")), shadowOffsets,
                                                                 m_options.shadowGradient);
    picture.hotStyleBits = tag.Has(QStringLiteral("hotstyle"))
                               ? CHtmlValueParser::ParseImageStyleLetters(tag.Attribute(QStringLiteral("hotstyle")),
                                                                          shadowOffsets, m_options.shadowGradient)
                               : picture.styleBits;
    picture.useMask = tag.Has(QStringLiteral("mask"));
    if (picture.useMask)
        picture.maskColor = CHtmlValueParser::ParseColor(tag.Attribute(QStringLiteral("mask")), 0xFF00FF, m_colors);

    ShadowSpec& shadow = picture.shadow;
    shadow.enabled = ((picture.styleBits | picture.hotStyleBits) & (kImageShadow | kImageGradientShadow)) != 0;
    shadow.offsetX = m_options.shadowOffsetX;
    shadow.offsetY = m_options.shadowOffsetY;
    shadow.depthX = m_options.shadowDepthX;
    shadow.depthY = m_options.shadowDepthY;
    const int grey = CHtmlValueParser::MulDiv(255, 100 - m_options.shadowDarken, 100);
    shadow.colour = HtmlRgb(grey, grey, grey);
}

} // namespace tavrin
