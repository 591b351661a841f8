// The application shell: one instance per user, the stored look, the frame's command
// rules and shortcuts, closing, help, the logo and the About box.
#include "app/AboutDlg.h"
#include "app/ApplicationLook.h"
#include "app/CommandIds.h"
#include "app/HelpDocument.h"
#include "app/MainFrame.h"
#include "app/QuenmarApp.h"
#include "app/QuenmarDoc.h"
#include "app/SingleInstanceGuard.h"
#include "controls/KelvarTransparentStatic.h"
#include "controls/LinkLabel.h"
#include "engine/Workspace.h"
#include "html/DesktopOpener.h"
#include "view/QuenmarView.h"
#include "view/ViewSeams.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace tavrin::app {
namespace {

// A private settings store, Workspace and set of desktop dialogs for each test.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
        SetWorkspaceRootOverride(dir.filePath(QStringLiteral("BsTmp")).toStdString());
        view::SetMessageBoxFunction([this](QWidget*, const QString& html, const QString&, unsigned style) {
            messages << html;
            styles.push_back(style);
            return (style & 0xF) == 0x4 ? answerYesNo : 1;
        });
        view::SetOpenFilesFunction([this](QWidget*) {
            ++openDialogs;
            return QStringList{};
        });
        SetDesktopOpener([this](const QUrl& url) {
            opened << url;
            return true;
        });
    }
    void TearDown() override
    {
        view::SetMessageBoxFunction({});
        view::SetOpenFilesFunction({});
        SetDesktopOpener({});
        SetWorkspaceRootOverride({});
    }

    QTemporaryDir dir;
    QStringList messages;
    std::vector<unsigned> styles;
    QList<QUrl> opened;
    int openDialogs = 0;
    int answerYesNo = 6;
};

CMainFrame::Options NoSplash()
{
    CMainFrame::Options options;
    options.showSplash = false;
    return options;
}

TEST(SingleInstance, ASecondLockIsRefusedUntilTheFirstGoes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    {
        SingleInstanceGuard first(path);
        EXPECT_FALSE(first.AnotherInstanceRunning());
        SingleInstanceGuard second(path);
        EXPECT_TRUE(second.AnotherInstanceRunning());
    }
    SingleInstanceGuard third(path);
    EXPECT_FALSE(third.AnotherInstanceRunning());
}

TEST(SingleInstance, TheLockOfAnInstanceThatDiedIsTakenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QFile lock(path);
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QStringLiteral("%1\ntavrin-lumiq\n%2\n").arg(deadPid).arg(QSysInfo::machineHostName()).toUtf8());
    lock.close();

    SingleInstanceGuard guard(path);
    EXPECT_FALSE(guard.AnotherInstanceRunning());
}

TEST_F(ShellTest, SecondStartShowsNoWindowAndCommandLineFilesGoToTheJobList)
{
    const QString lockPath = dir.filePath(QStringLiteral("app.lock"));
    CQuenmarApp::Options options;
    options.lockPath = lockPath;
    options.showSplash = false;
    options.showInstanceNotice = false;
    CQuenmarApp first(options);
    ASSERT_TRUE(first.InitInstance({QStringLiteral("/data/Sales.odb"), QStringLiteral("/data/Stock.odb")}));
    QCoreApplication::processEvents();
    EXPECT_EQ(first.MainFrame()->WorkView()->JobCount(), 2);
    EXPECT_EQ(openDialogs, 0);

    CQuenmarApp second(options);
    EXPECT_FALSE(second.InitInstance({}));
    EXPECT_EQ(second.MainFrame(), nullptr);
}

TEST_F(ShellTest, StartWithoutFilesOpensSelectFilesAtOnce)
{
    CQuenmarApp::Options options;
    options.lockPath = dir.filePath(QStringLiteral("app.lock"));
    options.showSplash = false;
    CQuenmarApp app(options);
    ASSERT_TRUE(app.InitInstance({}));
    QCoreApplication::processEvents();
    EXPECT_EQ(openDialogs, 1);
}

