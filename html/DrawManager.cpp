#include "html/DrawManager.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tavrin {
namespace {

int RedOf(std::uint32_t c) { return static_cast<int>(c & 0xFF); }
int GreenOf(std::uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
int BlueOf(std::uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }

std::uint32_t MakeColour(int r, int g, int b)
{
    return static_cast<std::uint32_t>(r & 0xFF) | static_cast<std::uint32_t>(g & 0xFF) << 8
        | static_cast<std::uint32_t>(b & 0xFF) << 16;
}

QColor ToQColor(std::uint32_t c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

std::uint8_t Byte(long long value) { return static_cast<std::uint8_t>(value & 0xFF); }

long long Cube(long long v) { return v * v * v; }

// 128 plus a cubic swing: full brightness at one end of the axis, 128 in the middle,
// nearly 0 at the other end.
long long Bump(long long a, long long b, long long g)
{
    const long long d = a * 255 / b - 127;
    return std::clamp(128 + (128 - g) * (Cube(d) / 16384) / 128, 0LL, 255LL);
}

Qt::PenStyle PenStyleFor(int style)
{
    switch (style) {
    case kLineDashed: return Qt::DashLine;
    case kLineDotted: return Qt::DotLine;
    case kLineDashDot: return Qt::DashDotLine;
    case kLineDashDotDot: return Qt::DashDotDotLine;
    default: return Qt::SolidLine;
    }
}

QPen MakePen(std::uint32_t colour, int style, int width)
{
    QPen pen(ToQColor(colour));
    pen.setStyle(PenStyleFor(style));
    pen.setWidth(width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

// Pixel value with grey, darken, lighten or replace applied (alpha untouched).
QRgb TransformPixel(QRgb pixel, unsigned style, std::uint32_t newColor)
{
    int r = qRed(pixel);
    int g = qGreen(pixel);
    int b = qBlue(pixel);
    if (style & kImageGrey) {
        const int grey = static_cast<int>(0.299 * r + 0.587 * g + 0.114 * b);
        r = g = b = grey;
    }
    if (style & kImageDarken) {
        r = r * 3 / 4;
        g = g * 3 / 4;
        b = b * 3 / 4;
    }
    if (style & kImageLighten) {
        r = std::min(255, r * 5 / 4);
        g = std::min(255, g * 5 / 4);
        b = std::min(255, b * 5 / 4);
    }
    if (style & kImageReplace) {
        r = RedOf(newColor);
        g = GreenOf(newColor);
        b = BlueOf(newColor);
    }
    return qRgba(r, g, b, qAlpha(pixel));
}

} // namespace

std::vector<GradientBand> GradientBands(std::uint32_t start, std::uint32_t end, int origin, int size)
{
    std::vector<GradientBand> bands;
    if (size <= 0)
        return bands;
    const long long s = size;
    for (int i = 0; i < 64; ++i) {
        const int from = origin + static_cast<int>((i * s) >> 6);
        const int to = origin + static_cast<int>(((i + 1) * s) >> 6);
        if (to <= from)
            continue;
        const auto mix = [i](int a, int b) { return (a * (64 - i) + b * i) >> 6; };
        bands.push_back({from, to,
                         MakeColour(mix(RedOf(start), RedOf(end)), mix(GreenOf(start), GreenOf(end)),
                                    mix(BlueOf(start), BlueOf(end)))});
    }
    return bands;
}

CDrawManager::CDrawManager() : m_random(std::make_unique<CRandomSource>()) {}

void CDrawManager::SetRandomSource(std::unique_ptr<CRandomSource> source)
{
    m_random = source ? std::move(source) : std::make_unique<CRandomSource>();
}

void CDrawManager::FillGradient(QPainter& painter, const QRect& rect, std::uint32_t start, std::uint32_t end,
                                bool horizontal)
{
    const int origin = horizontal ? rect.x() : rect.y();
    const int size = horizontal ? rect.width() : rect.height();
    for (const GradientBand& band : GradientBands(start, end, origin, size)) {
        const QRect part = horizontal ? QRect(band.from, rect.y(), band.to - band.from, rect.height())
                                      : QRect(rect.x(), band.from, rect.width(), band.to - band.from);
        painter.fillRect(part, ToQColor(band.colour));
    }
}

void CDrawManager::FillEffect(QPainter& painter, int effect, const QRect& rect, std::uint32_t color1,
                              std::uint32_t color2, std::uint32_t color3, int granularity, int coloring)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    switch (effect) {
    case kEffectHGradient:
    case kEffectVGradient:
        FillGradient(painter, rect, color1, color3, effect == kEffectHGradient);
        return;
    case kEffectHCGradient:
    case kEffectVCGradient:
    case kEffect3HGradient:
    case kEffect3VGradient: {
        const bool horizontal = effect == kEffectHCGradient || effect == kEffect3HGradient;
        const bool centred = effect == kEffectHCGradient || effect == kEffectVCGradient;
        QRect first = rect;
        QRect second = rect;
        if (horizontal) {
            first.setWidth(rect.width() / 2);
            second.setLeft(rect.x() + rect.width() / 2);
        } else {
            first.setHeight(rect.height() / 2);
            second.setTop(rect.y() + rect.height() / 2);
        }
        if (centred) {
            FillGradient(painter, first, color1, color3, horizontal);
            FillGradient(painter, second, color3, color1, horizontal);
        } else {
            FillGradient(painter, first, color1, color2, horizontal);
            FillGradient(painter, second, color2, color3, horizontal);
        }
        return;
    }
    default:
        break;
    }
    if (effect < kEffectNoise || effect > kEffectMetal) {
        painter.fillRect(rect, ToQColor(color1));
        return;
    }
    if (ComputeEffectImage(effect, rect.width(), rect.height(), color1, color2, color3, granularity, coloring))
        m_dib.Draw(painter, rect.x(), rect.y());
}

bool CDrawManager::ComputeEffectImage(int effect, int width, int height, std::uint32_t color1,
                                      std::uint32_t color2, std::uint32_t color3, int granularity,
                                      int coloring)
{
    if (effect < kEffectNoise || effect > kEffectMetal)
        return false;
    if (!m_dib.Create(width, height, 8))
        return false;

    // Palette: 0 is color3, 128 color2, 255 color1, so a pixel byte is a brightness.
    for (int i = 0; i <= 128; ++i)
        m_dib.SetPaletteIndex(i, ((128 - i) * RedOf(color3) + i * RedOf(color2)) / 128,
                              ((128 - i) * GreenOf(color3) + i * GreenOf(color2)) / 128,
                              ((128 - i) * BlueOf(color3) + i * BlueOf(color2)) / 128);
    for (int i = 1; i <= 128; ++i)
        m_dib.SetPaletteIndex(127 + i, ((128 - i) * RedOf(color2) + i * RedOf(color1)) / 128,
                              ((128 - i) * GreenOf(color2) + i * GreenOf(color1)) / 128,
                              ((128 - i) * BlueOf(color2) + i * BlueOf(color1)) / 128);
    m_dib.BlendPalette(color1, coloring & 0xFF);

    const long long w = width;
    const long long h = height;
    const long long g = granularity & 0xFF;
    const long long m = g ? 2 * g : 1;
    const long long t = std::max(1LL, CRandomSource::kMaximum / m);
    const long long u = 255 - 2 * g;
    const long long v = u / 2;
    auto noise = [&] { return m_random->Next() / t - g; };

    // r counts rows from the bottom edge, c columns from the left.
    auto forEachPixel = [&](auto&& valueAt) {
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = m_dib.Row(y);
            const long long r = h - 1 - y;
            for (int x = 0; x < width; ++x)
                row[x] = Byte(valueAt(r, static_cast<long long>(x), static_cast<long long>(row[x])));
        }
    };

    switch (effect) {
    case kEffectNoise:
        forEachPixel([&](long long, long long, long long) { return 128 + noise(); });
        break;
    case kEffectDiagShade:
        forEachPixel([&](long long r, long long c, long long) {
            return g + v * r / h + v * (w - c) / w + noise();
        });
        break;
    case kEffectHShade:
        forEachPixel([&](long long r, long long, long long) { return g + u * r / h + noise(); });
        break;
    case kEffectVShade:
        forEachPixel([&](long long, long long c, long long) { return g + (w - c) * u / w + noise(); });
        break;
    case kEffectHBump:
        forEachPixel([&](long long r, long long, long long) { return Bump(r, h, g) + noise(); });
        break;
    case kEffectVBump:
        forEachPixel([&](long long, long long c, long long) { return Bump(w - c, w, g) + noise(); });
        break;
    case kEffectSoftBump:
        forEachPixel([&](long long r, long long c, long long) {
            const long long yy = r * 255 / h - 127;
            const long long xx = (w - c) * 255 / w - 127;
            const long long a = (128 - g) * (Cube(yy) / 16384 + Cube(xx) / 16384);
            long long b = std::max(a / 128 + 128, g);
            if (b > 255 - g)
                b = 255 - g;
            return b + noise();
        });
        break;
    case kEffectHardBump: {
        for (int y = 0; y < height; ++y) {
            const long long r = h - 1 - y;
            const long long yy = r * 255 / h - 127;
            std::fill_n(m_dib.Row(y), width, Byte((128 - 2 * g) * (Cube(yy) / 16384) / 128 + 128 + noise()));
        }
        // Rounded left and right edges; too narrow a rectangle has none.
        const long long e = std::min(w / 6, 16LL);
        const long long quarterSquare = std::max(1LL, h * h / 4);
        forEachPixel([&](long long r, long long c, long long value) {
            if (e > 0) {
                const long long a = w / 2 + (r - h / 2) * (r - h / 2) * e / quarterSquare - e;
                if (c - w / 2 > a)
                    value = g + (w - c) * 128 / e;
                if (c + a - w / 2 < 0)
                    value = 255 - g - c * 128 / e;
            }
            return value + noise();
        });
        break;
    }
    case kEffectMetal: {
        m_dib.Clear(0);
        const long long uu = (u - 40) / 2;
        const long long stepX = std::max(1LL, CRandomSource::kMaximum / w);
        const long long stepY = std::max(1LL, CRandomSource::kMaximum / h);
        const long long stepL = std::max(1LL, CRandomSource::kMaximum / std::min(w, h));
        for (int streak = 0; streak < 200; ++streak) {
            const long long x0 = m_random->Next() / stepX;
            const long long y0 = m_random->Next() / stepY;
            const long long length = m_random->Next() / stepL;
            const std::uint8_t shade = Byte(m_random->Next() / 819);
            for (long long j = 0; j < length / 2; ++j) {
                if (x0 - j > 0 && y0 + j < h)
                    m_dib.SetPixelIndex(static_cast<int>(x0 - j), static_cast<int>(y0 + j), shade);
                if (x0 + j < w && y0 - j > 0)
                    m_dib.SetPixelIndex(static_cast<int>(w - x0 + j), static_cast<int>(y0 - j), shade);
            }
        }
        forEachPixel([&](long long r, long long c, long long value) {
            return value + uu * r / h + uu * (w - c) / w + m_random->Next() / t;
        });
        break;
    }
    default:
        return false;
    }
    return true;
}

void CDrawManager::DrawLine(QPainter& painter, int x1, int y1, int x2, int y2, std::uint32_t colour, int style,
                            int width)
{
    if (style == kLineNone || width <= 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(MakePen(colour, style, width));
    painter.drawLine(x1, y1, x2, y2);
    if (style == kLineDouble) {
        const int gap = 2 * width;
        if (x1 == x2)
            painter.drawLine(x1 + gap, y1, x2 + gap, y2);
        else
            painter.drawLine(x1, y1 + gap, x2, y2 + gap);
    }
    painter.restore();
}

void CDrawManager::DrawRectangle(QPainter& painter, const QRect& rect, std::uint32_t colorTopLeft,
                                 std::uint32_t colorBottomRight, int style, int width)
{
    if (style == kLineNone || width <= 0 || rect.width() <= 0 || rect.height() <= 0)
        return;
    auto drawOne = [&](const QRect& r) {
        // Edges as filled strips for solid pens so that the pen stays inside the
        // rectangle whatever its width; patterned pens follow the edge centre lines.
        const int left = r.x();
        const int top = r.y();
        const int right = r.x() + r.width();
        const int bottom = r.y() + r.height();
        const int half = width / 2;
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, false);
        if (PenStyleFor(style) == Qt::SolidLine) {
            painter.fillRect(QRect(left, top, r.width(), width), ToQColor(colorTopLeft));
            painter.fillRect(QRect(left, top, width, r.height()), ToQColor(colorTopLeft));
            painter.fillRect(QRect(right - width, top, width, r.height()), ToQColor(colorBottomRight));
            painter.fillRect(QRect(left, bottom - width, r.width(), width), ToQColor(colorBottomRight));
        } else {
            const int x0 = left + half;
            const int y0 = top + half;
            const int x1 = right - width + half;
            const int y1 = bottom - width + half;
            painter.setPen(MakePen(colorTopLeft, style, width));
            painter.drawLine(x0, y0, x1, y0);
            painter.drawLine(x0, y0, x0, y1);
            painter.setPen(MakePen(colorBottomRight, style, width));
            painter.drawLine(x1, y0, x1, y1 + 1);
            painter.drawLine(x0, y1, x1 + 1, y1);
        }
        painter.restore();
    };
    drawOne(rect);
    if (style == kLineDouble) {
        const QRect inner = rect.adjusted(2 * width, 2 * width, -2 * width, -2 * width);
        if (inner.width() > 0 && inner.height() > 0)
            drawOne(inner);
    }
}

QPixmap CDrawManager::StretchIcon(const QPixmap& icon, int width, int height)
{
    if (icon.isNull() || width <= 0 || height <= 0)
        return {};
    if (icon.size() == QSize(width, height))
        return icon;
    return icon.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage CDrawManager::CreateImageEffect(const QImage& bitmap, int width, int height, unsigned style, bool useMask,
                                       std::uint32_t maskColor, std::uint32_t newColor)
{
    m_hadAlpha = false;
    if (bitmap.isNull() || width <= 0 || height <= 0)
        return {};
    const bool sourceAlpha = bitmap.hasAlphaChannel();
    QImage copy = bitmap.size() == QSize(width, height)
        ? bitmap.convertToFormat(QImage::Format_ARGB32)
        : bitmap.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation)
              .convertToFormat(QImage::Format_ARGB32);
    if (copy.isNull())
        return {};
    const QRgb maskRgb = qRgb(RedOf(maskColor), GreenOf(maskColor), BlueOf(maskColor)) & RGB_MASK;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(y));
        for (int x = 0; x < width; ++x) {
            QRgb pixel = line[x];
            // An image without alpha counts as fully opaque wherever it is not masked.
            if (!sourceAlpha)
                pixel = qRgba(qRed(pixel), qGreen(pixel), qBlue(pixel), 255);
            else if (qAlpha(pixel) != 0)
                m_hadAlpha = true;
            if (useMask && (pixel & RGB_MASK) == maskRgb)
                pixel = 0;
            else
                pixel = TransformPixel(pixel, style, newColor);
            if (style & kImageInvert)
                pixel ^= RGB_MASK;
            line[x] = pixel;
        }
    }
    return copy;
}

