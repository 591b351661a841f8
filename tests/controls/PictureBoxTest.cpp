// The preview box: its message states, where pictures go, and what it draws.
#include "controls/PictureBox.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPalette>
#include <QTemporaryDir>

using namespace tavrin::controls;

namespace {

const QColor kFace(212, 208, 200);

TEST(PictureBox, MessageTextsOfTheStates)
{
    struct Case { int state; const char* text; };
    for (const Case& c : {
             Case{0, "No .odb file(s) is available\n in the list"},
             Case{1, "Select .odb file(s)\n to repair"},
             Case{2, "Please wait while .odb file(s)\n are repairing...."},
             Case{3, "Select .odb file(s)\n to see preview"},
             Case{4, "No image is present \n in the selected .odb file(s)"},
             Case{5, "Selected .odb file(s)\n is not repaired...."},
             Case{6, ""},
             Case{7, ""},
             Case{-1, ""},
         }) {
        EXPECT_EQ(CPictureBox::MessageText(c.state).toStdString(), c.text) << c.state;
    }
}

TEST(PictureBox, WhereThePictureGoes)
{
    struct Case { int mode; QSize box; QSize picture; QRect expected; };
    for (const Case& c : {
             Case{0, {100, 60}, {40, 30}, {0, 0, 40, 30}},
             Case{0, {100, 60}, {400, 300}, {0, 0, 400, 300}},
             // Halves are taken separately, each rounded down.
             Case{1, {100, 60}, {41, 31}, {50 - 20, 30 - 15, 41, 31}},
             Case{1, {100, 60}, {400, 300}, {50 - 200, 30 - 150, 400, 300}},
             // Stretched fills the box exactly, wide pictures squeezed, never letter-boxed.
             Case{2, {100, 60}, {40, 30}, {0, 0, 100, 60}},
             Case{2, {60, 200}, {400, 100}, {0, 0, 60, 200}},
             Case{3, {100, 60}, {40, 30}, {}},
         }) {
        EXPECT_EQ(CPictureBox::PictureRect(c.mode, c.box, c.picture), c.expected) << c.mode;
    }
}

class PictureBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QPalette colours = box.palette();
        colours.setColor(QPalette::Button, kFace);
        box.setPalette(colours);
        box.resize(120, 90);
    }

    QString WritePicture(const char* name, QSize size, QColor left, QColor right)
    {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(left);
        for (int y = 0; y < size.height(); ++y)
            for (int x = size.width() / 2; x < size.width(); ++x)
                picture.setPixelColor(x, y, right);
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(picture.save(path, "PNG"));
        return path;
    }

    QImage Shot() { return box.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    static int PixelsNotOf(const QImage& image, QColor colour)
    {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += image.pixelColor(x, y) != colour;
        return count;
    }

    QTemporaryDir dir;
    CPictureBox box;
};

TEST_F(PictureBoxTest, FreshBoxShowsTheFirstStateText)
{
    const QImage shot = Shot();
    EXPECT_EQ(box.MessageStateValue(), 0);
    EXPECT_GT(PixelsNotOf(shot, kFace), 0);
    // The text starts 20 pixels down and 10 across: nothing above or left of it.
    EXPECT_EQ(PixelsNotOf(shot.copy(0, 0, 120, 20), kFace), 0);
    EXPECT_EQ(PixelsNotOf(shot.copy(0, 0, 10, 90), kFace), 0);
}

TEST_F(PictureBoxTest, NoFileMeansTheStateTextOrABlankBox)
{
    box.LoadPicture(dir.filePath("missing.png"), 3);
    EXPECT_FALSE(box.HoldsPicture());
    EXPECT_GT(PixelsNotOf(Shot(), kFace), 0);

    box.LoadPicture(QString(), 6);
    EXPECT_EQ(PixelsNotOf(Shot(), kFace), 0);
}

TEST_F(PictureBoxTest, StretchedPictureFillsTheBoxExactly)
{
    const QString path = WritePicture("wide.png", {400, 50}, Qt::red, Qt::blue);
    box.LoadPicture(path, 6);
    box.SetDrawMode(CPictureBox::Stretched);
    ASSERT_TRUE(box.PictureReadable());
    const QImage shot = Shot();
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(0, 89), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(119, 0), QColor(Qt::blue));
    EXPECT_EQ(shot.pixelColor(119, 89), QColor(Qt::blue));
}

TEST_F(PictureBoxTest, CentredAndTopLeftKeepThePictureSize)
{
    const QString path = WritePicture("small.png", {20, 10}, Qt::green, Qt::green);
    box.LoadPicture(path, 6);

    box.SetDrawMode(CPictureBox::Centred);
    QImage shot = Shot();
    EXPECT_EQ(shot.pixelColor(50, 40), QColor(Qt::green));
    EXPECT_EQ(shot.pixelColor(69, 49), QColor(Qt::green));
    EXPECT_EQ(shot.pixelColor(49, 40), kFace);
    EXPECT_EQ(shot.pixelColor(70, 50), kFace);

    box.SetDrawMode(CPictureBox::TopLeft);
    shot = Shot();
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(shot.pixelColor(19, 9), QColor(Qt::green));
    EXPECT_EQ(shot.pixelColor(20, 10), kFace);
}

TEST_F(PictureBoxTest, UnreadableFileShowsOnlyTheBackground)
{
    QFile junk(dir.filePath("thumbnail.png"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is no picture at all");
    junk.close();
    box.LoadPicture(junk.fileName(), 4);
    EXPECT_TRUE(box.HoldsPicture());
    EXPECT_FALSE(box.PictureReadable());
    EXPECT_EQ(PixelsNotOf(Shot(), kFace), 0) << "neither a picture nor the state text";
}

TEST_F(PictureBoxTest, PictureIsReadByContentWhateverItsName)
{
    const QString png = WritePicture("real.png", {8, 8}, Qt::red, Qt::red);
    const QString misnamed = dir.filePath("picture.jpg");
    ASSERT_TRUE(QFile::copy(png, misnamed));
    box.LoadPicture(misnamed, 6);
    box.SetDrawMode(CPictureBox::Stretched);
    ASSERT_TRUE(box.PictureReadable());
    EXPECT_EQ(Shot().pixelColor(60, 45), QColor(Qt::red));
}

TEST_F(PictureBoxTest, LoadingAgainReplacesThePreviousPicture)
{
    const QString first = WritePicture("first.png", {8, 8}, Qt::red, Qt::red);
    box.LoadPicture(first, 6);
    box.SetDrawMode(CPictureBox::Stretched);
    ASSERT_EQ(Shot().pixelColor(60, 45), QColor(Qt::red));

    // The first file may go at once: nothing of it is kept open.
    ASSERT_TRUE(QFile::remove(first));
    box.LoadPicture(dir.filePath("gone.png"), 4);
    EXPECT_FALSE(box.HoldsPicture());
    const QImage shot = Shot();
    EXPECT_NE(shot.pixelColor(60, 45), QColor(Qt::red));
    EXPECT_GT(PixelsNotOf(shot, kFace), 0) << "the text of state 4";
}

}  // namespace
