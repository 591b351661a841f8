#include "html/DrawManager.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <memory>

using namespace tavrin;

namespace {

class ZeroRandom : public CRandomSource {
public:
    int Next() override { return 0; }
};

class FixedRandom : public CRandomSource {
public:
    explicit FixedRandom(int value) : m_value(value) {}
    int Next() override { return m_value; }

private:
    int m_value;
};

constexpr std::uint32_t kGold = 0x0051ECFD;      // #FDEC51
constexpr std::uint32_t kLightYellow = 0x00A9F3FE; // #FEF3A9

QImage Canvas(int w, int h, QRgb fill = qRgb(1, 2, 3))
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

std::uint32_t ColourRef(QRgb rgb)
{
    return static_cast<std::uint32_t>(qRed(rgb)) | static_cast<std::uint32_t>(qGreen(rgb)) << 8
        | static_cast<std::uint32_t>(qBlue(rgb)) << 16;
}

} // namespace

TEST(CDrawManagerTest, VBumpRunsFromColor1ThroughColor2ToNearlyColor3)
{
    CDrawManager manager;
    manager.SetRandomSource(std::make_unique<ZeroRandom>());
    ASSERT_TRUE(manager.ComputeEffectImage(kEffectVBump, 400, 3, kGold, kLightYellow, kGold, 0, 0));
    const CDibImage& dib = manager.Dib();
    struct Case { int column; int value; };
    for (const Case& c : {Case{0, 255}, Case{100, 144}, Case{200, 128}, Case{300, 112}, Case{399, 3}}) {
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(dib.PixelIndex(c.column, y), c.value) << "column " << c.column << " row " << y;
    }
    EXPECT_EQ(dib.PaletteColour(255), kGold);
    EXPECT_EQ(dib.PaletteColour(0), kGold);
    // Entry 127 is one step short of color2 on the way from color3.
    EXPECT_EQ(dib.PaletteColour(127), (1u * 0xFD + 127u * 0xFE) / 128 | ((1u * 0xEC + 127u * 0xF3) / 128) << 8
                                          | ((1u * 0x51 + 127u * 0xA9) / 128) << 16);
}

TEST(CDrawManagerTest, VBumpWithThreeDistinctColoursIsDrawnThroughThePalette)
{
    CDrawManager manager;
    manager.SetRandomSource(std::make_unique<ZeroRandom>());
    QImage canvas = Canvas(420, 10);
    {
        QPainter painter(&canvas);
        manager.FillEffect(painter, kEffectVBump, QRect(10, 0, 400, 10), 0x0000FF, 0x00FF00, 0xFF0000, 0, 0);
    }
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(1, 2, 3)) << "outside the rectangle stays";
    EXPECT_EQ(canvas.pixel(10, 5), qRgb(255, 0, 0)) << "left edge is color1";
    const QRgb middle = canvas.pixel(210, 5);
    EXPECT_LE(qRed(middle), 2);
    EXPECT_GE(qGreen(middle), 253);
    const QRgb right = canvas.pixel(409, 5);
    EXPECT_GE(qBlue(right), 245) << "right edge is nearly color3";
    EXPECT_LE(qGreen(right), 10);
}

TEST(CDrawManagerTest, ColoringBlendsThePaletteTowardColor1)
{
    CDrawManager manager;
    manager.SetRandomSource(std::make_unique<ZeroRandom>());
    ASSERT_TRUE(manager.ComputeEffectImage(kEffectVBump, 8, 1, 0x0000FF, 0x00FF00, 0x000000, 0, 50));
    // Entry 0 is black blended halfway to pure red.
    EXPECT_EQ(manager.Dib().PaletteColour(0), 0x00007Fu);
}

TEST(CDrawManagerTest, GradientBandsSkipEmptySteps)
{
    struct Case { int size; std::size_t bands; };
    for (const Case& c : {Case{32, 32}, Case{10, 10}, Case{64, 64}, Case{200, 64}, Case{1, 1}, Case{0, 0}}) {
        const auto bands = GradientBands(0x000000, 0xFFFFFF, 5, c.size);
        ASSERT_EQ(bands.size(), c.bands) << "size " << c.size;
        if (bands.empty())
            continue;
        EXPECT_EQ(bands.front().from, 5);
        EXPECT_EQ(bands.back().to, 5 + c.size);
        for (std::size_t i = 1; i < bands.size(); ++i)
            EXPECT_EQ(bands[i].from, bands[i - 1].to) << "bands touch";
    }
    const auto bands = GradientBands(0x000000, 0x0000FF, 0, 64);
    EXPECT_EQ(bands.front().colour, 0u);
    EXPECT_EQ(bands.back().colour, (255u * 63) >> 6) << "the last band stops short of the end colour";
}

