// tavrin-lumiq: the desktop program that repairs damaged LibreOffice Base files.
#include "app/QuenmarApp.h"
#include "engine/RunFolder.h"
#include "engine/Workspace.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(tavrin_lumiq);
    QApplication::setApplicationName(QStringLiteral("tavrin-lumiq"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrin Lumiq"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setDesktopFileName(QStringLiteral("tavrin-lumiq"));

    // The workspace is this run's own: a folder nobody else can have made first, and
    // the folders of earlier runs that were killed mid-repair are cleared away.
    tavrin::RunFolder::RemoveStale("tavrin-lumiq");
    tavrin::RunFolder workspace;
    if (workspace.Create("tavrin-lumiq"))
        tavrin::SetWorkspaceRootOverride(workspace.path() + "/BsTmp");

    int status = 0;
    {
        tavrin::app::CQuenmarApp app;
        if (app.InitInstance(tavrin::app::CQuenmarApp::FilesFromArguments(QApplication::arguments())))
            status = QApplication::exec();
    }
    tavrin::SetWorkspaceRootOverride("");
    workspace.Remove();
    return status;
}
