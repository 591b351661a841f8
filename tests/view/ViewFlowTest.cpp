// The work view driven the way a user drives it: files chosen through the same code
// the dialog feeds, a real repair and save on fixture packages, the preview, the
// control states of every situation, removing files between repair and save.
#include "ViewTestSupport.h"

#include "controls/KelvarListCtrl.h"
#include "controls/PictureBox.h"
#include "controls/PromptEdit.h"
#include "html/DesktopOpener.h"
#include "view/ViewTexts.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>

#include <functional>
#include <mutex>

namespace tavrin::view::testing {
namespace {

// A view that lets the test look at it while a batch is in the middle of its work.
class ObservedView : public CQuenmarView {
public:
    using CQuenmarView::CQuenmarView;

    // Called on the GUI thread, while the worker waits, after each appended log line.
    std::function<void(const QString&)> onLogLine;
    QString lastPicturePath;

    void AddLogLine(const std::string& text, Colour colour) override
    {
        CQuenmarView::AddLogLine(text, colour);
        if (!onLogLine)
            return;
        const QString line = QString::fromStdString(text);
        if (QThread::currentThread() == thread())
            onLogLine(line);
        else
            QMetaObject::invokeMethod(this, [this, &line] { onLogLine(line); }, Qt::BlockingQueuedConnection);
    }

    void SetPicture(const std::string& path, PictureState state) override
    {
        if (!path.empty())
            lastPicturePath = QString::fromStdString(path);
        CQuenmarView::SetPicture(path, state);
    }
};

enum class Rows { None, Both, TotalOnly };

struct ControlState {
    bool selectButton;
    bool selectFlag;
    bool repairAndRemove;
    // -1 when the four save controls disagree.
    int saveGroup;
    bool stopShown;
    bool stopEnabled;
    Rows progress;
    bool exit;

    bool operator==(const ControlState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ControlState& s)
{
    return out << "{select " << s.selectButton << ", flag " << s.selectFlag << ", repair/remove "
               << s.repairAndRemove << ", save group " << s.saveGroup << ", stop " << s.stopShown << "/"
               << s.stopEnabled << ", progress " << static_cast<int>(s.progress) << ", exit " << s.exit << "}";
}

ControlState Capture(const CQuenmarView& view)
{
    auto on = [&](const char* name) { return view.Control(name)->isEnabled(); };
    auto shown = [&](const char* name) { return !view.Control(name)->isHidden(); };
    const bool repair = on("RepairFiles");
    const bool save = on("Save");
    const bool saveGroupAgrees = on("BrowseFolder") == save && on("ExtractMedia") == save && on("DestinationEdit") == save;
    Rows progress = Rows::None;
    if (shown("FileProgressLabel") && shown("FileProgress") && shown("TotalProgressLabel") && shown("TotalProgress"))
        progress = Rows::Both;
    else if (!shown("FileProgressLabel") && shown("TotalProgressLabel") && shown("TotalProgress"))
        progress = Rows::TotalOnly;
    return ControlState{on("SelectFiles"),
                        view.SelectEnabled(),
                        repair && on("RemoveFiles") == repair && view.RepairEnabled() == repair,
                        saveGroupAgrees && view.SaveEnabled() == save ? int(save) : -1,
                        shown("Stop"),
                        shown("Stop") && on("Stop"),
                        progress,
                        on("Exit")};
}

QColor ColourOf(const CQuenmarView& view, const QString& text)
{
    auto* log = qobject_cast<QTextEdit*>(view.Control("ActivityLog"));
    const QTextCursor found = log->document()->find(text);
    if (found.isNull())
        return {};
    return found.charFormat().foreground().color();
}

controls::CPictureBox* PictureBoxOf(const CQuenmarView& view)
{
    return qobject_cast<controls::CPictureBox*>(view.Control("PictureBox"));
}

void ClickJob(const CQuenmarView& view, int index)
{
    auto* list = qobject_cast<controls::CKelvarListCtrl*>(view.Control("JobList"));
    const QRect rect = list->visualItemRect(list->topLevelItem(index));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

class ViewFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(files.isValid());
        ASSERT_TRUE(destination.isValid());
        view.resize(900, 650);
        view.show();
    }