TEST(CDrawManagerTest, HorizontalAndCentredGradientsPaintTheirEnds)
{
    CDrawManager manager;
    QImage canvas = Canvas(128, 4);
    {
        QPainter painter(&canvas);
        manager.FillEffect(painter, kEffectHCGradient, QRect(0, 0, 128, 2), 0x0000FF, 0, 0xFF0000, 0, 0);
        manager.FillEffect(painter, kEffectVGradient, QRect(0, 2, 128, 2), 0x0000FF, 0, 0xFF0000, 0, 0);
    }
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(ColourRef(canvas.pixel(63, 0)), (static_cast<std::uint32_t>(255 * 1 >> 6)) | 0xFBu << 16)
        << "first half ends near color3";
    EXPECT_EQ(canvas.pixel(64, 0), qRgb(0, 0, 255)) << "second half starts at color3";
    // Two pixels high: each row shows the last of the bands that end on it.
    EXPECT_EQ(canvas.pixel(0, 2), qRgb(131, 0, 123)) << "band 31";
    EXPECT_EQ(canvas.pixel(0, 3), qRgb(3, 0, 251)) << "band 63";
}

TEST(CDrawManagerTest, SolidAndUnknownEffectsFillWithColor1)
{
    for (int effect : {-1, 0, 16, 99}) {
        CDrawManager manager;
        QImage canvas = Canvas(6, 6);
        {
            QPainter painter(&canvas);
            manager.FillEffect(painter, effect, QRect(1, 1, 4, 4), 0x00336699, 0xFFFFFF, 0xFFFFFF, 3, 3);
        }
        EXPECT_EQ(canvas.pixel(1, 1), qRgb(0x99, 0x66, 0x33)) << effect;
        EXPECT_EQ(canvas.pixel(4, 4), qRgb(0x99, 0x66, 0x33)) << effect;
        EXPECT_EQ(canvas.pixel(5, 5), qRgb(1, 2, 3)) << effect;
    }
}

TEST(CDrawManagerTest, ComputedEffectsSurviveTinyAndOddSizes)
{
    // Every effect divides by the width, the height or parts of them.
    for (int effect = kEffectNoise; effect <= kEffectMetal; ++effect) {
        for (const QSize size : {QSize(1, 1), QSize(5, 1), QSize(1, 7), QSize(2, 2), QSize(40000, 1)}) {
            CDrawManager manager;
            ASSERT_TRUE(manager.ComputeEffectImage(effect, size.width(), size.height(), 0xFFFFFF, 0x808080, 0, 10,
                                                   0))
                << effect;
            EXPECT_EQ(manager.Dib().Width(), size.width());
        }
        CDrawManager manager;
        EXPECT_FALSE(manager.ComputeEffectImage(effect, 0, 5, 0, 0, 0, 0, 0));
    }
}

TEST(CDrawManagerTest, ShadesAndBumpsFollowTheirAxes)
{
    CDrawManager manager;
    manager.SetRandomSource(std::make_unique<ZeroRandom>());
    // hshade with granularity 0: bottom row 0, rising toward the top.
    ASSERT_TRUE(manager.ComputeEffectImage(kEffectHShade, 4, 255, 0, 0, 0, 0, 0));
    EXPECT_EQ(manager.Dib().PixelIndex(0, 254), 0);
    EXPECT_EQ(manager.Dib().PixelIndex(0, 0), 254);
    // vshade: 255 at the left edge, falling to the right.
    ASSERT_TRUE(manager.ComputeEffectImage(kEffectVShade, 255, 2, 0, 0, 0, 0, 0));
    EXPECT_EQ(manager.Dib().PixelIndex(0, 0), 255);
    EXPECT_EQ(manager.Dib().PixelIndex(254, 1), 1);
    // hbump: the bump runs from the bottom (low) to the top (high).
    ASSERT_TRUE(manager.ComputeEffectImage(kEffectHBump, 2, 400, 0, 0, 0, 0, 0));
    EXPECT_EQ(manager.Dib().PixelIndex(0, 399), 3);
    EXPECT_EQ(manager.Dib().PixelIndex(0, 0), 253);
}

