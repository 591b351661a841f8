#include "html/DesktopOpener.h"

#include <QDesktopServices>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>

#include <utility>

namespace tavrin {
namespace {

QMutex openerMutex;

DesktopOpenFunction& CurrentOpener()
{
    static DesktopOpenFunction opener;
    return opener;
}

} // namespace

QUrl LinkTargetToUrl(const QString& target)
{
    QString text = target.trimmed();
    if (text.startsWith(QLatin1String("~/")))
        text = QDir::homePath() + text.mid(1);
    if (text.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(text);
    const QUrl url(text, QUrl::TolerantMode);
    if (url.scheme().isEmpty())
        return QUrl::fromLocalFile(QDir::current().absoluteFilePath(text));
    return url;
}

bool OpenInDesktop(const QUrl& url)
{
    DesktopOpenFunction opener;
    {
        QMutexLocker lock(&openerMutex);
        opener = CurrentOpener();
    }
    if (opener)
        return opener(url);
    return QDesktopServices::openUrl(url);
}

DesktopOpenFunction SetDesktopOpener(DesktopOpenFunction opener)
{
    QMutexLocker lock(&openerMutex);
    return std::exchange(CurrentOpener(), std::move(opener));
}

} // namespace tavrin