    void Repair()
    {
        const int seen = int(finished.count());
        view.OnRepairFiles();
        ASSERT_TRUE(WaitForBatch(view, finished, seen));
    }

    void Save()
    {
        desktop.folderToChoose = destination.path();
        view.OnBrowseFolder();
        const int seen = int(finished.count());
        view.OnSaveFiles();
        ASSERT_TRUE(WaitForBatch(view, finished, seen));
    }

    PrivateWorkspace workspace;
    DesktopStandIn desktop;
    RecordingHost host;
    QTemporaryDir files;
    QTemporaryDir destination;
    ObservedView view{&host};
    QSignalSpy finished{&view, &CQuenmarView::batchFinished};
};

TEST_F(ViewFlowTest, ControlsFollowTheTableThroughEverySituation)
{
    const ControlState start{true, true, false, 0, false, false, Rows::None, true};
    EXPECT_EQ(Capture(view), start);
    EXPECT_EQ(view.LogText(), QString::fromUtf8(kLogStartText));
    EXPECT_EQ(view.HintText(), QString::fromUtf8(kHintStartText));

    desktop.filesToOpen = CopyFixtures(files, {"intact.odb", "truncated-in-local-header.odb"});
    view.OnSelectFiles();
    EXPECT_EQ(Capture(view), (ControlState{true, true, true, 0, false, false, Rows::None, true}));
    EXPECT_EQ(view.LogText(), QString::fromUtf8(kLogFilesChosenText));

    std::optional<ControlState> repairRunning;
    view.onLogLine = [&](const QString& line) {
        if (!repairRunning && line.contains(QStringLiteral(" file is open")))
            repairRunning = Capture(view);
    };
    Repair();
    ASSERT_TRUE(repairRunning.has_value());
    EXPECT_EQ(*repairRunning, (ControlState{false, false, false, 0, true, true, Rows::Both, true}));
    EXPECT_EQ(Capture(view), (ControlState{true, true, true, 1, false, false, Rows::None, true}));
    EXPECT_EQ(view.HintText(), QString::fromUtf8(kHintRepairedText));

    // While the save runs, Select files (button still enabled) must not wipe its Workspace.
    std::optional<ControlState> saveRunning;
    int jobsAfterRefusedSelect = -1;
    view.onLogLine = [&](const QString& line) {
        if (saveRunning || !line.contains(QStringLiteral(" saving of file starts")))
            return;
        saveRunning = Capture(view);
        desktop.filesToOpen = CopyFixtures(files, {"no-central-directory.odb"});
        view.OnSelectFiles();
        jobsAfterRefusedSelect = view.JobCount();
    };
    Save();
    ASSERT_TRUE(saveRunning.has_value());
    EXPECT_EQ(*saveRunning, (ControlState{true, false, false, 0, true, true, Rows::TotalOnly, true}));
    EXPECT_EQ(jobsAfterRefusedSelect, 2);
    EXPECT_TRUE(desktop.MessageTexts().contains(QString::fromUtf8(kStopFirstBeforeSelecting)));
    EXPECT_TRUE(QFileInfo::exists(destination.filePath(QStringLiteral("TAVRINREP_truncated-in-local-header.odb"))));
    EXPECT_EQ(Capture(view), (ControlState{true, true, true, 1, false, false, Rows::None, true}));

    auto* list = qobject_cast<controls::CKelvarListCtrl*>(view.Control("JobList"));
    list->selectAll();
    view.OnRemoveFiles();
    EXPECT_EQ(Capture(view), (ControlState{true, true, false, 0, false, false, Rows::None, true}));
    EXPECT_EQ(view.LogText(), QString::fromUtf8(kLogStartText));
    EXPECT_EQ(view.HintText(), QString::fromUtf8(kHintStartText));
    EXPECT_EQ(PictureBoxOf(view)->MessageStateValue(), int(PictureState::NoFiles));
    EXPECT_FALSE(QFileInfo::exists(workspace.Root()));
    auto* edit = qobject_cast<controls::CPromptEdit*>(view.Control("DestinationEdit"));
    EXPECT_TRUE(edit->GetEnteredText().isEmpty());
    EXPECT_FALSE(edit->IsPromptShowing());
}

TEST_F(ViewFlowTest, RepairPreviewAndSaveProduceTheLogPicturesAndPackages)
{
    const QStringList paths =
        CopyFixtures(files, {"intact.odb", "truncated-in-local-header.odb", "not-a-zip.odb"});
    desktop.filesToOpen = paths;
    view.OnSelectFiles();
    Repair();

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(view.JobState(i), 1) << i;
    // What became of each file, in its own column.
    EXPECT_EQ(view.JobStatusText(0), QStringLiteral("no damage found"));
    // The end of the file cuts off the thumbnail's local header: a member lost.
    EXPECT_EQ(view.JobStatusText(1), QStringLiteral("repaired with losses"));
    EXPECT_EQ(view.JobStatusText(2), QStringLiteral("not repaired"));
    EXPECT_TRUE(view.SavedPackagePath(0).isEmpty());
    // The destination starts as the folder of the first file.
    EXPECT_EQ(qobject_cast<controls::CPromptEdit*>(view.Control("DestinationEdit"))->GetEnteredText(), files.path());
    EXPECT_EQ(ColourOf(view, paths[0] + QStringLiteral(" preview of file is available....")), QColor(0, 0, 0));
    EXPECT_EQ(ColourOf(view, paths[0] + QStringLiteral("  Repaired....")), QColor(0, 153, 0));
    EXPECT_EQ(ColourOf(view, paths[1] + QStringLiteral("  Repaired....")), QColor(0, 153, 0));
    EXPECT_EQ(ColourOf(view, paths[2] + QStringLiteral(" extraction of file failed. Please contact at")),
              QColor(0, 0, 0));
    EXPECT_TRUE(view.LogText().endsWith(QStringLiteral("Repairing process completed....\n") +
                                        QString(64, QLatin1Char('_')) + QStringLiteral("\n\n")));

    // The thumbnail first, else the first picture, else the no-image note.
    ClickJob(view, 0);
    EXPECT_EQ(PictureBoxOf(view)->MessageStateValue(), int(PictureState::NoText));
    EXPECT_TRUE(PictureBoxOf(view)->PictureReadable());
    EXPECT_TRUE(view.lastPicturePath.endsWith(QStringLiteral("intact.odb.0/Thumbnails/thumbnail.png")))
        << view.lastPicturePath.toStdString();
    ClickJob(view, 1);
    EXPECT_TRUE(PictureBoxOf(view)->PictureReadable());
    EXPECT_TRUE(view.lastPicturePath.contains(QStringLiteral("truncated-in-local-header.odb.1/forms/Obj11/Pictures/")))
        << view.lastPicturePath.toStdString();
    ClickJob(view, 2);
    EXPECT_EQ(PictureBoxOf(view)->MessageStateValue(), int(PictureState::NoImage));
    EXPECT_FALSE(PictureBoxOf(view)->HoldsPicture());

    desktop.messages.clear();
    Save();
    const QDir out(destination.path());
    EXPECT_TRUE(out.exists(QStringLiteral("TAVRINREP_intact.odb")));
    EXPECT_TRUE(out.exists(QStringLiteral("TAVRINREP_truncated-in-local-header.odb")));
    EXPECT_EQ(QDir(out.filePath(QStringLiteral("intact.odb_MediaContent"))).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(ColourOf(view, paths[0] + QStringLiteral(" saving of file done....")), QColor(0, 153, 0));

    ASSERT_FALSE(desktop.messages.empty());
    const ShownMessage& closing = desktop.messages.back();
    EXPECT_EQ(closing.owner, &view);
    EXPECT_EQ(closing.style, 0x40u);
    // The report's first line as ever, then each saved package with ways to open it.
    EXPECT_EQ(closing.html,
              QStringLiteral("File(s) saving process has been completed.Saved file(s) location is:<br><a href='%1'>%1</a>"
                             "<br>TAVRINREP_intact.odb (no damage found): <a href='%1/TAVRINREP_intact.odb'>Open in "
                             "LibreOffice</a> | <a href='%1'>Show in folder</a>"
                             "<br>TAVRINREP_truncated-in-local-header.odb (repaired with losses): <a "
                             "href='%1/TAVRINREP_truncated-in-local-header.odb'>Open in LibreOffice</a> | <a "
                             "href='%1'>Show in folder</a>")
                  .arg(destination.path()));

    EXPECT_EQ(view.JobStatusText(0), QStringLiteral("no damage found"));
    EXPECT_EQ(view.JobStatusText(2), QStringLiteral("not repaired"));
    EXPECT_EQ(view.SavedPackagePath(1), destination.filePath(QStringLiteral("TAVRINREP_truncated-in-local-header.odb")));
    EXPECT_TRUE(view.SavedPackagePath(2).isEmpty());
    QList<QUrl> opened;
    const DesktopOpenFunction previous = SetDesktopOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    view.OpenSavedPackage(0);
    view.ShowSavedPackageInFolder(0);
    view.OpenSavedPackage(2);
    SetDesktopOpener(previous);
    EXPECT_EQ(opened, (QList<QUrl>{QUrl::fromLocalFile(destination.filePath(QStringLiteral("TAVRINREP_intact.odb"))),
                                   QUrl::fromLocalFile(destination.path())}));
}

TEST_F(ViewFlowTest, TheLastDestinationIsOfferedAgainAfterTheNextRepair)
{
    desktop.filesToOpen = CopyFixtures(files, {"intact.odb"});
    view.OnSelectFiles();
    Repair();
    Save();

    ObservedView next{&host};
    QSignalSpy nextFinished{&next, &CQuenmarView::batchFinished};
    desktop.filesToOpen = CopyFixtures(files, {"no-central-directory.odb"});
    next.OnSelectFiles();
    next.OnRepairFiles();
    ASSERT_TRUE(WaitForBatch(next, nextFinished, 0));
    EXPECT_EQ(next.JobStatusText(0), QStringLiteral("repaired"));
    EXPECT_EQ(qobject_cast<controls::CPromptEdit*>(next.Control("DestinationEdit"))->GetEnteredText(), destination.path());
}

TEST_F(ViewFlowTest, RemovingAFileKeepsEveryOtherFileWithItsOwnPackage)
{
    const QStringList paths = CopyFixtures(files, {"intact.odb", "truncated-in-local-header.odb"});
    desktop.filesToOpen = paths;
    view.OnSelectFiles();
    Repair();

    auto* list = qobject_cast<controls::CKelvarListCtrl*>(view.Control("JobList"));
    list->clearSelection();
    list->topLevelItem(0)->setSelected(true);
    view.OnRemoveFiles();
    ASSERT_EQ(view.JobCount(), 1);
    EXPECT_EQ(PictureBoxOf(view)->MessageStateValue(), int(PictureState::SelectForPreview));

    // The remaining file now sits at position 0 and must still show its own pictures:
    // it has no thumbnail, the removed one had.
    ClickJob(view, 0);
    EXPECT_TRUE(view.lastPicturePath.contains(QStringLiteral("truncated-in-local-header.odb.0/forms/")))
        << view.lastPicturePath.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(PackageFolder(paths[0].toStdString(), 0))));