TEST(CDrawManagerTest, ImageEffectsTransformEachPixel)
{
    struct Case { unsigned style; QRgb in; QRgb out; };
    const Case cases[] = {
        {kImageDarken, qRgb(200, 100, 40), qRgb(150, 75, 30)},
        {kImageLighten, qRgb(200, 100, 40), qRgb(250, 125, 50)},
        {kImageLighten, qRgb(220, 220, 220), qRgb(255, 255, 255)},
        {kImageGrey, qRgb(255, 0, 0), qRgb(76, 76, 76)},
        {kImageReplace, qRgb(12, 34, 56), qRgb(0x11, 0x22, 0x33)},
        {kImageInvert, qRgb(200, 100, 40), qRgb(55, 155, 215)},
        {kImageGrey | kImageInvert, qRgb(255, 0, 0), qRgb(179, 179, 179)},
    };
    CDrawManager manager;
    for (const Case& c : cases) {
        QImage source(1, 1, QImage::Format_RGB32);
        source.setPixel(0, 0, c.in);
        const QImage result = manager.CreateImageEffect(source, 1, 1, c.style, false, 0, 0x00332211);
        ASSERT_FALSE(result.isNull());
        EXPECT_EQ(result.pixel(0, 0) & RGB_MASK, c.out & RGB_MASK) << std::hex << c.style;
    }
}

TEST(CDrawManagerTest, MaskedPixelsBecomeZeroAndAlphaIsKept)
{
    CDrawManager manager;
    QImage source(2, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(255, 0, 255, 255));
    source.setPixel(1, 0, qRgba(200, 100, 40, 128));
    const QImage result = manager.CreateImageEffect(source, 2, 1, kImageDarken, true, 0xFF00FF, 0);
    EXPECT_EQ(result.pixel(0, 0), 0u);
    EXPECT_EQ(result.pixel(1, 0), qRgba(150, 75, 30, 128));
    EXPECT_TRUE(manager.HadAlpha());

    QImage opaque(1, 1, QImage::Format_RGB32);
    opaque.fill(qRgb(1, 2, 3));
    manager.CreateImageEffect(opaque, 1, 1, 0, false, 0, 0);
    EXPECT_FALSE(manager.HadAlpha());
}

TEST(CDrawManagerTest, BitmapWithMaskColourLeavesTheBackground)
{
    CDrawManager manager;
    QImage bitmap(2, 1, QImage::Format_RGB32);
    bitmap.setPixel(0, 0, qRgb(255, 0, 255));
    bitmap.setPixel(1, 0, qRgb(10, 20, 30));
    QImage canvas = Canvas(4, 4);
    {
        QPainter painter(&canvas);
        manager.DrawBitmap(painter, 1, 1, 2, 1, bitmap, true, 0xFF00FF, 0);
        ShadowSpec shifted;
        shifted.enabled = true;
        shifted.offsetX = 1;
        shifted.offsetY = 2;
        // Without a shadow bit the image itself moves by the shadow offset.
        manager.DrawBitmap(painter, 0, 0, 2, 1, bitmap, true, 0xFF00FF, kImageDarken, shifted);
    }
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(1, 2, 3));
    EXPECT_EQ(canvas.pixel(2, 1), qRgb(10, 20, 30));
    EXPECT_EQ(canvas.pixel(2, 2), qRgb(7, 15, 22));
    EXPECT_EQ(canvas.pixel(1, 2), qRgb(1, 2, 3));
}

TEST(CDrawManagerTest, StripFramesAreCutRowByRow)
{
    QImage strip(4, 4, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(10, 0, 0), qRgb(20, 0, 0), qRgb(30, 0, 0), qRgb(40, 0, 0)};
    for (int i = 0; i < 4; ++i)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                strip.setPixel((i % 2) * 2 + x, (i / 2) * 2 + y, colours[i]);
    CDrawManager manager;
    for (int index = 0; index < 4; ++index) {
        QImage canvas = Canvas(2, 2);
        QPainter painter(&canvas);
        manager.DrawImageListFrame(painter, 0, 0, 2, 2, strip, index, 2, 2, false, 0, 0);
        painter.end();
        EXPECT_EQ(canvas.pixel(1, 1), colours[index]) << index;
    }
    QImage canvas = Canvas(2, 2);
    QPainter painter(&canvas);
    manager.DrawImageListFrame(painter, 0, 0, 2, 2, strip, 4, 2, 2, false, 0, 0);
    painter.end();
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(1, 2, 3)) << "an index beyond the frames draws nothing";
}