QImage CDrawManager::ShadowFactors(const QImage& silhouette, int width, int height, bool gradient, int depthX,
                                   int depthY)
{
    if (silhouette.isNull() || width <= 0 || height <= 0)
        return {};
    QImage source = silhouette.convertToFormat(QImage::Format_RGB32);
    QImage factors(width, height, QImage::Format_RGB32);
    if (factors.isNull())
        return {};
    if (!gradient) {
        const QImage scaled = source.size() == factors.size()
            ? source
            : source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        for (int y = 0; y < height; ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(scaled.constScanLine(y));
            auto* out = reinterpret_cast<QRgb*>(factors.scanLine(y));
            for (int x = 0; x < width; ++x)
                out[x] = qRgb(qBlue(in[x]), qBlue(in[x]), qBlue(in[x]));
        }
        return factors;
    }
    const int dx = std::max(1, depthX | 1);
    const int dy = std::max(1, depthY | 1);
    // The silhouette shrunk by the depths and centred on white, so the blur has room.
    std::vector<int> blue(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 255);
    const int innerW = width - dx;
    const int innerH = height - dy;
    if (innerW > 0 && innerH > 0) {
        const QImage shrunk = source.scaled(innerW, innerH, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const int ox = (width - innerW) / 2;
        const int oy = (height - innerH) / 2;
        for (int y = 0; y < innerH; ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(shrunk.constScanLine(y));
            for (int x = 0; x < innerW; ++x)
                blue[static_cast<std::size_t>(y + oy) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x + ox)] =
                    qBlue(in[x]);
        }
    }
    const long long divisor = static_cast<long long>(dx) * dy * 255;
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(factors.scanLine(y));
        for (int x = 0; x < width; ++x) {
            long long sum = 0;
            for (int j = y - dy / 2; j <= y + dy / 2; ++j)
                for (int i = x - dx / 2; i <= x + dx / 2; ++i)
                    sum += (i < 0 || j < 0 || i >= width || j >= height)
                        ? 255
                        : blue[static_cast<std::size_t>(j) * static_cast<std::size_t>(width) + static_cast<std::size_t>(i)];
            const int factor = static_cast<int>(sum * 255 / divisor);
            out[x] = qRgb(factor, factor, factor);
        }
    }
    return factors;
}

