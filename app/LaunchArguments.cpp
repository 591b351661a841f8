#include "app/LaunchArguments.h"

#include <QDir>
#include <QFileInfo>

namespace tavrin::app {

LaunchArguments ParseLaunchArguments(const QStringList& arguments)
{
    LaunchArguments result;
    bool onlyFiles = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.isEmpty())
            continue;
        if (!onlyFiles && argument.startsWith(QLatin1Char('-'))) {
            if (argument == QLatin1String("--"))
                onlyFiles = true;
            else if (argument == QLatin1String("-h") || argument == QLatin1String("--help"))
                result.help = true;
            else if (argument == QLatin1String("-v") || argument == QLatin1String("--version"))
                result.version = true;
            else if (result.error.isEmpty())
                result.error = QStringLiteral("unknown option '%1'").arg(argument);
            continue;
        }
        result.files << QDir::cleanPath(QFileInfo(argument).absoluteFilePath());
    }
    return result;
}

QString LaunchHelpText()
{
    return QStringLiteral(
        "Usage: tavrin-lumiq [FILE.odb...]\n"
        "Repairs damaged LibreOffice Base (.odb) files in a window. The files named are put\n"
        "into the list; when the program already runs for this user, they go to the list of\n"
        "its window instead. Without files the file chooser opens at start.\n"
        "\n"
        "Options:\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "  --             take every following argument as a file\n"
        "\n"
        "The same repair runs on the command line as tavrin-repair.\n");
}

QString LaunchVersionText()
{
    return QStringLiteral("tavrin-lumiq " TAVRIN_VERSION "\n");
}

} // namespace tavrin::app
