// The work view: the program's one working screen.
//
// It creates every working control, lays them out by fixed formulas of the client size,
// paints its own background, and implements the engine's WorkView so that the repair and
// save batches can drive it from their worker thread. Every WorkView call made on a
// worker thread is carried out on the GUI thread while the worker waits.
#pragma once

#include "engine/BatchReport.h"
#include "engine/ThreadContext.h"
#include "engine/WorkView.h"
#include "view/ViewLayout.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTextEdit;

namespace tavrin::controls {
class CEstProgressCtrl;
class CKelvarListCtrl;
class CPictureBox;
class CPromptEdit;
} // namespace tavrin::controls

namespace tavrin::view {

class ViewHost;

class CQuenmarView : public QWidget, public WorkView {
    Q_OBJECT
public:
    explicit CQuenmarView(ViewHost* host, QWidget* parent = nullptr);
    ~CQuenmarView() override;

    // Commands, reached from the buttons and from the frame's menu.
    void OnSelectFiles();
    void OnRemoveFiles();
    void OnRepairFiles();
    void OnSaveFiles();
    void OnStop();
    void OnExit();
    void OnBrowseFolder();

    // Step 4 of Select files: what happens with the files the dialog returned. Files
    // named on the command line take the same way.
    void AddSelectedFiles(const QStringList& paths);
    // Files dropped on the view (or handed over like a drop).
    void AddDroppedFiles(const QStringList& paths);
    // 1 when no job has this path, letters A to Z compared without regard to case.
    int IsNewJob(const QString& path) const;
    // Shows the picture of the job at `index`; 1 when a picture is shown.
    int ShowPreview(int index);

    // Flags the frame's menu follows.
    bool SelectEnabled() const { return selectEnabled_; }
    bool RepairEnabled() const { return repairEnabled_; }
    bool SaveEnabled() const { return saveEnabled_; }
    bool RepairStarted() const { return repairStarted_; }
    bool BatchRunning() const;

    // Waits (running the event loop) until a running batch has finished, after asking
    // it to stop. Used before the window goes away.
    void FinishWorker();
    // Wipes the Workspace the way closing the program does.
    void ClearWorkspaceOnClose();

    // Gives the widgets to tests and to the frame's status handling.
    QWidget* Control(const char* name) const;
    QString LogText() const;
    // The status column's words for the job at `index`; empty before its repair.
    QString JobStatusText(int index) const;
    // The rebuilt package of the job at `index` once saved; empty otherwise.
    QString SavedPackagePath(int index) const;
    // The job list's context menu entries, for the job at `index`: open the saved
    // package in LibreOffice, show it in its folder.
    void OpenSavedPackage(int index);
    void ShowSavedPackageInFolder(int index);
    QString HintText() const;
    ViewLayout CurrentLayout() const { return layout_; }

    // WorkView
    void AddLogLine(const std::string& text, Colour colour) override;
    void ClearLog() override;
    void SetProgressRange(ProgressBar bar, int maximum) override;
    void SetProgressPosition(ProgressBar bar, int position) override;
    void SetPicture(const std::string& path, PictureState state) override;
    void EnableRepairButtons(bool enable) override;
    void EnableSaveControls(bool enable) override;
    void ShowProgressControls(bool show) override;
    void ShowTotalProgressOnly(bool show) override;
    void SetSelectEnabled(bool enable) override;
    void SetRepairStarted(bool started) override;
    void ShowStopButton(bool show, bool enable) override;
    void SetHintText(const std::string& text, const std::vector<TextRange>& emphasis) override;
    void Relayout() override;
    int JobCount() override;
    std::string JobPath(int index) override;
    int JobState(int index) override;
    void SetJobState(int index, int state) override;
    std::string DestinationText() override;
    bool ExtractMediaChecked() override;
    int MessageBox(const std::string& html, const std::string& caption, unsigned style,
                   bool ownedByView = false) override;

signals:
    // A batch ended and its worker thread has been joined.
    void batchFinished();
    // One of the flags the frame's commands follow has changed.
    void commandStateChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void ApplyLayout();
    void ApplyHint(const QString& text, const std::vector<TextRange>& emphasis);
    void SetLogText(const QString& text);
    void SetPictureOnGui(const QString& path, PictureState state);
    void AppendJob(const QString& path);
    QString JobText(int index) const;
    void RemoveJobAt(int index);
    void WipeWorkspaceShowingNothing();
    void ShowJobOutcome(int index);
    void ClearJobOutcomes();
    void OnBatchFinished(bool wasRepair, bool wasSave);
    void FillDefaultDestination();
    void ShowJobContextMenu(const QPoint& position);
    QString SavedPackagesReport() const;
    std::atomic<int>& Running() const;
    void StartWorker(std::function<void()> batch);
    void JoinFinishedWorker();
    // Runs `call` on the GUI thread; from a worker it waits until the call is done.
    template <typename Call>
    auto OnGuiThread(Call&& call);

    ViewHost* host_;
    mutable std::atomic<int> ownRunningFlag_{0};

    controls::CKelvarListCtrl* jobList_ = nullptr;
    QPushButton* selectFiles_ = nullptr;
    QPushButton* removeFiles_ = nullptr;
    QPushButton* repairFiles_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* exit_ = nullptr;
    QLabel* locationLabel_ = nullptr;
    controls::CPictureBox* pictureBox_ = nullptr;
    QTextEdit* activityLog_ = nullptr;
    QTextEdit* hintBox_ = nullptr;
    controls::CPromptEdit* destination_ = nullptr;
    QPushButton* browse_ = nullptr;
    QLabel* previewLabel_ = nullptr;
    QCheckBox* extractMedia_ = nullptr;
    QLabel* fileProgressLabel_ = nullptr;
    QLabel* totalProgressLabel_ = nullptr;
    controls::CEstProgressCtrl* fileProgress_ = nullptr;
    controls::CEstProgressCtrl* totalProgress_ = nullptr;

    QPixmap header_;
    QPixmap headerFiller_;
    QPixmap footer_;
    QPixmap footerLeft_;

    bool selectEnabled_ = false;
    bool repairEnabled_ = false;
    bool saveEnabled_ = false;
    bool repairStarted_ = false;
    ViewLayout layout_;
    ThreadContext context_;
    // What the batches report per job, by job index (kept in step when jobs are removed).
    BatchReport report_;

    // Which batch the worker runs: a save leaves the Select files button as it is.
    enum class Batch { None, Repair, Save };
    Batch batch_ = Batch::None;
    std::thread worker_;
    std::atomic<bool> workerDone_{true};
    std::atomic<bool> closing_{false};
};

} // namespace tavrin::view
