// Decorative drawing for the HTML renderer and the message box: rectangle fills with
// named effects, lines and rectangles in pen styles, and bitmaps and icons with colour
// transforms, masks, shadows and alpha blending.
//
// Colours are 0x00BBGGRR values, the form the style sheet produces. The shade, bump,
// noise and metal fills are computed as brightness bytes in a palette image and
// coloured through its palette, with deliberately integer arithmetic that wraps like a
// byte: the look of the backgrounds depends on exactly that.
#pragma once

#include "html/DibImage.h"
#include "html/RandomSource.h"

#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <memory>
#include <vector>

class QPainter;

namespace tavrin {

enum FillEffectId : int {
    kEffectSolid = 0,
    kEffectHGradient = 1,
    kEffectVGradient = 2,
    kEffectHCGradient = 3,
    kEffectVCGradient = 4,
    kEffect3HGradient = 5,
    kEffect3VGradient = 6,
    kEffectNoise = 7,
    kEffectDiagShade = 8,
    kEffectHShade = 9,
    kEffectVShade = 10,
    kEffectHBump = 11,
    kEffectVBump = 12,
    kEffectSoftBump = 13,
    kEffectHardBump = 14,
    kEffectMetal = 15,
};

// Image style bits.
inline constexpr unsigned kImageGrey = 0x1;
inline constexpr unsigned kImageDarken = 0x2;
inline constexpr unsigned kImageLighten = 0x4;
inline constexpr unsigned kImageReplace = 0x8;
inline constexpr unsigned kImageShadow = 0x100;
inline constexpr unsigned kImageGradientShadow = 0x200;
inline constexpr unsigned kImageInvert = 0x8000;

// Pen styles of lines and rectangles.
inline constexpr int kLineNone = 0;
inline constexpr int kLineSolid = 1;
inline constexpr int kLineDashed = 2;
inline constexpr int kLineDotted = 3;
inline constexpr int kLineDashDot = 4;
inline constexpr int kLineDashDotDot = 5;
inline constexpr int kLineDouble = 6;

// One band of a linear gradient: pixels [from, to) along the gradient's axis.
struct GradientBand {
    int from = 0;
    int to = 0;
    std::uint32_t colour = 0;
};

// The 64-step gradient from `start` to `end` over `size` pixels from `origin`; empty
// bands are left out, so a narrow gradient has fewer bands than steps.
std::vector<GradientBand> GradientBands(std::uint32_t start, std::uint32_t end, int origin, int size);

// Shadow parameters shared by bitmap and icon drawing.
struct ShadowSpec {
    bool enabled = false;
    int offsetX = 0;
    int offsetY = 0;
    int depthX = 0;
    int depthY = 0;
    std::uint32_t colour = 0;
};

class CDrawManager {
public:
    CDrawManager();

    // --- fills ------------------------------------------------------------------------
    void FillEffect(QPainter& painter, int effect, const QRect& rect, std::uint32_t color1, std::uint32_t color2,
                    std::uint32_t color3, int granularity, int coloring);

    // Computes effects 7..15 into the palette image at the size given, without
    // drawing. Returns false for other effects or an unusable size.
    bool ComputeEffectImage(int effect, int width, int height, std::uint32_t color1, std::uint32_t color2,
                            std::uint32_t color3, int granularity, int coloring);
    const CDibImage& Dib() const { return m_dib; }

    // The noise and metal fills draw from this source; tests replace it.
    void SetRandomSource(std::unique_ptr<CRandomSource> source);

    // --- lines ------------------------------------------------------------------------
    void DrawLine(QPainter& painter, int x1, int y1, int x2, int y2, std::uint32_t colour, int style, int width);
    void DrawRectangle(QPainter& painter, const QRect& rect, std::uint32_t colorTopLeft,
                       std::uint32_t colorBottomRight, int style, int width);

    // --- images -----------------------------------------------------------------------
    static QSize GetBitmapSize(const QImage& bitmap) { return bitmap.size(); }
    static QSize GetIconSize(const QPixmap& icon) { return icon.size(); }
    static QPixmap StretchIcon(const QPixmap& icon, int width, int height);

    // A 32-bit copy of the bitmap at the size given with every pixel transformed by the
    // style bits; sets HadAlpha() when any pixel of the result carries alpha.
    QImage CreateImageEffect(const QImage& bitmap, int width, int height, unsigned style, bool useMask,
                             std::uint32_t maskColor, std::uint32_t newColor);
    bool HadAlpha() const { return m_hadAlpha; }

    void DrawBitmap(QPainter& painter, int x, int y, int width, int height, const QImage& bitmap, bool useMask,
                    std::uint32_t maskColor, unsigned style, const ShadowSpec& shadow = {},
                    std::uint32_t newColor = 0);
    void DrawIcon(QPainter& painter, int x, int y, int width, int height, const QPixmap& icon, unsigned style,
                  const ShadowSpec& shadow = {}, std::uint32_t newColor = 0);
    // Frame `index` of a strip of frameWidth x frameHeight frames laid out row by row.
    void DrawImageListFrame(QPainter& painter, int x, int y, int width, int height, const QImage& strip,
                            int index, int frameWidth, int frameHeight, bool useMask, std::uint32_t maskColor,
                            unsigned style, const ShadowSpec& shadow = {});

    // Darkens what is under (x, y, width, height) by the silhouette's blue channel
    // (255 keeps, 0 blackens); the gradient form blurs the silhouette's edge over the
    // depths first.
    void DrawShadow(QPainter& painter, int x, int y, int width, int height, const QImage& silhouette,
                    bool gradient, int depthX, int depthY);
    // The per-pixel factors (0..255) DrawShadow multiplies by, as a grey image.
    static QImage ShadowFactors(const QImage& silhouette, int width, int height, bool gradient, int depthX,
                                int depthY);

    // Blends source pixels over destination pixels with the source's own alpha.
    static void AlphaBlend(QImage& destination, int x, int y, int width, int height, const QImage& source,
                           int sourceX, int sourceY);

    // Repeats the bitmap over the rectangle, clipped at its right and bottom edges.
    static void TileBitmap(QPainter& painter, const QRect& rect, const QImage& bitmap);

private:
    void FillGradient(QPainter& painter, const QRect& rect, std::uint32_t start, std::uint32_t end,
                      bool horizontal);
    void DrawPreparedImage(QPainter& painter, int x, int y, const QImage& image, const QImage& opaqueMask,
                           unsigned style, const ShadowSpec& shadow);

    CDibImage m_dib;
    std::unique_ptr<CRandomSource> m_random;
    bool m_hadAlpha = false;
};

} // namespace tavrin