    Save();
    const QDir media(destination.filePath(QStringLiteral("truncated-in-local-header.odb_MediaContent")));
    EXPECT_EQ(media.entryList(QDir::Files).size(), 1);
    EXPECT_FALSE(media.exists(QStringLiteral("thumbnail.png")));
    EXPECT_FALSE(QDir(destination.path()).exists(QStringLiteral("TAVRINREP_intact.odb")));
    // The saved file is told its own outcome, not that of the intact file removed before it.
    EXPECT_EQ(view.JobStatusText(0), QStringLiteral("repaired with losses"));
}

TEST_F(ViewFlowTest, StopConfirmedDuringTheFirstFileLeavesTheRestNotRepairedInRed)
{
    const QStringList paths =
        CopyFixtures(files, {"intact.odb", "no-central-directory.odb", "truncated-in-local-header.odb"});
    view.AddSelectedFiles(paths);
    std::optional<ControlState> afterStop;
    view.onLogLine = [&](const QString& line) {
        if (afterStop || !line.contains(QStringLiteral(" file is open")))
            return;
        view.OnStop();
        afterStop = Capture(view);
    };
    Repair();

    EXPECT_TRUE(desktop.MessageTexts().contains(QStringLiteral("Are you sure to stop the running process?")));
    ASSERT_TRUE(afterStop.has_value());
    EXPECT_TRUE(afterStop->stopShown);
    EXPECT_FALSE(afterStop->stopEnabled);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(view.JobState(i), 0) << i;
        EXPECT_EQ(ColourOf(view, paths[i] + QStringLiteral(" not Repaired....")), QColor(255, 0, 0)) << i;
    }
    EXPECT_EQ(Capture(view), (ControlState{true, true, true, 1, false, false, Rows::None, true}));
}

