// The application shell: one instance per user, the stored look, the frame's command
// rules and shortcuts, closing, help, the logo and the About box.
#include "app/AboutDlg.h"
#include "app/ApplicationLook.h"
#include "app/CommandIds.h"
#include "app/FileHandOver.h"
#include "app/LaunchArguments.h"
#include "app/HelpDocument.h"
#include "app/LockKeyState.h"
#include "app/MainFrame.h"
#include "app/QuenmarApp.h"
#include "app/QuenmarDoc.h"
#include "app/SingleInstanceGuard.h"
#include "controls/EstProgressCtrl.h"
#include "controls/KelvarTransparentStatic.h"
#include "controls/LinkLabel.h"
#include "controls/PromptEdit.h"
#include "engine/Workspace.h"
#include "html/DesktopOpener.h"
#include "html/HelpDocumentLocation.h"
#include "view/QuenmarView.h"
#include "view/ViewSeams.h"

#include <QAccessible>
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QDir>
#include <QFile>
#include <QAbstractScrollArea>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QLocalSocket>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <future>
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

// A second start runs in another process; here its sending side runs on a thread of
// its own while this thread serves the first instance's window.
bool SendFromSecondStart(CQuenmarApp::Options options, const QStringList& files)
{
    auto started = std::async(std::launch::async, [options, files] {
        CQuenmarApp second(options);
        return second.InitInstance(files);
    });
    while (started.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return started.get();
}

TEST_F(ShellTest, SecondStartWithFilesHandsThemToTheRunningWindow)
{
    CQuenmarApp::Options options;
    options.lockPath = dir.filePath(QStringLiteral("app.lock"));
    options.showSplash = false;
    options.showInstanceNotice = false;
    CQuenmarApp first(options);
    ASSERT_TRUE(first.InitInstance({QStringLiteral("/data/Sales.odb")}));
    view::CQuenmarView* view = first.MainFrame()->WorkView();

    EXPECT_FALSE(SendFromSecondStart(options, {QStringLiteral("/data/Stock.odb"), QStringLiteral("/data/Sales.odb")}));
    QCoreApplication::processEvents();
    ASSERT_EQ(view->JobCount(), 2);
    EXPECT_EQ(view->JobPath(1), "/data/Stock.odb");
    // The same file again is refused the way the file dialog refuses it.
    EXPECT_EQ(messages, QStringList{QStringLiteral("/data/Sales.odbalready exist in the list.")});
    EXPECT_TRUE(first.MainFrame()->CommandEnabled(ID_FILE_REPAIR_FILES));

    // While a batch runs, handed files wait for its end instead of being lost.
    first.MainFrame()->RunningFlag() = 1;
    EXPECT_FALSE(SendFromSecondStart(options, {QStringLiteral("/data/Late.odb")}));
    QCoreApplication::processEvents();
    EXPECT_EQ(view->JobCount(), 2);
    first.MainFrame()->RunningFlag() = 0;
    emit view->batchFinished();
    EXPECT_EQ(view->JobCount(), 3);
}

TEST(FileHandOverChannel, NothingListensAfterTheFirstInstanceWentAndStrayClientsAreIgnored)
{
    QTemporaryDir dir;
    const QString socket = FileHandOver::SocketPathForLock(dir.filePath(QStringLiteral("app.lock")));
    EXPECT_TRUE(socket.endsWith(QStringLiteral("app.socket")));
    EXPECT_FALSE(FileHandOver::Send(socket, {QStringLiteral("/a.odb")}, 200));

    // A socket file left by an instance that died does not keep the next one from listening.
    QStringList received;
    {
        FileHandOver dead;
        ASSERT_TRUE(dead.Listen(socket));
    }
    FileHandOver server;
    ASSERT_TRUE(server.Listen(socket));
    QObject::connect(&server, &FileHandOver::filesReceived, [&](const QStringList& files) { received << files; });

    auto send = [&](auto&& client) {
        auto done = std::async(std::launch::async, client);
        while (done.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            QCoreApplication::processEvents();
        return done.get();
    };
    EXPECT_FALSE(send([&] {
        QLocalSocket stray;
        stray.connectToServer(socket);
        if (!stray.waitForConnected(1000))
            return true;
        stray.write("GET / HTTP/1.0\r\n\r\n");
        stray.waitForBytesWritten(1000);
        return stray.waitForReadyRead(300) && stray.bytesAvailable() > 0;
    }));
    EXPECT_TRUE(received.isEmpty());
    EXPECT_TRUE(send([&] { return FileHandOver::Send(socket, {QStringLiteral("/x y/ä.odb")}); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(received, QStringList{QStringLiteral("/x y/ä.odb")});
}

TEST(CommandLine, HelpVersionUnknownOptionsAndFilesAfterTheDoubleHyphen)
{
    const struct {
        QStringList arguments;
        bool help, version;
        bool error;
        QStringList files;
    } cases[] = {
        {{QStringLiteral("--help")}, true, false, false, {}},
        {{QStringLiteral("-h"), QStringLiteral("/a.odb")}, true, false, false, {QStringLiteral("/a.odb")}},
        {{QStringLiteral("--version")}, false, true, false, {}},
        {{QStringLiteral("-v")}, false, true, false, {}},
        {{QStringLiteral("--frobnicate"), QStringLiteral("/a.odb")}, false, false, true, {QStringLiteral("/a.odb")}},
        {{QStringLiteral("--"), QStringLiteral("--help"), QStringLiteral("/-v")}, false, false, false,
         {QDir::current().absoluteFilePath(QStringLiteral("--help")), QStringLiteral("/-v")}},
    };
    for (const auto& c : cases) {
        const LaunchArguments parsed = ParseLaunchArguments(QStringList{QStringLiteral("tavrin-lumiq")} + c.arguments);
        const std::string label = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(parsed.help, c.help) << label;
        EXPECT_EQ(parsed.version, c.version) << label;
        EXPECT_EQ(!parsed.error.isEmpty(), c.error) << label;
        EXPECT_EQ(parsed.files, c.files) << label;
    }
    EXPECT_TRUE(LaunchHelpText().contains(QStringLiteral("--version")));
}

TEST(CommandLine, HelpAndVersionPrintWithoutADisplayAndAddNoJob)
{
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("--version")}) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TAVRIN_BINARY_DIR "/app/tavrin-lumiq"), {option});
        ASSERT_TRUE(program.waitForFinished(10000)) << option.toStdString();
        EXPECT_EQ(program.exitCode(), 0) << option.toStdString();
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        EXPECT_TRUE(out == LaunchHelpText() || out == LaunchVersionText()) << out.toStdString();
    }
}