void CDrawManager::DrawShadow(QPainter& painter, int x, int y, int width, int height, const QImage& silhouette,
                              bool gradient, int depthX, int depthY)
{
    const QImage factors = ShadowFactors(silhouette, width, height, gradient, depthX, depthY);
    if (factors.isNull())
        return;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    painter.drawImage(x, y, factors);
    painter.restore();
}

void CDrawManager::AlphaBlend(QImage& destination, int x, int y, int width, int height, const QImage& source,
                              int sourceX, int sourceY)
{
    if (destination.isNull() || source.isNull())
        return;
    if (destination.format() != QImage::Format_RGB32 && destination.format() != QImage::Format_ARGB32)
        destination = destination.convertToFormat(QImage::Format_ARGB32);
    const QImage src = source.convertToFormat(QImage::Format_ARGB32);
    for (int j = 0; j < height; ++j) {
        const int dy = y + j;
        const int sy = sourceY + j;
        if (dy < 0 || dy >= destination.height() || sy < 0 || sy >= src.height())
            continue;
        auto* out = reinterpret_cast<QRgb*>(destination.scanLine(dy));
        const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(sy));
        for (int i = 0; i < width; ++i) {
            const int dx = x + i;
            const int sx = sourceX + i;
            if (dx < 0 || dx >= destination.width() || sx < 0 || sx >= src.width())
                continue;
            const QRgb s = in[sx];
            const QRgb d = out[dx];
            const int a = qAlpha(s);
            auto mix = [a](int sc, int dc) { return (sc * a + dc * (255 - a)) / 255; };
            out[dx] = qRgba(mix(qRed(s), qRed(d)), mix(qGreen(s), qGreen(d)), mix(qBlue(s), qBlue(d)), qAlpha(d));
        }
    }
}