TEST_F(ViewFlowTest, StopAnsweredNoChangesNothing)
{
    const QStringList paths = CopyFixtures(files, {"intact.odb", "no-central-directory.odb"});
    view.AddSelectedFiles(paths);
    desktop.answerYesNo = 7;
    bool asked = false;
    view.onLogLine = [&](const QString& line) {
        if (!asked && line.contains(QStringLiteral(" file is open"))) {
            asked = true;
            view.OnStop();
        }
    };
    Repair();
    ASSERT_TRUE(asked);
    EXPECT_EQ(view.JobState(0), 1);
    EXPECT_EQ(view.JobState(1), 1);
    EXPECT_FALSE(view.LogText().contains(QStringLiteral("not Repaired")));
}

TEST_F(ViewFlowTest, ExitButtonClosesThroughTheFrame)
{
    qobject_cast<QAbstractButton*>(view.Control("Exit"))->click();
    EXPECT_EQ(host.closeRequests.size(), 1u);
}

struct DuplicateCase {
    const char* listed;
    const char* chosen;
    bool refused;
};

class DuplicateTest : public ::testing::TestWithParam<DuplicateCase> {};

TEST_P(DuplicateTest, SamePathInAnyLetterCaseOfAToZIsRefused)
{
    PrivateWorkspace workspace;
    DesktopStandIn desktop;
    RecordingHost host;
    CQuenmarView view(&host);
    const QString listed = QString::fromUtf8(GetParam().listed);
    const QString chosen = QString::fromUtf8(GetParam().chosen);
    view.AddSelectedFiles({listed});
    view.AddSelectedFiles({chosen, QStringLiteral("/data/Other.odb")});

    EXPECT_EQ(view.JobCount(), GetParam().refused ? 2 : 3);
    const QStringList expectedMessages =
        GetParam().refused ? QStringList{chosen + QStringLiteral("already exist in the list.")} : QStringList{};
    EXPECT_EQ(desktop.MessageTexts(), expectedMessages);
}