TEST(CommandLine, ManualPageListsEveryOptionOfTheHelp)
{
    QFile page(QStringLiteral(TAVRIN_SOURCE_DIR "/app/tavrin-lumiq.1"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
    const QRegularExpression option(QStringLiteral("^\\s+(-\\w)?,?\\s*(--[a-z-]*)"),
                                    QRegularExpression::MultilineOption);
    int seen = 0;
    for (auto it = option.globalMatch(LaunchHelpText()); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        for (int group : {1, 2}) {
            if (match.captured(group).isEmpty())
                continue;
            ++seen;
            EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("(^|[^-\\w])") + match.captured(group) +
                                                         QStringLiteral("([^-\\w]|$)"))))
                << match.captured(group).toStdString();
        }
    }
    EXPECT_GE(seen, 5);
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

// WCAG contrast ratio of two colours.
double Contrast(const QColor& a, const QColor& b)
{
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double x = luminance(a) + 0.05;
    const double y = luminance(b) + 0.05;
    return std::max(x, y) / std::min(x, y);
}

TEST_F(ShellTest, ProgressBarsAndTheirEstimateAreReadableInEveryLook)
{
    for (int look = kFirstLook; look <= kLastLook; ++look) {
        ApplyApplicationLook(look);
        CMainFrame frame(NoSplash());
        for (const char* name : {"FileProgress", "TotalProgress"}) {
            auto* bar = qobject_cast<controls::CEstProgressCtrl*>(frame.WorkView()->Control(name));
            ASSERT_NE(bar, nullptr);
            // The colours the control paints with: field, bar, and the estimate text,
            // white over the bar and the field combined with the bar's complement elsewhere.
            const QColor field = bar->palette().color(QPalette::Button);
            const QColor fill = bar->palette().color(QPalette::Highlight);
            const QColor textOverField = QColor::fromRgb((field.rgb() ^ ~fill.rgb()) & 0xFFFFFFu);
            EXPECT_GE(Contrast(field, fill), 3.0) << look << " " << name;
            EXPECT_GE(Contrast(Qt::white, fill), 4.5) << look << " " << name;
            EXPECT_GE(Contrast(field, textOverField), 4.5) << look << " " << name;
        }
    }
    ApplyApplicationLook(kDefaultLook);
}

