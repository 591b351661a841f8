#include "html/HtmlMessageBox.h"
#include "html/DesktopOpener.h"
#include "html/HtmlMessageBoxDlg.h"

#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <vector>

using namespace tavrin;

namespace {

std::vector<int> Ids(const CHtmlMessageBoxDlg& dialog)
{
    std::vector<int> ids;
    for (const auto& info : dialog.Buttons())
        ids.push_back(info.id);
    return ids;
}

int MulDiv(int a, int b, int c) { return (a * b + c / 2) / c; }

// Button cell for a caption by the dialog-unit rule, never below 80 x 23.
QSize CellFor(const QString& caption)
{
    const QSize extent = QFontMetrics(QApplication::font()).size(Qt::TextSingleLine, caption);
    return QSize(MulDiv(extent.width(), 80, 45), MulDiv(extent.height(), 23, 13)).expandedTo(QSize(80, 23));
}

void SendKey(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

} // namespace

TEST(CHtmlMessageBoxDlgTest, ButtonSetsFollowTheStyle)
{
    struct Case { unsigned style; QString custom; std::vector<int> ids; bool cancel; };
    const Case cases[] = {
        {0x40, {}, {IDOK}, true},
        {0x24, {}, {IDYES, IDNO}, false},
        {MB_OKCANCEL, {}, {IDOK, IDCANCEL}, true},
        {MB_ABORTRETRYIGNORE, {}, {IDABORT, IDRETRY, IDIGNORE}, false},
        {MB_YESNOCANCEL | HMB_YESTOALL | HMB_NOTOALL, {}, {IDYES, HMBID_YESTOALL, IDNO, HMBID_NOTOALL, IDCANCEL}, true},
        {MB_YESNO | HMB_NOTOALL, {}, {IDYES, IDNO, HMBID_NOTOALL}, false},
        {MB_CANCELTRYCONTINUE, {}, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}, true},
        {HMB_CONTINUEABORT, {}, {IDCONTINUE, IDABORT}, false},
        {HMB_SKIPSKIPALLCANCEL | MB_HELP, {}, {HMBID_SKIP, HMBID_SKIPALL, IDCANCEL, IDHELP}, true},
        {MB_OKCANCEL, QStringLiteral("One\r\nTwo\n\nThree\nFour\nFive"),
         {HMBID_CUSTOM1, HMBID_CUSTOM2, HMBID_CUSTOM3, HMBID_CUSTOM4}, false},
    };
    for (const Case& c : cases) {
        HtmlMsgBoxParams params = MessageBoxParams(nullptr, QStringLiteral("Text"), QStringLiteral("Tavrin Lumiq"), c.style);
        params.customButtons = c.custom;
        CHtmlMessageBoxDlg dialog(params);
        EXPECT_EQ(Ids(dialog), c.ids) << std::hex << c.style;
        EXPECT_EQ(dialog.CancelAllowed(), c.cancel) << std::hex << c.style;
    }
    HtmlMsgBoxParams custom = MessageBoxParams(nullptr, QStringLiteral("Text"), {}, 0);
    custom.customButtons = QStringLiteral("Keep\r\nDrop");
    CHtmlMessageBoxDlg dialog(custom);
    EXPECT_EQ(dialog.Buttons()[1].button->text(), QStringLiteral("Drop"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Error")) << "no caption and no owner";
}

TEST(CHtmlMessageBoxDlgTest, IconSitsInATableCellBesideTheText)
{
    struct Case { unsigned style; bool icon; };
    for (const Case& c : {Case{0x40, true}, Case{0x24, true}, Case{0x10, true}, Case{0x30, true}, Case{0x00, false}}) {
        CHtmlMessageBoxDlg dialog(MessageBoxParams(nullptr, QStringLiteral("Saved."), QStringLiteral("T"), c.style));
        if (!c.icon) {
            EXPECT_EQ(dialog.MessageHtml(), QStringLiteral("Saved."));
            continue;
        }
        EXPECT_TRUE(dialog.MessageHtml().startsWith(QStringLiteral("<table cellpadding=5><tr><td width=32><icon handle=0x")))
            << dialog.MessageHtml().toStdString();
        EXPECT_TRUE(dialog.MessageHtml().endsWith(QStringLiteral("</td><td>Saved.</td></tr></table>")));
    }
    CHtmlMessageBoxDlg right(MessageBoxParams(nullptr, QStringLiteral("R"), QStringLiteral("T"), MB_RIGHT));
    EXPECT_EQ(right.MessageHtml(), QStringLiteral("<right>R</right>"));
}

TEST(CHtmlMessageBoxDlgTest, SizeAndButtonRowOfAnOkBox)
{
    CHtmlMessageBoxDlg dialog(MessageBoxParams(nullptr, QStringLiteral("x"), QStringLiteral("Tavrin Lumiq"), 0));
    const QSize cell = CellFor(QStringLiteral("OK"));
    EXPECT_EQ(dialog.ButtonCellSize(), cell);
    EXPECT_EQ(dialog.ButtonAreaHeight(), 11 + cell.height());
    // A one-letter message is narrower than the button row.
    EXPECT_EQ(dialog.width(), cell.width() + 11 + 11);
    EXPECT_EQ(dialog.height(), dialog.MessageHeight() + dialog.ButtonAreaHeight());
    EXPECT_GT(dialog.MessageHeight(), 28);
    const QRect ok = dialog.Buttons()[0].button->geometry();
    const int rowX = (dialog.width() - cell.width()) / 2;
    EXPECT_EQ(ok, QRect(rowX + 10, dialog.height() - 11 - cell.height(), cell.width() - 10, cell.height() - 6));
}

TEST(CHtmlMessageBoxDlgTest, YesNoRowAndALongCaptionWidenEveryButton)
{
    HtmlMsgBoxParams params = MessageBoxParams(nullptr, QStringLiteral("Close?"), QStringLiteral("Tavrin Lumiq"), 0x24);
    const QString longCaption = QStringLiteral("Yes, close the program and wipe the workspace");
    params.buttonTexts.insert(IDYES, longCaption);
    CHtmlMessageBoxDlg dialog(params);
    const QSize cell = CellFor(longCaption);
    ASSERT_GT(cell.width(), 80);
    EXPECT_EQ(dialog.ButtonCellSize(), cell);
    const QRect yes = dialog.Buttons()[0].button->geometry();
    const QRect no = dialog.Buttons()[1].button->geometry();
    EXPECT_EQ(yes.size(), no.size()) << "all buttons share one size";
    EXPECT_EQ(yes.width(), cell.width() - 10);
    EXPECT_EQ(no.left() - (yes.right() + 1), 11) << "neighbours are 11 apart";
    EXPECT_EQ(yes.top(), no.top());
    EXPECT_GE(dialog.width(), 2 * (cell.width() + 11) + 11);

    CHtmlMessageBoxDlg plain(MessageBoxParams(nullptr, QStringLiteral("Close?"), QStringLiteral("T"), 0x24));
    EXPECT_EQ(plain.ButtonCellSize(), CellFor(QStringLiteral("Yes")).expandedTo(CellFor(QStringLiteral("No"))));
}

TEST(CHtmlMessageBoxDlgTest, TextLinesSetTheMessageSize)
{
    const auto heightOf = [](const QString& text) {
        CHtmlMessageBoxDlg dialog(MessageBoxParams(nullptr, text, QStringLiteral("T"), 0));
        return dialog.MessageHeight();
    };
    const int one = heightOf(QStringLiteral("Access is denied."));
    EXPECT_EQ(heightOf(QStringLiteral("Access is denied.\r\n")), one) << "a final line end only ends the line";
    EXPECT_GT(heightOf(QStringLiteral("Access is denied.\nSecond line")), one);

    CHtmlMessageBoxDlg narrow(MessageBoxParams(nullptr, QStringLiteral("short\nshort"), QStringLiteral("T"), 0));
    CHtmlMessageBoxDlg wide(MessageBoxParams(
        nullptr, QStringLiteral("short\nA rather longer line that sets the width of the whole box"), QStringLiteral("T"), 0));
    EXPECT_GT(wide.width(), narrow.width()) << "the box is as wide as the longest line";
    CHtmlMessageBoxDlg empty(MessageBoxParams(nullptr, QString(), QStringLiteral("T"), 0));
    EXPECT_EQ(empty.MessageHeight(), 0);
}

TEST(CHtmlMessageBoxDlgTest, EscapeAndEnter)
{
    struct Case { unsigned style; int key; bool closes; int result; };
    const Case cases[] = {
        {0x40, Qt::Key_Escape, true, IDCANCEL},
        {0x24, Qt::Key_Escape, false, 0},
        {0x40, Qt::Key_Return, true, IDOK},
        {0x24, Qt::Key_Return, true, IDYES},
        {0x24 | MB_DEFBUTTON2, Qt::Key_Enter, true, IDNO},
        {0x24 | MB_DEFBUTTON4, Qt::Key_Return, true, IDYES}, // beyond the row: the first
        {MB_YESNOCANCEL, Qt::Key_Escape, true, IDCANCEL},
    };
    for (const Case& c : cases) {
        CHtmlMessageBoxDlg dialog(MessageBoxParams(nullptr, QStringLiteral("Question"), QStringLiteral("T"), c.style));
        dialog.show();
        QApplication::processEvents();
        SendKey(&dialog, c.key);
        EXPECT_EQ(dialog.isVisible(), !c.closes) << std::hex << c.style << " key " << c.key;
        EXPECT_EQ(dialog.result(), c.result) << std::hex << c.style << " key " << c.key;
    }
}

TEST(CHtmlMessageBoxDlgTest, CloseBoxFollowsTheCancelRule)
{
    CHtmlMessageBoxDlg yesNo(MessageBoxParams(nullptr, QStringLiteral("Q"), QStringLiteral("T"), 0x24));
    EXPECT_FALSE(yesNo.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    yesNo.show();
    yesNo.close();
    EXPECT_TRUE(yesNo.isVisible());

    CHtmlMessageBoxDlg ok(MessageBoxParams(nullptr, QStringLiteral("I"), QStringLiteral("T"), 0x40));
    EXPECT_TRUE(ok.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    ok.show();
    ok.close();
    EXPECT_FALSE(ok.isVisible());
    EXPECT_EQ(ok.result(), IDCANCEL);
}

TEST(CHtmlMessageBoxDlgTest, HtmlMessageBoxReturnsThePressedButton)
{
    struct Case { unsigned style; int key; int result; };
    for (const Case& c : {Case{0x24, Qt::Key_Return, IDYES}, Case{0x40, Qt::Key_Escape, IDCANCEL}}) {
        QMetaObject::invokeMethod(qApp, [key = c.key] {
            if (QWidget* box = QApplication::activeModalWidget())
                SendKey(box, key);
        }, Qt::QueuedConnection);
        EXPECT_EQ(HtmlMessageBox(nullptr, QStringLiteral("Continue?"), QStringLiteral("Tavrin Lumiq"),
                                 c.style | HMB_NOSOUND),
                  c.result);
    }
}

namespace {

// Presses the key on the next modal box; until one is open it queues itself again.
void PressOnNextBox(int key)
{
    QMetaObject::invokeMethod(qApp, [key] {
        if (QWidget* box = QApplication::activeModalWidget())
            SendKey(box, key);
        else
            PressOnNextBox(key);
    }, Qt::QueuedConnection);
}

} // namespace

TEST(CHtmlMessageBoxDlgTest, WorkerThreadCallsRunOnTheGuiThread)
{
    std::atomic<int> result{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        PressOnNextBox(Qt::Key_Return);
        result = HtmlMessageBox(nullptr, QStringLiteral("Overwrite?"), QStringLiteral("Tavrin Lumiq"), 0x24 | HMB_NOSOUND);
        done = true;
    });
    while (!done)
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    worker.join();
    EXPECT_EQ(result.load(), IDYES);
}

TEST(CHtmlMessageBoxDlgTest, BackgroundIsTheYellowBump)
{
    CHtmlMessageBoxDlg dialog(MessageBoxParams(nullptr, QStringLiteral("."), QStringLiteral("T"), 0));
    const QImage shot = dialog.grab().toImage();
    const int y = 3; // in the message margin
    EXPECT_EQ(shot.pixel(0, y), qRgb(0xFD, 0xEC, 0x51)) << "gold at the left edge";
    const QRgb middle = shot.pixel(shot.width() / 2, y);
    EXPECT_NEAR(qBlue(middle), 0xA9, 2) << "light yellow in the middle";
    EXPECT_NEAR(qBlue(shot.pixel(shot.width() - 1, y)), 0x51, 8) << "nearly gold at the right edge";
}

TEST(CHtmlMessageBoxDlgTest, MoreOpensAndClosesTheDetails)
{
    HtmlMsgBoxParams params = MessageBoxParams(nullptr, QStringLiteral("Failed."), QStringLiteral("T"), 0);
    params.moreText = QStringLiteral("Line one\nLine two");
    CHtmlMessageBoxDlg dialog(params);
    ASSERT_EQ(Ids(dialog), (std::vector<int>{IDOK, HMBID_MORE}));
    QPushButton* more = dialog.Buttons()[1].button;
    EXPECT_EQ(more->text(), QStringLiteral("More >>"));
    const int closedHeight = dialog.height();
    ASSERT_GT(dialog.DetailsHeight(), 28);
    more->click();
    EXPECT_TRUE(dialog.DetailsOpen());
    EXPECT_EQ(dialog.height(), closedHeight + dialog.DetailsHeight());
    EXPECT_EQ(more->text(), QStringLiteral("<< More"));
    more->click();
    EXPECT_EQ(dialog.height(), closedHeight);
    EXPECT_EQ(more->text(), QStringLiteral("More >>"));
}

TEST(CHtmlMessageBoxDlgTest, CountdownsClickOrReleaseTheDefaultButton)
{
    HtmlMsgBoxParams params = MessageBoxParams(nullptr, QStringLiteral("Auto"), QStringLiteral("T"), MB_OKCANCEL);
    params.autoClickSeconds = 2;
    CHtmlMessageBoxDlg autoClick(params);
    autoClick.show();
    EXPECT_EQ(autoClick.Buttons()[0].button->text(), QStringLiteral("OK = 2"));
    autoClick.OnTimer();
    EXPECT_EQ(autoClick.Buttons()[0].button->text(), QStringLiteral("OK = 1"));
    EXPECT_TRUE(autoClick.isVisible());
    autoClick.OnTimer();
    EXPECT_FALSE(autoClick.isVisible());
    EXPECT_EQ(autoClick.result(), IDOK);

    params.autoClickSeconds = 0;
    params.disabledSeconds = 2;
    params.countdownInCaption = true;
    CHtmlMessageBoxDlg waiting(params);
    EXPECT_EQ(waiting.windowTitle(), QStringLiteral("T (2 seconds remaining)"));
    EXPECT_FALSE(waiting.Buttons()[0].button->isEnabled());
    EXPECT_FALSE(waiting.Buttons()[1].button->isEnabled());
    EXPECT_FALSE(waiting.CloseEnabled());
    waiting.show();
    waiting.reject();
    EXPECT_TRUE(waiting.isVisible()) << "no closing while the caption counts down";
    waiting.OnTimer();
    EXPECT_EQ(waiting.windowTitle(), QStringLiteral("T (1 seconds remaining)"));
    waiting.OnTimer();
    EXPECT_EQ(waiting.windowTitle(), QStringLiteral("T"));
    EXPECT_TRUE(waiting.Buttons()[0].button->isEnabled());
    EXPECT_TRUE(waiting.Buttons()[1].button->isEnabled());
    EXPECT_TRUE(waiting.CloseEnabled());
    EXPECT_TRUE(waiting.isVisible()) << "the end of the countdown keeps the box open";
    waiting.reject();
    EXPECT_FALSE(waiting.isVisible());
    EXPECT_EQ(waiting.result(), IDCANCEL);
}

namespace {

// Moves the mouse over the dialog row by row until the cursor turns into the hand.
QPoint FindLink(CHtmlMessageBoxDlg& dialog)
{
    for (int y = 0; y < dialog.height(); y += 2) {
        for (int x = 0; x < dialog.width(); x += 3) {
            QMouseEvent move(QEvent::MouseMove, QPointF(x, y), dialog.mapToGlobal(QPointF(x, y)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&dialog, &move);
            if (dialog.cursor().shape() == Qt::PointingHandCursor)
                return {x, y};
        }
    }
    return {-1, -1};
}

} // namespace

TEST(CHtmlMessageBoxDlgTest, SaveReportLinkOpensTheFolder)
{
    const QString folder = QStringLiteral("/tmp/Repaired files");
    const QString report = QStringLiteral("File(s) saving process has been completed.Saved file(s) location is:<br><a href='")
        + folder + QStringLiteral("'>") + folder + QStringLiteral("</a>");
    std::vector<QUrl> opened;
    const DesktopOpenFunction previous = SetDesktopOpener([&opened](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    QWidget mainWindow;
    mainWindow.setWindowTitle(QStringLiteral("Main"));
    CHtmlMessageBoxDlg dialog(MessageBoxParams(&mainWindow, report, QStringLiteral("Tavrin Lumiq"), 0x40), &mainWindow);
    dialog.show();
    QApplication::processEvents();
    const QImage before = dialog.grab().toImage();
    const QPoint link = FindLink(dialog);
    ASSERT_NE(link, QPoint(-1, -1)) << "no link found in the report";
    EXPECT_NE(dialog.grab().toImage(), before) << "the hovered link is drawn differently";

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(link), dialog.mapToGlobal(QPointF(link)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &press);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(folder));
    EXPECT_TRUE(dialog.isVisible()) << "the box stays open";

    QMouseEvent elsewhere(QEvent::MouseButtonPress, QPointF(2, 2), dialog.mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &elsewhere);
    EXPECT_EQ(opened.size(), 1u) << "a click beside the link opens nothing";
    SetDesktopOpener(previous);
}

TEST(CHtmlMessageBoxDlgTest, CheckedBoxRemembersTheAnswer)
{
    QTemporaryDir settingsDir;
    ASSERT_TRUE(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());

    HtmlMsgBoxParams params = MessageBoxParams(nullptr, QStringLiteral("Overwrite?"), QStringLiteral("T"),
                                               0x24 | HMB_CHECKBOX | HMB_NOSOUND);
    params.moduleName = QStringLiteral("saver");
    params.lineNumber = 42;
    EXPECT_EQ(CHtmlMessageBoxDlg::RememberedAnswer(params), 0);
    {
        CHtmlMessageBoxDlg dialog(params);
        ASSERT_NE(dialog.CheckBox(), nullptr);
        EXPECT_FALSE(dialog.CheckBox()->isChecked());
        EXPECT_EQ(dialog.ButtonAreaHeight(), 11 + 24 + dialog.ButtonCellSize().height());
        const QRect box = dialog.CheckBox()->geometry();
        const QRect yes = dialog.Buttons()[0].button->geometry();
        EXPECT_EQ(box, QRect(10, dialog.height() - 11 - (11 + dialog.ButtonCellSize().height()) - 13, 13, 13))
            << "above the buttons";
        EXPECT_LT(box.bottom(), yes.top());
        dialog.CheckBox()->setChecked(true);
        dialog.Buttons()[1].button->click();
        EXPECT_EQ(dialog.result(), IDNO | static_cast<int>(HMB_CHECKBOXCHECKED));
    }
    const int remembered = IDNO | static_cast<int>(HMB_CHECKBOXCHECKED);
    EXPECT_EQ(CHtmlMessageBoxDlg::RememberedAnswer(params), remembered);
    EXPECT_EQ(HtmlMessageBoxIndirect(params), remembered) << "answered without a box";

    HtmlMsgBoxParams otherLine = params;
    otherLine.lineNumber = 43;
    EXPECT_EQ(CHtmlMessageBoxDlg::RememberedAnswer(otherLine), 0);
    HtmlMsgBoxParams unchecked = params;
    unchecked.style &= ~HMB_CHECKBOX;
    EXPECT_EQ(CHtmlMessageBoxDlg::RememberedAnswer(unchecked), 0) << "only boxes with the check box remember";
}

TEST(CHtmlMessageBoxDlgTest, AreasAndSeparators)
{
    HtmlMsgBoxParams params = MessageBoxParams(nullptr, QStringLiteral("Body"), QStringLiteral("T"), 0);
    params.headerHeight = 60;
    params.headerText = QStringLiteral("<b>Head</b>");
    params.headerArea.effect = kEffectSolid;
    params.headerArea.color1 = 0x00FFFFFF;
    params.headerArea.separator = kSeparatorBlack;
    params.buttonArea.separator = kSeparatorBlack;
    params.moreText = QStringLiteral("Details");
    params.moreArea.separator = kSeparatorBlack;
    CHtmlMessageBoxDlg dialog(params);
    EXPECT_EQ(dialog.HeaderHeight(), 60) << "the minimum beats a one-line header";
    EXPECT_EQ(dialog.ButtonAreaHeight(), 11 + 11 + dialog.ButtonCellSize().height())
        << "an area with a separator gets an extra margin";
    const QImage shot = dialog.grab().toImage();
    const int w = shot.width();
    EXPECT_EQ(shot.pixel(w / 2, 10), qRgb(255, 255, 255)) << "header's own background";
    const int line = 60 + dialog.MessageHeight();
    EXPECT_EQ(shot.pixel(5, line), qRgb(0, 0, 0)) << "button separator starts 5 in";
    EXPECT_EQ(shot.pixel(w - 6, line), qRgb(0, 0, 0));
    EXPECT_NE(shot.pixel(4, line), qRgb(0, 0, 0));
    EXPECT_NE(shot.pixel(w - 5, line), qRgb(0, 0, 0));
    bool headerLine = false;
    for (int y = 55; y < 60; ++y)
        headerLine = headerLine || shot.pixel(w / 2, y) == qRgb(0, 0, 0);
    EXPECT_TRUE(headerLine) << "header separator along its bottom edge";

    const int closed = dialog.height();
    dialog.OnCommand(HMBID_MORE);
    const QImage open = dialog.grab().toImage();
    EXPECT_EQ(open.pixel(w / 2, closed), qRgb(0, 0, 0)) << "details separator along its top edge";
}

TEST(CHtmlMessageBoxDlgTest, CopyPutsTheCaptionAndThePlainMessageOnTheClipboard)
{
    HtmlMsgBoxParams params = MessageBoxParams(
        nullptr, QStringLiteral("<b>3 files</b> saved in <font color=\"red\">/tmp/out</font><br>Done."),
        QStringLiteral("Tavrin Lumiq"), 0x40);
    CHtmlMessageBoxDlg dialog(params);
    QApplication::clipboard()->clear();
    QAction* copy = dialog.findChild<QAction*>(QStringLiteral("CopyText"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->shortcut(), QKeySequence(QKeySequence::Copy));
    copy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Tavrin Lumiq\n\n3 files saved in /tmp/out\nDone."));
}