INSTANTIATE_TEST_SUITE_P(Paths, DuplicateTest,
                         ::testing::Values(DuplicateCase{"/data/Sales.odb", "/data/Sales.odb", true},
                                           DuplicateCase{"/Data/A.odb", "/data/a.ODB", true},
                                           DuplicateCase{"/data/Ärger.odb", "/data/ärger.odb", false},
                                           DuplicateCase{"/data/Sales.odb", "/data/Sales.odb ", false},
                                           DuplicateCase{"/data/Sales.odb", "/data2/Sales.odb", false}));

TEST(ViewDrop, TakesPathsContainingOdbInDropOrderAndNothingWhileABatchRuns)
{
    PrivateWorkspace workspace;
    RecordingHost host;
    CQuenmarView view(&host);
    view.AddDroppedFiles({QStringLiteral("/x/A.ODB"), QStringLiteral(" /x/b.odb "), QStringLiteral("/x.odb/notes.txt"),
                          QStringLiteral("/x/c.txt"), QStringLiteral("/x/b.odb")});
    ASSERT_EQ(view.JobCount(), 3);
    EXPECT_EQ(view.JobPath(0), "/x/b.odb");
    EXPECT_EQ(view.JobPath(1), "/x.odb/notes.txt");
    EXPECT_EQ(view.JobPath(2), "/x/b.odb");
    EXPECT_FALSE(view.RepairEnabled());

    host.running = 1;
    view.AddDroppedFiles({QStringLiteral("/x/d.odb")});
    EXPECT_EQ(view.JobCount(), 3);
}