TEST(CommandLine, FilesBecomeAbsolutePaths)
{
    const QStringList files = CQuenmarApp::FilesFromArguments(
        {QStringLiteral("tavrin-lumiq"), QStringLiteral("/data/../data/A.odb"), QStringLiteral("b.odb")});
    EXPECT_EQ(files, (QStringList{QStringLiteral("/data/A.odb"), QDir::current().absoluteFilePath(QStringLiteral("b.odb"))}));
}

TEST_F(ShellTest, LookIsTheDefaultOnAFreshProfileAndTheChosenOneAfterARestart)
{
    EXPECT_EQ(LoadApplicationLook(), kDefaultLook);
    {
        CMainFrame frame(NoSplash());
        EXPECT_EQ(frame.CurrentLook(), 215);
        frame.ExecuteCommand(ID_VIEW_APPLOOK_OFF_2007_BLACK);
        EXPECT_TRUE(frame.CommandAction(ID_VIEW_APPLOOK_OFF_2007_BLACK)->isChecked());
        EXPECT_FALSE(frame.CommandAction(ID_VIEW_APPLOOK_OFF_2007_BLUE)->isChecked());
    }
    CMainFrame restarted(NoSplash());
    EXPECT_EQ(restarted.CurrentLook(), 216);

    for (const QVariant& stored : {QVariant(999), QVariant(209), QVariant(QStringLiteral("blue"))}) {
        OpenSettings()->setValue(QStringLiteral("ApplicationLook"), stored);
        EXPECT_EQ(LoadApplicationLook(), kDefaultLook) << stored.toString().toStdString();
    }
}

TEST_F(ShellTest, MenuCommandsFollowTheViewFlagsAndTheShortcutsGoWhereTheDocumentSends)
{
    CMainFrame frame(NoSplash());
    auto enabled = [&](int id) { return frame.CommandAction(id)->isEnabled(); };
    EXPECT_TRUE(enabled(ID_FILE_SELECT_FILES));
    for (int id : {ID_FILE_REMOVE_FILES, ID_FILE_REPAIR_FILES, ID_FILE_BROWSE_FOLDER, ID_FILE_SAVE_FILES})
        EXPECT_FALSE(enabled(id)) << id;

    auto* document = frame.findChild<CQuenmarDoc*>();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->Shortcut(ID_FILE_OPEN)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(document->Shortcut(ID_FILE_SAVE)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    // The menu only shows the keys; no menu command owns them.
    EXPECT_TRUE(frame.CommandAction(ID_FILE_REMOVE_FILES)->shortcut().isEmpty());
    EXPECT_TRUE(frame.CommandAction(ID_FILE_REPAIR_FILES)->shortcut().isEmpty());

    // Ctrl+S before any repair: Save is disabled, so nothing happens.
    const QString logBefore = frame.WorkView()->LogText();
    document->Shortcut(ID_FILE_SAVE)->trigger();
    EXPECT_FALSE(frame.WorkView()->BatchRunning());
    EXPECT_EQ(frame.WorkView()->LogText(), logBefore);
    EXPECT_TRUE(messages.isEmpty());

    // Ctrl+O opens the Select files dialog, not Remove files.
    document->Shortcut(ID_FILE_OPEN)->trigger();
    EXPECT_EQ(openDialogs, 1);
    EXPECT_TRUE(messages.isEmpty());

    frame.WorkView()->AddSelectedFiles({QStringLiteral("/data/Sales.odb")});
    EXPECT_TRUE(enabled(ID_FILE_REMOVE_FILES));
    EXPECT_TRUE(enabled(ID_FILE_REPAIR_FILES));
    EXPECT_FALSE(enabled(ID_FILE_SAVE_FILES));

    // While a batch runs, the menu's Select files is refused.
    frame.WorkView()->SetSelectEnabled(false);
    frame.ExecuteCommand(ID_FILE_SELECT_FILES);
    EXPECT_EQ(openDialogs, 1);
}

TEST_F(ShellTest, ClosingIsRefusedWhileRunningAskedOtherwiseAndWipesTheWorkspace)
{
    CMainFrame frame(NoSplash());
    frame.show();
    const QString root = QString::fromStdString(GetWorkspaceRoot());
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/Sales.odb.0")));

    frame.RunningFlag() = 1;
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(messages, QStringList{QStringLiteral("Please stop the running process before closing the application.")});
    EXPECT_EQ(styles.back(), 0x40u);

    frame.RunningFlag() = 0;
    messages.clear();
    answerYesNo = 7;
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(messages, QStringList{QStringLiteral("Do you really want to exit the application?")});
    EXPECT_EQ(styles.back(), 0x24u);
    EXPECT_TRUE(QFileInfo::exists(root));

    answerYesNo = 6;
    EXPECT_TRUE(frame.close());
    EXPECT_FALSE(QFileInfo::exists(root));
}

// Hovered log text holds names from damaged packages: markup in them stays text, so a
// name like <img src=...> loads no picture.
TEST_F(ShellTest, StatusBarShowsHoveredTextAsPlainText)
{
    CMainFrame frame(NoSplash());
    const QString hostile = QStringLiteral("p.odb member <img src=\"/etc/passwd\"><b>x</b> is cut short");
    frame.ShowStatusText(hostile);
    auto* pane = frame.findChild<QLabel*>(QStringLiteral("StatusPane0"));
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->textFormat(), Qt::PlainText);
    EXPECT_EQ(frame.StatusText(), hostile);
}

