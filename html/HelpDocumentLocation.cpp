#include "html/HelpDocumentLocation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <utility>

namespace tavrin {
namespace {

QMutex locatorMutex;

HelpDocumentLocator& CurrentLocator()
{
    static HelpDocumentLocator locator;
    return locator;
}

} // namespace

HelpDocumentLocator SetHelpDocumentLocator(HelpDocumentLocator locator)
{
    QMutexLocker lock(&locatorMutex);
    return std::exchange(CurrentLocator(), std::move(locator));
}

QString HelpDocumentPath()
{
    HelpDocumentLocator locator;
    {
        QMutexLocker lock(&locatorMutex);
        locator = CurrentLocator();
    }
    if (locator)
        return locator();
    const QFileInfo program(QCoreApplication::applicationFilePath());
    return program.absolutePath() + QLatin1Char('/') + program.completeBaseName() + QStringLiteral(".html");
}

} // namespace tavrin
