// The splash window: its shape, its placement and how it goes away.
#include "controls/SplashWnd.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include <functional>
#include <vector>

using namespace tavrin::controls;

namespace {

const QColor kMagenta(255, 0, 255);

// A small picture in the shape the start-up one has: magenta corners to cut away.
QImage PictureWithMagentaCorners(QSize size, int corner)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(QColor(30, 60, 120));
    QPainter p(&picture);
    for (QPoint at : {QPoint(0, 0), QPoint(size.width() - corner, 0), QPoint(0, size.height() - corner),
                      QPoint(size.width() - corner, size.height() - corner)})
        p.fillRect(QRect(at, QSize(corner, corner)), kMagenta);
    return picture;
}

void DeliverDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(SplashWnd, RegionKeepsExactlyThePixelsNotOfTheCutColour)
{
    // Row 0: M M x x M x   Row 1: x x x x x x   Row 2: near-magenta is kept.
    QImage picture(6, 3, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int x : {0, 1, 4})
        picture.setPixelColor(x, 0, kMagenta);
    picture.setPixelColor(2, 2, QColor(255, 0, 254));
    picture.setPixelColor(3, 2, QColor(254, 0, 255));

    const QRegion region = CSplashWnd::RegionFromPicture(picture, kMagenta);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool cut = y == 0 && (x == 0 || x == 1 || x == 4);
            EXPECT_EQ(region.contains(QPoint(x, y)), !cut) << x << "," << y;
        }
    }
}

TEST(SplashWnd, PictureCornersAreCutOutOfTheWindow)
{
    auto* splash = new CSplashWnd;
    ASSERT_TRUE(splash->Create(nullptr, QString(), 0, CSplashWnd::CentreOnScreen));
    ASSERT_TRUE(splash->SetBitmap(PictureWithMagentaCorners({48, 30}, 5), 255, 0, 255));
    const QRegion shape = splash->mask();
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(QPoint(47, 29)));
    EXPECT_FALSE(shape.contains(QPoint(4, 25)));
    EXPECT_TRUE(shape.contains(QPoint(5, 0)));
    EXPECT_TRUE(shape.contains(QPoint(24, 15)));

    // -1 for a colour component means no cut-out at all.
    ASSERT_TRUE(splash->SetBitmap(PictureWithMagentaCorners({48, 30}, 5), -1, 0, 255));
    EXPECT_TRUE(splash->mask().isEmpty());
    splash->Hide();
}

TEST(SplashWnd, CentredOnTheScreenAtThePictureSize)
{
    auto* splash = new CSplashWnd;
    splash->Create(nullptr, QString(), 0, CSplashWnd::CentreOnScreen);
    ASSERT_TRUE(splash->SetBitmap(PictureWithMagentaCorners({480, 300}, 8), 255, 0, 255));
    splash->Show();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(splash->size(), QSize(480, 300));
    EXPECT_LE(std::abs(splash->geometry().center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(splash->geometry().center().y() - area.center().y()), 1);
    splash->Hide();
}

TEST(SplashWnd, WithoutAPictureNothingShows)
{
    QPointer<CSplashWnd> splash = new CSplashWnd;
    splash->Create(nullptr, QString(), 0, CSplashWnd::HideOnInput);
    EXPECT_FALSE(splash->SetBitmap(QImage(), 255, 0, 255));
    splash->Show();
    EXPECT_FALSE(splash->isVisible());
    splash->Hide();
    DeliverDeferredDeletes();
    EXPECT_TRUE(splash.isNull());
}

// Each input is tried on a splash with and without the flag that lets input end it.
TEST(SplashWnd, KeyOrButtonHidesAndDeletesItOnlyWithTheFlag)
{
    struct Input { const char* name; std::function<void(QWidget*)> send; };
    const std::vector<Input> inputs = {
        {"key", [](QWidget* w) { QKeyEvent e(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " "); QApplication::sendEvent(w, &e); }},
        {"left", [](QWidget* w) { QMouseEvent e(QEvent::MouseButtonPress, QPointF(3, 3), w->mapToGlobal(QPointF(3, 3)), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier); QApplication::sendEvent(w, &e); }},
        {"right", [](QWidget* w) { QMouseEvent e(QEvent::MouseButtonPress, QPointF(3, 3), w->mapToGlobal(QPointF(3, 3)), Qt::RightButton, Qt::RightButton, Qt::NoModifier); QApplication::sendEvent(w, &e); }},
        {"middle", [](QWidget* w) { QMouseEvent e(QEvent::MouseButtonPress, QPointF(3, 3), w->mapToGlobal(QPointF(3, 3)), Qt::MiddleButton, Qt::MiddleButton, Qt::NoModifier); QApplication::sendEvent(w, &e); }},
    };
    for (const Input& input : inputs) {
        for (bool hideOnInput : {true, false}) {
            QPointer<CSplashWnd> splash = new CSplashWnd;
            splash->Create(nullptr, QString(), 0, CSplashWnd::CentreOnScreen | (hideOnInput ? CSplashWnd::HideOnInput : 0u));
            ASSERT_TRUE(splash->SetBitmap(PictureWithMagentaCorners({40, 20}, 2), 255, 0, 255));
            splash->Show();
            ASSERT_TRUE(splash->isVisible());
            input.send(splash);
            DeliverDeferredDeletes();
            EXPECT_EQ(splash.isNull(), hideOnInput) << input.name << (hideOnInput ? " with" : " without") << " the flag";
            if (splash) {
                EXPECT_TRUE(splash->isVisible()) << input.name;
                splash->Hide();
                DeliverDeferredDeletes();
                EXPECT_TRUE(splash.isNull());
            }
        }
    }
}

TEST(SplashWnd, TextIsDrawnCentredInBlackOverThePicture)
{
    auto* splash = new CSplashWnd;
    splash->Create(nullptr, QStringLiteral("Loading"), 0, 0);
    QImage white(200, 100, QImage::Format_RGB32);
    white.fill(Qt::white);
    ASSERT_TRUE(splash->SetBitmap(white, -1, -1, -1));
    splash->resize(200, 100);
    const QImage shot = splash->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QRect ink;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixelColor(x, y).lightness() < 128)  // glyph edges are smoothed
                ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(std::abs(ink.center().x() - 100), 3);
    EXPECT_LE(std::abs(ink.center().y() - 50), 4);
    splash->Hide();
}

}  // namespace