TEST_F(ShellTest, MissingHelpDocumentIsReported)
{
    if (!FindHelpDocument().isEmpty())
        GTEST_SKIP() << "a help document is installed on this machine";
    CMainFrame frame(NoSplash());
    frame.ExecuteCommand(ID_HELP_SOFTWARE_HELP);
    EXPECT_EQ(messages,
              QStringList{QStringLiteral("Tavrin Lumiq help file not found, please re-install the software. ")});
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(ShellTest, WindowStopsAtItsMinimumAndTheLogoKeepsToTheTopRight)
{
    CMainFrame frame(NoSplash());
    EXPECT_EQ(frame.minimumSize(), QSize(650, 450));
    frame.resize(1000, 700);
    frame.show();
    EXPECT_EQ(frame.Logo()->geometry(), QRect(750, 28, 245, 50));
    frame.resize(400, 300);
    EXPECT_EQ(frame.size(), QSize(650, 450));
    EXPECT_EQ(frame.Logo()->geometry(), QRect(400, 28, 245, 50));

    QEvent enter(QEvent::Enter);
    frame.ShowStatusText(QString());
    QCoreApplication::sendEvent(frame.Logo(), &enter);
    EXPECT_EQ(frame.StatusText(), QStringLiteral("Tavrin Lumiq"));
    EXPECT_EQ(frame.Logo()->cursor().shape(), Qt::PointingHandCursor);
    frame.ExecuteCommand(ID_LOGO);
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QString::fromUtf8(kMakerWebSite))});
}

TEST(AboutBox, ShowsTheProductItsVersionAndTheThreeLinks)
{
    CAboutDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Tavrin Lumiq v1.0"));
    QStringList texts;
    for (const auto* label : dialog.findChildren<CKelvarTransparentStatic*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Tavrin Lumiq v1.0")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Tavrin Lumiq Software")));
    QStringList targets;
    for (const auto* link : dialog.findChildren<CLinkLabel*>()) {
        targets << link->LinkTarget();
        EXPECT_EQ(link->GetUnderlineMode(), CLinkLabel::UnderlineAlways);
    }
    EXPECT_EQ(targets, (QStringList{QString::fromUtf8(kMakerWebSite), QString::fromUtf8(kSupportMail),
                                    QString::fromUtf8(kSalesMail)}));
    EXPECT_EQ(CAboutDlg::DialogUnitsToPixels(0, 0, 234, 201).size(), QSize(351, 327));
}

} // namespace
} // namespace tavrin::app