TEST_F(ShellTest, TheSaveGroupLooksDisabledUntilARepair)
{
    CMainFrame frame(NoSplash());
    // The colour each control draws its text with: the check box's label, the edit's text.
    const struct {
        const char* name;
        QPalette::ColorRole role;
    } texts[] = {{"ExtractMedia", QPalette::WindowText}, {"DestinationEdit", QPalette::Text}};
    // A folder typed before (the prompt is grey in any state).
    qobject_cast<controls::CPromptEdit*>(frame.WorkView()->Control("DestinationEdit"))->SetEnteredText(QStringLiteral("/tmp"));
    for (const auto& text : texts) {
        QWidget* control = frame.WorkView()->Control(text.name);
        ASSERT_FALSE(control->isEnabled()) << text.name;
        const QPalette& colours = control->palette();
        EXPECT_GE(Contrast(colours.color(QPalette::Disabled, text.role), colours.color(QPalette::Active, text.role)), 2.0)
            << text.name;
        EXPECT_NE(colours.color(QPalette::Disabled, QPalette::Base), colours.color(QPalette::Active, QPalette::Base))
            << text.name;
    }
}

TEST_F(ShellTest, EveryControlHasANameForScreenReaders)
{
    CMainFrame frame(NoSplash());
    frame.show();
    QStringList unnamed;
    for (QWidget* widget : frame.findChildren<QWidget*>()) {
        const bool control = widget->focusPolicy() != Qt::NoFocus || qobject_cast<controls::CEstProgressCtrl*>(widget) ||
                             widget->objectName() == QStringLiteral("PictureBox");
        if (!control || widget->isHidden() || qobject_cast<QAbstractScrollArea*>(widget->parentWidget()))
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        if (accessible == nullptr || accessible->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << widget->metaObject()->className() + QStringLiteral(" ") + widget->objectName();
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QStringLiteral(", ")).toStdString();
}

TEST_F(ShellTest, LockIndicatorsShowTheKeysThatAreOn)
{
    CMainFrame frame(NoSplash());
    auto pane = [&](const char* name) { return frame.findChild<QLabel*>(QString::fromUtf8(name)); };
    frame.ShowLockKeys(LockKeyState{true, true, false, true});
    EXPECT_EQ(pane("CAPIndicator")->text(), QStringLiteral("CAP"));
    EXPECT_EQ(pane("NUMIndicator")->text(), QString());
    EXPECT_EQ(pane("SCRLIndicator")->text(), QStringLiteral("SCRL"));
    EXPECT_TRUE(pane("CAPIndicator")->isEnabled());
    // A platform that cannot tell: all three greyed, none claiming a state.
    frame.ShowLockKeys(LockKeyState{});
    EXPECT_EQ(pane("NUMIndicator")->text(), QStringLiteral("NUM"));
    EXPECT_FALSE(pane("NUMIndicator")->isEnabled());
}

TEST_F(ShellTest, MenuEntriesHaveMnemonicsOfTheirOwnAndShowTheKeysWhereTheyAct)
{
    CMainFrame frame(NoSplash());
    QMenu* file = frame.menuBar()->actions().first()->menu();
    ASSERT_NE(file, nullptr);
    QSet<QChar> mnemonics;
    for (QAction* action : file->actions()) {
        const QString text = action->text();
        const qsizetype amp = text.indexOf(QLatin1Char('&'));
        if (amp < 0 || amp + 1 >= text.size())
            continue;
        const QChar key = text[amp + 1].toLower();
        EXPECT_FALSE(mnemonics.contains(key)) << text.toStdString();
        mnemonics.insert(key);
    }
    EXPECT_TRUE(frame.CommandAction(ID_FILE_SAVE_FILES)->text().endsWith(QStringLiteral("\tCtrl+S")));
    EXPECT_FALSE(frame.CommandAction(ID_FILE_REPAIR_FILES)->text().contains(QLatin1Char('\t')));
    EXPECT_FALSE(frame.CommandAction(ID_FILE_REMOVE_FILES)->text().contains(QLatin1Char('\t')));
}

TEST(DesktopEntry, OffersTheProgramForWhatTheMimeDatabaseCallsIntactAndDamagedOdbFiles)
{
    QFile entry(QStringLiteral(TAVRIN_SOURCE_DIR "/app/example.tavrinlumiq.TavrinLumiq.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    QStringList offered;
    for (const QByteArray& line : entry.readAll().split('\n')) {
        if (line.startsWith("MimeType="))
            offered = QString::fromUtf8(line.mid(9)).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    ASSERT_FALSE(offered.isEmpty());
    const QMimeDatabase database;
    for (const QString& type : offered)
        EXPECT_TRUE(database.mimeTypeForName(type).isValid()) << type.toStdString() << " is unknown to the MIME database";
    for (const char* fixture : {"intact.odb", "no-central-directory.odb", "not-a-zip.odb", "garbage-before-first-header.odb"}) {
        const QMimeType type = database.mimeTypeForFile(QStringLiteral(TAVRIN_TEST_DATA_DIR "/fixtures/") + QLatin1String(fixture));
        EXPECT_TRUE(offered.contains(type.name())) << fixture << " is " << type.name().toStdString();
    }
}

TEST(Help, IsLookedForBesideTheProgramThenInTheDataFolderOfItsInstallation)
{
    const QString program = QCoreApplication::applicationDirPath();
    const QStringList candidates = HelpDocumentCandidates();
    ASSERT_EQ(candidates.size(), 2);
    EXPECT_EQ(candidates[0], program + QStringLiteral("/Tavrin for Lumiq.html"));
    // bin/ and share/ side by side under whatever prefix the program was installed to.
    EXPECT_EQ(candidates[1], QDir::cleanPath(program + QStringLiteral("/../share/tavrin-lumiq/Tavrin for Lumiq.html")));
}

TEST_F(ShellTest, TheMessageBoxHelpButtonOpensTheProgramsHelpDocument)
{
    CMainFrame frame(NoSplash());
    EXPECT_EQ(HelpDocumentPath(), FindHelpDocument());
}

TEST(AboutBox, ShowsTheProductItsVersionAndTheThreeLinks)
{
    CAboutDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Tavrin Lumiq v1.0"));
    QStringList texts;
    for (const auto* label : dialog.findChildren<controls::CKelvarTransparentStatic*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Tavrin Lumiq v1.0")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Tavrin Lumiq Software")));
    QStringList targets;
    for (const auto* link : dialog.findChildren<controls::CLinkLabel*>()) {
        targets << link->LinkTarget();
        EXPECT_EQ(link->GetUnderlineMode(), controls::CLinkLabel::UnderlineAlways);
    }
    EXPECT_EQ(targets, (QStringList{QString::fromUtf8(kMakerWebSite), QString::fromUtf8(kSupportMail),
                                    QString::fromUtf8(kSalesMail)}));
    EXPECT_EQ(CAboutDlg::DialogUnitsToPixels(0, 0, 234, 201).size(), QSize(351, 327));
}

} // namespace
} // namespace tavrin::app
