// The application object: refuses a second instance, creates the main window, shows
// it maximised and greets the user with the Select files dialog (or lists the files
// named on the command line). A second start hands its files to the first.
#pragma once

#include "app/MainFrame.h"
#include "app/SingleInstanceGuard.h"

#include <QPointer>
#include <QStringList>

#include <memory>

namespace tavrin::app {

class CMainFrame;
class FileHandOver;

class CQuenmarApp {
public:
    struct Options {
        QString lockPath = SingleInstanceGuard::DefaultLockPath();
        bool showSplash = true;
        // Tests answer the single-instance notice themselves.
        bool showInstanceNotice = true;
    };
    CQuenmarApp() : CQuenmarApp(Options{}) {}
    explicit CQuenmarApp(Options options);
    ~CQuenmarApp();

    // False when start-up ends without a window: another instance runs (and, when
    // there are files, has taken them into its list).
    bool InitInstance(const QStringList& files);
    CMainFrame* MainFrame() const { return frame_; }

    // The files of a command line, made absolute.
    static QStringList FilesFromArguments(const QStringList& arguments);

private:
    Options options_;
    std::unique_ptr<SingleInstanceGuard> guard_;
    QPointer<CMainFrame> frame_;
    FileHandOver* handOver_ = nullptr; // owned by the frame
};

} // namespace tavrin::app
