#include "app/SingleInstanceGuard.h"

#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

namespace tavrin::app {

SingleInstanceGuard::SingleInstanceGuard(const QString& lockPath)
    : lock_(std::make_unique<QLockFile>(lockPath))
{
    // Age never makes a lock stale; only an owner that no longer runs does.
    lock_->setStaleLockTime(0);
    held_ = lock_->tryLock(0);
}

QString SingleInstanceGuard::DefaultLockPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/tavrin-lumiq-%1.lock").arg(getuid());
}

} // namespace tavrin::app
