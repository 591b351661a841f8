#include "html/HtmlDrawer.h"
#include "html/IconHandleRegistry.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

using namespace tavrin;

namespace {

class HtmlDrawerImages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QImage red(20, 10, QImage::Format_RGB32);
        red.fill(Qt::red);
        ASSERT_TRUE(red.save(Path("red.png")));
        QImage strip(30, 10, QImage::Format_RGB32); // three 10 x 10 frames: red, green, blue
        strip.fill(Qt::red);
        QPainter painter(&strip);
        painter.fillRect(10, 0, 10, 10, Qt::green);
        painter.fillRect(20, 0, 10, 10, Qt::blue);
        painter.end();
        ASSERT_TRUE(strip.save(Path("strip.png")));
        QPixmap icon(16, 16);
        icon.fill(Qt::blue);
        handle = RegisterIconHandle(icon);
    }
    void TearDown() override { ReleaseIconHandle(handle); }

    QString Path(const QString& name) const { return dir.filePath(name); }
    QSize Measure(const QString& html)
    {
        QImage probe(1, 1, QImage::Format_RGB32);
        return drawer.MeasureHtml(&probe, QString(html).replace("DIR", dir.path()));
    }
    QImage Draw(const QString& html)
    {
        const QSize size = Measure(html);
        QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        drawer.DrawMeasured(painter, image.rect());
        return image;
    }

    QTemporaryDir dir;
    CHtmlDrawer drawer;
    int handle = 0;
};

TEST_F(HtmlDrawerImages, PictureSizesFromAttributesSourcesAndShadows)
{
    const struct {
        QString html;
        QSize expected; // one larger than the picture's box
    } cases[] = {
        {"<bmp file=DIR/red.png>", {21, 11}},
        {"<bmp file=DIR/red.png width=200% height=15>", {41, 16}},
        {"<bmp file=DIR/red.png style=s>", {25, 15}},          // the shadow offsets enlarge the box
        {"<bmp file=DIR/red.png style=g hotstyle=s>", {25, 15}},
        {"<bmp file=DIR/missing.png>", {0, 0}},                // skipped, no space kept
        {"<bmp>", {0, 0}},
        {QString("<icon handle=0x%1>").arg(handle, 0, 16), {33, 33}}, // drawn at the system icon size
        {QString("<icon handle=%1 width=50%>").arg(handle), {17, 33}},
        {"<icon handle=0x7fffff00>", {0, 0}},
        {"<ilst file=DIR/strip.png index=2>", {11, 11}},       // square frames of the shorter side
        {"<ilst file=DIR/strip.png index=3>", {0, 0}},         // beyond the strip
        {"<ilst file=DIR/strip.png cx=15 cy=10 index=1>", {16, 11}},
        {"<ilst file=DIR/strip.png cx=15>", {0, 0}},            // a missing cy equals cx: no 15 x 15 frame fits
        {"<ilst index=0>", {0, 0}},                            // no image list
    };
    for (const auto& c : cases)
        EXPECT_EQ(Measure(c.html), c.expected) << c.html.toStdString();

    drawer.SetImageShadow(0, 0, 50, true, 7, 7);
    EXPECT_EQ(Measure("<bmp file=DIR/red.png style=s>"), QSize(21, 11)); // no offsets, no shadow
}

TEST_F(HtmlDrawerImages, PicturesAreDrawnAndLinkedPicturesAreHotAreas)
{
    drawer.SetImageShadow(0, 0, 50, true, 7, 7);
    const QImage image = Draw("<a href='https://example.org'><bmp file=DIR/red.png></a><ilst file=DIR/strip.png index=1>");
    EXPECT_EQ(image.pixel(0, 5), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(19, 5), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(25, 5), qRgb(0, 255, 0)); // frame 1 of the strip
    ASSERT_EQ(drawer.LinkAreas().size(), 1u);
    EXPECT_EQ(drawer.LinkAreas()[0].rect, QRect(0, 0, 20, 10));
    EXPECT_TRUE(drawer.UpdateHoverAndCursor(QPoint(20, 10))); // edges included
    EXPECT_FALSE(drawer.UpdateHoverAndCursor(QPoint(25, 5)));
}

TEST_F(HtmlDrawerImages, HotStyleReplacesTheStyleWhileTheLinkIsHovered)
{
    drawer.SetImageShadow(0, 0, 50, true, 7, 7);
    QImage image = Draw("<a href='x'><bmp file=DIR/red.png style=g hotstyle=''></a>");
    EXPECT_EQ(image.pixel(5, 5), qRgb(76, 76, 76)); // grey of pure red
    ASSERT_TRUE(drawer.UpdateHoverAndCursor(QPoint(5, 5)));
    QPainter painter(&image);
    drawer.DrawMeasured(painter, image.rect());
    EXPECT_EQ(image.pixel(5, 5), qRgb(255, 0, 0));
}

// Pictures are decoded by the layout and held by it: painting after a hover change
// reads no file, so a picture removed meanwhile still shows.
TEST_F(HtmlDrawerImages, HoverRepaintsReadNoFiles)
{
    drawer.SetImageShadow(0, 0, 50, true, 7, 7);
    QImage image = Draw("<a href='x'><bmp file=DIR/red.png style=g hotstyle=''></a>");
    ASSERT_TRUE(QFile::remove(Path("red.png")));
    ASSERT_TRUE(drawer.UpdateHoverAndCursor(QPoint(5, 5)));
    QPainter painter(&image);
    drawer.DrawMeasured(painter, image.rect());
    EXPECT_EQ(image.pixel(5, 5), qRgb(255, 0, 0));
    const auto* picture = std::get_if<HtmlPicture>(&drawer.Layout().Items().at(0));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->rect, QRect(0, 0, 20, 10));
    EXPECT_EQ(picture->linkNumber, 1);
}

TEST_F(HtmlDrawerImages, StripWithSpeedDrawsItsRecordedFrame)
{
    const QString html = "<ilst file=DIR/strip.png index=0 speed=1>";
    Measure(html);
    ASSERT_EQ(drawer.Animations().size(), 1u);
    EXPECT_EQ(drawer.Animations()[0].frameCount, 3);
    drawer.AdvanceAnimations();
    drawer.AdvanceAnimations();
    EXPECT_EQ(drawer.Animations()[0].current, 2);
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    drawer.DrawMeasured(painter, image.rect());
    EXPECT_EQ(image.pixel(5, 5), qRgb(0, 0, 255));
    drawer.AdvanceAnimations();
    EXPECT_EQ(drawer.Animations()[0].current, 0); // wraps round
}

TEST_F(HtmlDrawerImages, ImagesWrapToTheNextLineWhenTheyDoNotFit)
{
    drawer.SetMaxWidth(50);
    EXPECT_EQ(Measure("<bmp file=DIR/red.png><bmp file=DIR/red.png><bmp file=DIR/red.png>"), QSize(41, 21));
    EXPECT_EQ(drawer.Lines().size(), 2u);
}

} // namespace