void CDrawManager::TileBitmap(QPainter& painter, const QRect& rect, const QImage& bitmap)
{
    if (bitmap.isNull() || rect.width() <= 0 || rect.height() <= 0)
        return;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    for (int y = rect.y(); y < rect.y() + rect.height(); y += bitmap.height())
        for (int x = rect.x(); x < rect.x() + rect.width(); x += bitmap.width())
            painter.drawImage(x, y, bitmap);
    painter.restore();
}

void CDrawManager::DrawPreparedImage(QPainter& painter, int x, int y, const QImage& image,
                                     const QImage& opaqueMask, unsigned style, const ShadowSpec& shadow)
{
    const bool hadAlpha = m_hadAlpha;
    int imageX = x;
    int imageY = y;
    if (shadow.enabled) {
        if (style & (kImageShadow | kImageGradientShadow)) {
            // Silhouette: the shadow colour where the image is opaque, white elsewhere.
            QImage silhouette(image.size(), QImage::Format_RGB32);
            const QRgb shade = qRgb(RedOf(shadow.colour), GreenOf(shadow.colour), BlueOf(shadow.colour));
            for (int j = 0; j < image.height(); ++j) {
                const auto* maskLine = reinterpret_cast<const QRgb*>(opaqueMask.constScanLine(j));
                const auto* imageLine = reinterpret_cast<const QRgb*>(image.constScanLine(j));
                auto* out = reinterpret_cast<QRgb*>(silhouette.scanLine(j));
                for (int i = 0; i < image.width(); ++i) {
                    const bool opaque = hadAlpha ? qAlpha(imageLine[i]) > 0 : (maskLine[i] & RGB_MASK) == 0;
                    out[i] = opaque ? shade : qRgb(255, 255, 255);
                }
            }
            DrawShadow(painter, x + shadow.offsetX, y + shadow.offsetY, image.width(), image.height(), silhouette,
                       (style & kImageGradientShadow) != 0, shadow.depthX, shadow.depthY);
        } else {
            imageX = x + shadow.offsetX;
            imageY = y + shadow.offsetY;
        }
    }
    if (hadAlpha) {
        painter.drawImage(imageX, imageY, image);
        return;
    }
    // No alpha of its own: opaque where the mask is black, transparent elsewhere.
    QImage masked = image;
    for (int j = 0; j < masked.height(); ++j) {
        const auto* maskLine = reinterpret_cast<const QRgb*>(opaqueMask.constScanLine(j));
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(j));
        for (int i = 0; i < masked.width(); ++i)
            line[i] = (maskLine[i] & RGB_MASK) == 0 ? (line[i] | 0xFF000000u) : 0u;
    }
    painter.drawImage(imageX, imageY, masked);
}

