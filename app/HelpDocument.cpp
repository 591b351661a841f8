#include "app/HelpDocument.h"

#include "app/CommandIds.h"
#include "html/DesktopOpener.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace tavrin::app {

QStringList HelpDocumentCandidates()
{
    const QString name = QString::fromUtf8(kHelpFileName);
    QStringList candidates{QCoreApplication::applicationDirPath() + QLatin1Char('/') + name};
#ifdef TAVRIN_HELP_DIR
    candidates << QStringLiteral(TAVRIN_HELP_DIR) + QLatin1Char('/') + name;
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
