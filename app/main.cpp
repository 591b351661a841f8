// tavrin-lumiq: the desktop program that repairs damaged LibreOffice Base files.
#include "app/QuenmarApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(tavrin_lumiq);
    QApplication::setApplicationName(QStringLiteral("tavrin-lumiq"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrin Lumiq"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setDesktopFileName(QStringLiteral("example.tavrinlumiq.TavrinLumiq"));

    tavrin::app::CQuenmarApp app;
    if (!app.InitInstance(tavrin::app::CQuenmarApp::FilesFromArguments(QApplication::arguments())))
        return 0;
    return QApplication::exec();
}