void CDrawManager::DrawBitmap(QPainter& painter, int x, int y, int width, int height, const QImage& bitmap,
                              bool useMask, std::uint32_t maskColor, unsigned style, const ShadowSpec& shadow,
                              std::uint32_t newColor)
{
    if (bitmap.isNull() || width <= 0 || height <= 0)
        return;
    const QImage mask = CreateImageEffect(bitmap, width, height, kImageReplace | kImageInvert, useMask, maskColor,
                                          0xFFFFFF);
    const QImage image = CreateImageEffect(bitmap, width, height, style, useMask, maskColor, newColor);
    if (mask.isNull() || image.isNull())
        return;
    DrawPreparedImage(painter, x, y, image, mask, style, shadow);
}

void CDrawManager::DrawIcon(QPainter& painter, int x, int y, int width, int height, const QPixmap& icon,
                            unsigned style, const ShadowSpec& shadow, std::uint32_t newColor)
{
    if (icon.isNull() || width <= 0 || height <= 0)
        return;
    QImage source = StretchIcon(icon, width, height).toImage().convertToFormat(QImage::Format_ARGB32);
    if (style & kImageReplace) {
        // The icon's outline only: black where it is opaque, on white.
        QImage outline(source.size(), QImage::Format_RGB32);
        for (int j = 0; j < source.height(); ++j) {
            const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(j));
            auto* out = reinterpret_cast<QRgb*>(outline.scanLine(j));
            for (int i = 0; i < source.width(); ++i)
                out[i] = qAlpha(in[i]) > 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        }
        DrawBitmap(painter, x, y, width, height, outline, true, 0xFFFFFF, style, shadow, newColor);
        return;
    }
    DrawBitmap(painter, x, y, width, height, source, false, 0, style, shadow, newColor);
}

void CDrawManager::DrawImageListFrame(QPainter& painter, int x, int y, int width, int height, const QImage& strip,
                                      int index, int frameWidth, int frameHeight, bool useMask,
                                      std::uint32_t maskColor, unsigned style, const ShadowSpec& shadow)
{
    if (strip.isNull() || frameWidth <= 0 || frameHeight <= 0 || index < 0)
        return;
    const int columns = strip.width() / frameWidth;
    const int rows = strip.height() / frameHeight;
    if (columns <= 0 || index >= columns * rows)
        return;
    const QImage frame =
        strip.copy((index % columns) * frameWidth, (index / columns) * frameHeight, frameWidth, frameHeight);
    DrawBitmap(painter, x, y, width, height, frame, useMask, maskColor, style, shadow);
}

} // namespace tavrin
