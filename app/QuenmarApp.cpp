#include "app/QuenmarApp.h"

#include "app/CommandIds.h"
#include "app/FileHandOver.h"
#include "app/LaunchArguments.h"
#include "app/MainFrame.h"
#include "view/QuenmarView.h"

#include <QMessageBox>
#include <QTimer>

namespace tavrin::app {

CQuenmarApp::CQuenmarApp(Options options)
    : options_(std::move(options))
{
}

CQuenmarApp::~CQuenmarApp()
{
    delete frame_;
}

QStringList CQuenmarApp::FilesFromArguments(const QStringList& arguments)
{
    return ParseLaunchArguments(arguments).files;
}

bool CQuenmarApp::InitInstance(const QStringList& files)
{
    guard_ = std::make_unique<SingleInstanceGuard>(options_.lockPath);
    const QString socketPath = FileHandOver::SocketPathForLock(options_.lockPath);
    if (guard_->AnotherInstanceRunning()) {
        // A double-click on a file while the window is open: the file goes to its list.
        if (!files.isEmpty() && FileHandOver::Send(socketPath, files))
            return false;
        if (options_.showInstanceNotice) {
            // The one plain box of the program: nothing of ours is set up yet.
            QMessageBox notice(QMessageBox::Information, QString::fromUtf8(kApplicationTitle),
                               QStringLiteral("Another instance of application is already running"), QMessageBox::Ok);
            notice.exec();
        }
        return false;
    }

    CMainFrame::Options frameOptions;
    frameOptions.showSplash = options_.showSplash;
    frame_ = new CMainFrame(frameOptions);
    frame_->setAttribute(Qt::WA_DeleteOnClose, false);
    frame_->showMaximized();

    handOver_ = new FileHandOver(frame_);
    handOver_->Listen(socketPath);
    QPointer<CMainFrame> receiver = frame_;
    QObject::connect(handOver_, &FileHandOver::filesReceived, frame_, [receiver](const QStringList& handed) {
        if (receiver)
            receiver->OpenFiles(handed);
    });

    if (!files.isEmpty()) {
        frame_->WorkView()->AddSelectedFiles(files);
    } else {
        // Once the window is on screen, open the file dialog.
        QPointer<CMainFrame> frame = frame_;
        QTimer::singleShot(0, frame_, [frame] {
            if (frame)
                frame->ExecuteCommand(ID_FILE_SELECT_FILES);
        });
    }
    return true;
}

} // namespace tavrin::app