TEST(ViewDrop, ADropOfFilesFromTheDesktopIsTakenAsACopyAndRefusedWhileABatchRuns)
{
    PrivateWorkspace workspace;
    RecordingHost host;
    CQuenmarView view(&host);
    view.resize(650, 450);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/x/a.odb")), QUrl::fromLocalFile(QStringLiteral("/x/b.txt"))});
    const QPoint at(100, 150);

    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    // Never a move: the file manager must keep the dropped files.
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &drop);
    ASSERT_EQ(view.JobCount(), 1);
    EXPECT_EQ(view.JobPath(0), "/x/a.odb");

    host.running = 1;
    QDragEnterEvent refused(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    refused.ignore();
    QCoreApplication::sendEvent(&view, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST(ViewStatus, HoveringAControlShowsItsTextInTheStatusBar)
{
    PrivateWorkspace workspace;
    RecordingHost host;
    CQuenmarView view(&host);
    view.show();
    for (const char* name : {"RepairFiles", "LocationLabel", "Exit"}) {
        QWidget* control = view.Control(name);
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(control, &enter);
        EXPECT_EQ(host.status, control->property("text").toString()) << name;
        EXPECT_FALSE(host.status.isEmpty()) << name;
    }
}

// Clearing what an earlier run left is the program's start-up work: a view made later
// (a second window, a test) must not wipe a workspace that may be in use.
TEST(ViewStatus, MakingAViewLeavesTheWorkspaceAlone)
{
    PrivateWorkspace workspace;
    ASSERT_TRUE(QDir().mkpath(workspace.Root() + QStringLiteral("/pkg.odb.1")));
    RecordingHost host;
    CQuenmarView view(&host);
    EXPECT_TRUE(QFileInfo(workspace.Root() + QStringLiteral("/pkg.odb.1")).isDir());
}

TEST(ViewWorker, ClosingWhileABatchRunsWaitsForTheWorker)
{
    PrivateWorkspace workspace;
    DesktopStandIn desktop;
    QTemporaryDir files;
    RecordingHost host;
    QStringList paths = CopyFixtures(files, {"intact.odb", "no-central-directory.odb", "hole-of-zeros.odb"});
    {
        CQuenmarView view(&host);
        view.AddSelectedFiles(paths);
        view.OnRepairFiles();
        EXPECT_TRUE(view.BatchRunning());
        // Destroying the view must end the batch first and leave nothing touching it.
    }
    EXPECT_EQ(host.running.load(), 0);
}

} // namespace
} // namespace tavrin::view::testing
