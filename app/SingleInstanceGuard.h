// Keeps a second copy of the program from starting for the same user.
//
// A lock file in the user's runtime folder stands for the running instance; the lock
// of an instance that died is recovered, so a crash never blocks the next start.
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace tavrin::app {

class SingleInstanceGuard {
public:
    // Tries to take the lock at `lockPath`; the default path is per user.
    explicit SingleInstanceGuard(const QString& lockPath = DefaultLockPath());
    // True when another living instance holds the lock.
    bool AnotherInstanceRunning() const { return !held_; }
    static QString DefaultLockPath();

private:
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};

} // namespace tavrin::app