TEST(CDrawManagerTest, ShadowsMultiplyByTheSilhouette)
{
    QImage silhouette(3, 3, QImage::Format_RGB32);
    silhouette.fill(qRgb(0, 0, 0));
    const QImage plain = CDrawManager::ShadowFactors(silhouette, 3, 3, false, 0, 0);
    EXPECT_EQ(plain.pixel(1, 1), qRgb(0, 0, 0));

    // Gradient over 5x5 with depth 2 (made odd: 3): a 2x2 dark core at (1..2, 1..2),
    // blurred by a 3x3 window.
    const QImage blurred = CDrawManager::ShadowFactors(silhouette, 5, 5, true, 2, 2);
    EXPECT_EQ(qRed(blurred.pixel(1, 1)), 255 * 5 / 9) << "four dark pixels in the window";
    EXPECT_EQ(qRed(blurred.pixel(0, 0)), 255 * 8 / 9) << "one dark pixel in the window";
    EXPECT_EQ(qRed(blurred.pixel(4, 4)), 255) << "none";

    CDrawManager manager;
    QImage canvas = Canvas(3, 3, qRgb(200, 100, 50));
    QImage half(3, 3, QImage::Format_RGB32);
    half.fill(qRgb(0, 0, 128));
    QPainter painter(&canvas);
    manager.DrawShadow(painter, 0, 0, 3, 3, half, false, 0, 0);
    painter.end();
    const QRgb shaded = canvas.pixel(1, 1);
    EXPECT_NEAR(qRed(shaded), 100, 1);
    EXPECT_NEAR(qGreen(shaded), 50, 1);
    EXPECT_NEAR(qBlue(shaded), 25, 1);
}

TEST(CDrawManagerTest, AlphaBlendMixesBySourceAlpha)
{
    QImage destination = Canvas(2, 1, qRgb(0, 0, 0));
    QImage source(2, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(255, 255, 255, 255));
    source.setPixel(1, 0, qRgba(255, 102, 0, 51));
    CDrawManager::AlphaBlend(destination, 0, 0, 2, 1, source, 0, 0);
    EXPECT_EQ(destination.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(destination.pixel(1, 0), qRgb(51, 20, 0));
}

TEST(CDrawManagerTest, LinesAndRectanglesFollowStyleAndWidth)
{
    CDrawManager manager;
    QImage canvas = Canvas(20, 20, qRgb(255, 255, 255));
    QPainter painter(&canvas);
    manager.DrawLine(painter, 0, 0, 19, 0, 0x0000FF, kLineNone, 1);
    manager.DrawLine(painter, 0, 1, 19, 1, 0x0000FF, kLineSolid, 0);
    manager.DrawLine(painter, 0, 3, 10, 3, 0x000000, kLineDouble, 1);
    manager.DrawLine(painter, 15, 5, 15, 10, 0x000000, kLineDouble, 1);
    manager.DrawRectangle(painter, QRect(4, 10, 6, 6), 0x00FF00, 0xFF0000, kLineSolid, 1);
    painter.end();
    EXPECT_EQ(canvas.pixel(5, 0), qRgb(255, 255, 255)) << "style 0 draws nothing";
    EXPECT_EQ(canvas.pixel(5, 1), qRgb(255, 255, 255)) << "width 0 draws nothing";
    EXPECT_EQ(canvas.pixel(5, 3), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(0, 0, 0)) << "double: second line 2 widths below";
    EXPECT_EQ(canvas.pixel(5, 4), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(17, 7), qRgb(0, 0, 0)) << "double vertical: second line 2 widths right";
    EXPECT_EQ(canvas.pixel(4, 12), qRgb(0, 255, 0)) << "left edge";
    EXPECT_EQ(canvas.pixel(6, 10), qRgb(0, 255, 0)) << "top edge";
    EXPECT_EQ(canvas.pixel(9, 12), qRgb(0, 0, 255)) << "right edge";
    EXPECT_EQ(canvas.pixel(6, 15), qRgb(0, 0, 255)) << "bottom edge";
    EXPECT_EQ(canvas.pixel(6, 12), qRgb(255, 255, 255)) << "inside untouched";
    EXPECT_EQ(canvas.pixel(10, 12), qRgb(255, 255, 255)) << "nothing outside";
}

TEST(CDibImageTest, PixelsAndPalette)
{
    CDibImage dib;
    EXPECT_FALSE(dib.Create(0, 3, 8));
    EXPECT_FALSE(dib.Create(3, 3, 24));
    ASSERT_TRUE(dib.Create(3, 2, 4));
    EXPECT_EQ(dib.PaletteSize(), 16);
    dib.Clear(7);
    dib.SetPixelIndex(2, 0, 9);
    dib.SetPixelIndex(3, 0, 1); // outside: ignored
    EXPECT_EQ(dib.PixelIndex(2, 0), 9);
    EXPECT_EQ(dib.PixelIndex(2, 1), 7);
    dib.SetPaletteIndex(16, 1, 1, 1); // outside the palette: ignored
    dib.SetPaletteIndex(1, 200, 100, 0);
    dib.BlendPalette(0x0000FF, 150); // capped at 100
    EXPECT_EQ(dib.PaletteColour(1), 0x0000FFu);
    dib.SetPaletteIndex(1, 200, 100, 0);
    dib.BlendPalette(0x000000, 50);
    EXPECT_EQ(dib.PaletteColour(1), 0x003264u);
}

TEST(CDrawManagerTest, TileBitmapRepeatsAndClips)
{
    QImage tile(2, 2, QImage::Format_RGB32);
    tile.fill(qRgb(9, 9, 9));
    tile.setPixel(0, 0, qRgb(50, 60, 70));
    QImage canvas = Canvas(8, 8);
    QPainter painter(&canvas);
    CDrawManager::TileBitmap(painter, QRect(1, 1, 5, 3), tile);
    painter.end();
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(50, 60, 70));
    EXPECT_EQ(canvas.pixel(3, 3), qRgb(50, 60, 70));
    EXPECT_EQ(canvas.pixel(5, 3), qRgb(50, 60, 70));
    EXPECT_EQ(canvas.pixel(6, 1), qRgb(1, 2, 3)) << "clipped at the right";
    EXPECT_EQ(canvas.pixel(1, 4), qRgb(1, 2, 3)) << "clipped at the bottom";
}

