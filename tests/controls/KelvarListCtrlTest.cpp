// The Job list tells its parent which item to preview, and the status bar what is under the mouse.
#include "controls/KelvarListCtrl.h"
#include "controls/KelvarTransparentStatic.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidgetItem>

#include <vector>

using namespace tavrin::controls;

namespace {

class KelvarListCtrlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        list.setHeaderLabels({QStringLiteral("File Name")});
        for (const char* path : {"/data/Sales.odb", "/data/Stock.odb", "/home/ann/Staff.odb"})
            list.addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromLatin1(path)}));
        list.resize(400, 300);
        list.show();
        QApplication::processEvents();
        connect();
    }

    void connect()
    {
        QObject::connect(&list, &CKelvarListCtrl::previewRequested, [this](int index) {
            // The list has handled the input itself before it asks: the item is current.
            EXPECT_EQ(list.currentIndex().row(), index);
            previews.push_back(index);
        });
        QObject::connect(&list, &CKelvarListCtrl::statusTextRequested,
                         [this](const QString& text) { statusTexts.push_back(text); });
    }

    QPoint CentreOfRow(int row) const { return list.visualRect(list.model()->index(row, 0)).center(); }
    QPoint BelowTheLastRow() const { return CentreOfRow(2) + QPoint(0, 100); }

    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        QMouseEvent press(QEvent::MouseButtonPress, at, list.viewport()->mapToGlobal(at), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, list.viewport()->mapToGlobal(at), button,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &release);
    }

    void Move(QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, list.viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(list.viewport(), &move);
    }

    void Stroke(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&list, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers);
        QApplication::sendEvent(&list, &release);
    }

    CKelvarListCtrl list;
    std::vector<int> previews;
    std::vector<QString> statusTexts;
};

TEST_F(KelvarListCtrlTest, PressOnAnItemAsksForItsPreview)
{
    Press(CentreOfRow(1));
    EXPECT_EQ(previews, std::vector<int>{1});
    Press(CentreOfRow(2));
    EXPECT_EQ(previews, (std::vector<int>{1, 2}));
}

TEST_F(KelvarListCtrlTest, PressBelowTheLastItemOrWithAnotherButtonAsksForNothing)
{
    Press(BelowTheLastRow());
    Press(CentreOfRow(0), Qt::RightButton);
    Press(CentreOfRow(0), Qt::MiddleButton);
    EXPECT_TRUE(previews.empty());
}

TEST_F(KelvarListCtrlTest, KeyStrokesAskTwiceForTheItemAtTheMark)
{
    struct Case { int start; int key; Qt::KeyboardModifiers modifiers; int expected; };
    for (const Case& c : {Case{0, Qt::Key_Down, Qt::NoModifier, 1}, Case{2, Qt::Key_Up, Qt::NoModifier, 1},
                          Case{1, Qt::Key_Home, Qt::NoModifier, 0},
                          // Modifier keys alone still report the item at the mark.
                          Case{2, Qt::Key_Shift, Qt::ShiftModifier, 2},
                          Case{0, Qt::Key_Control, Qt::ControlModifier, 0}}) {
        list.setCurrentItem(list.topLevelItem(c.start));
        previews.clear();
        Stroke(c.key, c.modifiers);
        EXPECT_EQ(previews, (std::vector<int>{c.expected, c.expected})) << "key " << c.key << " from " << c.start;
    }
}

TEST_F(KelvarListCtrlTest, KeysWithoutAMarkOnAnEmptyListAskForNothing)
{
    list.clear();
    Stroke(Qt::Key_Down);
    Stroke(Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_TRUE(previews.empty());
}

TEST_F(KelvarListCtrlTest, HoverReportsTheFullTextOnlyOverItems)
{
    list.setColumnWidth(0, 60);  // the path no longer fits: the report still carries all of it
    Move(CentreOfRow(2));
    Move(BelowTheLastRow());
    Move(CentreOfRow(0));
    EXPECT_EQ(statusTexts, (std::vector<QString>{"/home/ann/Staff.odb", "/data/Sales.odb"}));
}

TEST(KelvarTransparentStatic, TextLiesOnTheParentWithoutABackgroundOfItsOwn)
{
    QWidget parent;
    parent.resize(200, 60);
    QPalette colours = parent.palette();
    colours.setColor(QPalette::Window, QColor(250, 200, 0));
    parent.setPalette(colours);
    parent.setAutoFillBackground(true);
    auto* label = new CKelvarTransparentStatic(QStringLiteral("Line one\nLine two"), &parent);
    label->setGeometry(10, 5, 180, 50);

    const QImage shot = parent.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Beside the short text, inside the label, the parent's colour shows through.
    EXPECT_EQ(shot.pixelColor(185, 50), QColor(250, 200, 0));
    // Black text, two lines (broken at the line feed, not run together).
    int darkRowsTop = 0;
    int darkRowsBottom = 0;
    for (int y = 5; y < 55; ++y) {
        bool dark = false;
        for (int x = 10; x < 190; ++x)
            dark = dark || shot.pixelColor(x, y) == QColor(Qt::black);
        (y < 5 + label->fontMetrics().height() ? darkRowsTop : darkRowsBottom) += dark;
    }
    EXPECT_GT(darkRowsTop, 0);
    EXPECT_GT(darkRowsBottom, 0);
}

}  // namespace
