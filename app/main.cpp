// tavrin-lumiq: the desktop program that repairs damaged LibreOffice Base files.
#include "app/LaunchArguments.h"
#include "app/QuenmarApp.h"

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

    CQuenmarApp app;
    if (!app.InitInstance(launch.files))
        return 0;
    return QApplication::exec();
}
