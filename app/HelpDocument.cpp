#include "app/HelpDocument.h"

#include "app/CommandIds.h"
#include "html/DesktopOpener.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace tavrin::app {

QStringList HelpDocumentCandidates()
{
    const QString name = QString::fromUtf8(kHelpFileName);
    const QString programFolder = QCoreApplication::applicationDirPath();
    QStringList candidates{programFolder + QLatin1Char('/') + name};
#ifdef TAVRIN_HELP_RELATIVE_DIR
    candidates << QDir::cleanPath(programFolder + QStringLiteral("/" TAVRIN_HELP_RELATIVE_DIR "/") + name);
#endif
    return candidates;
}

QString FindHelpDocument()
{
    for (const QString& candidate : HelpDocumentCandidates()) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

bool OpenInDefaultProgram(const QString& pathOrUrl)
{
    const QUrl url = LinkTargetToUrl(pathOrUrl);
    if (OpenInDesktop(url))
        return true;
    // Without a desktop session the portal may be missing; xdg-open still knows the
    // user's browser.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString()});
}

} // namespace tavrin::app
