// tavrin-lumiq: the desktop program that repairs damaged LibreOffice Base files.
#include "app/LaunchArguments.h"
#include "app/QuenmarApp.h"
#include "engine/RunFolder.h"
#include "engine/Workspace.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    using namespace tavrin::app;
    // Help and version answer on the terminal, without a display.
    {
        QStringList raw;
        for (int i = 0; i < argc; ++i)
            raw << QString::fromLocal8Bit(argv[i]);
        const LaunchArguments early = ParseLaunchArguments(raw);
        if (early.help) {
            std::fputs(LaunchHelpText().toLocal8Bit().constData(), stdout);
            return 0;
        }
        if (early.version) {
            std::fputs(LaunchVersionText().toLocal8Bit().constData(), stdout);
            return 0;
        }
    }

    QApplication application(argc, argv);
    Q_INIT_RESOURCE(tavrin_lumiq);
    QApplication::setApplicationName(QStringLiteral("tavrin-lumiq"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("example.tavrinlumiq.TavrinLumiq"));

    // Qt has taken its own options (-platform, -style, ...) out by now.
    const LaunchArguments launch = ParseLaunchArguments(QApplication::arguments());
    if (!launch.error.isEmpty()) {
        std::fprintf(stderr, "tavrin-lumiq: %s\nTry 'tavrin-lumiq --help' for more information.\n",
                     launch.error.toLocal8Bit().constData());
        return 2;
    }

    // The workspace is this run's own: a folder nobody else can have made first, and
    // the folders of earlier runs that were killed mid-repair are cleared away.
    tavrin::RunFolder::RemoveStale("tavrin-lumiq");
    tavrin::RunFolder workspace;
    if (workspace.Create("tavrin-lumiq"))
        tavrin::SetWorkspaceRootOverride(workspace.path() + "/BsTmp");
    // Without a run folder of its own the shared workspace is used: whatever an earlier
    // run left in it goes before anything is extracted.
    if (tavrin::IsRealDirectory(tavrin::GetWorkspaceRoot()))
        tavrin::WipeWorkspace();

    int status = 0;
    {
        CQuenmarApp app;
        if (app.InitInstance(launch.files))
            status = QApplication::exec();
    }
    tavrin::SetWorkspaceRootOverride("");
    workspace.Remove();
    return status;
}
