// The main window: menu bar, toolbar, status bar, the logo at the top right and the
// work view in the middle. It owns the running flag that the batches set and that
// keeps the window from closing while a batch runs.
#pragma once

#include "view/ViewHost.h"

#include <QHash>
#include <QMainWindow>
#include <QStringList>

#include <atomic>

class QAction;
class QActionGroup;
class QLabel;
class QToolBar;

namespace tavrin::view {
class CQuenmarView;
}

namespace tavrin::app {

class CQuenmarDoc;
struct LockKeyState;

class CMainFrame : public QMainWindow, public view::ViewHost {
    Q_OBJECT
public:
    struct Options {
        bool showSplash = true;
    };
    explicit CMainFrame(Options options, QWidget* parent = nullptr);
    CMainFrame() : CMainFrame(Options{}) {}
    ~CMainFrame() override;

    view::CQuenmarView* WorkView() const { return view_; }
    // Carries out a command by its number, as a menu item, toolbar button or
    // accelerator would. Disabled commands are refused.
    void ExecuteCommand(int id);
    bool CommandEnabled(int id) const;
    QAction* CommandAction(int id) const { return actions_.value(id); }
    int CurrentLook() const { return look_; }
    QString StatusText() const;
    // Shows the lock keys' state in the status bar's indicators (polled while running).
    void ShowLockKeys(const LockKeyState& state);
    QLabel* Logo() const { return logo_; }
    // Files handed over by a second start: listed as if chosen in the dialog, and the
    // window comes to the front. While a batch runs they wait for its end.
    void OpenFiles(const QStringList& files);

    // ViewHost
    std::atomic<int>& RunningFlag() override { return running_; }
    void ShowStatusText(const QString& text) override;
    void CloseFromView() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddCommand(int id, const QString& text, int toolbarImage = -1);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateLogo();
    void CreateLookCommands();
    void UpdateCommandStates();
    void OnLook(int id);
    void OnHelp();
    void OnVisitWebPage();
    void OnAbout();
    void PlaceLogo();

    std::atomic<int> running_{0};
    view::CQuenmarView* view_ = nullptr;
    CQuenmarDoc* document_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* statusPane_ = nullptr;
    QLabel* logo_ = nullptr;
    QLabel* capsPane_ = nullptr;
    QLabel* numPane_ = nullptr;
    QLabel* scrollPane_ = nullptr;
    QActionGroup* looks_ = nullptr;
    QHash<int, QAction*> actions_;
    int look_ = 0;
    QStringList waitingFiles_;
};

} // namespace tavrin::app