TEST(CDrawManagerTest, NoiseScalesWithGranularityAndWrapsLikeAByte)
{
    struct Case { int random; int granularity; int effect; int value; };
    const Case cases[] = {
        {0, 0, kEffectNoise, 128},
        {0x7FFF, 0, kEffectNoise, 129},        // t = 0x7FFF: only the top value adds 1
        {0x7FFF, 10, kEffectNoise, 138},       // t = 0x7FFF / 20 = 1638: 20 - 10
        {0, 10, kEffectNoise, 118},            // 0 - 10
        {0, 200, kEffectNoise, (128 - 200) & 0xFF},
        {0x7FFF, 200, kEffectHShade, 148},     // bottom row: g + (0x7FFF / 81 - g) = 404, wrapped
    };
    for (const Case& c : cases) {
        CDrawManager manager;
        manager.SetRandomSource(std::make_unique<FixedRandom>(c.random));
        ASSERT_TRUE(manager.ComputeEffectImage(c.effect, 3, 1, 0, 0, 0, c.granularity, 0));
        EXPECT_EQ(manager.Dib().PixelIndex(1, 0), c.value) << c.random << " g " << c.granularity;
    }
    // The default source repeats the classic C library sequence for seed 1.
    CRandomSource classic;
    EXPECT_EQ(classic.Next(), 41);
    EXPECT_EQ(classic.Next(), 18467);
    EXPECT_EQ(classic.Next(), 6334);
}

TEST(CDrawManagerTest, SoftAndHardBumpShapes)
{
    // 255 x 255 with granularity 0 and no noise; y counted from the top.
    struct Case { int effect; int x; int y; int value; };
    const Case cases[] = {
        {kEffectSoftBump, 128, 127, 128}, // centre: both cubes vanish
        {kEffectSoftBump, 0, 0, 255},     // top left: capped at 255 - g
        {kEffectSoftBump, 254, 254, 0},   // bottom right: 128 - 125 - 122 < 0, raised to g
        {kEffectHardBump, 128, 127, 128}, // centre row, inside the rounded edges
        {kEffectHardBump, 0, 127, 255},   // left edge: 255 - g - c * 128 / e
        {kEffectHardBump, 254, 127, 8},   // right edge: g + (w - c) * 128 / e with e = 16
    };
    for (const Case& c : cases) {
        CDrawManager manager;
        manager.SetRandomSource(std::make_unique<ZeroRandom>());
        ASSERT_TRUE(manager.ComputeEffectImage(c.effect, 255, 255, 0, 0, 0, 0, 0));
        EXPECT_EQ(manager.Dib().PixelIndex(c.x, c.y), c.value) << c.effect << " at " << c.x << "," << c.y;
    }
}
