// Hands the files of a second start to the instance that already runs, so that a
// double-click on a file while the window is open adds the file to its list.
//
// The running instance listens on a local socket kept next to its single-instance lock
// (per user, in the user's runtime folder); a second start connects, sends its files
// and waits until they were taken.
#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace tavrin::app {

class FileHandOver : public QObject {
    Q_OBJECT
public:
    explicit FileHandOver(QObject* parent = nullptr);

    // Starts listening. Only the holder of the single-instance lock calls it, so a
    // socket left by an instance that died can safely be replaced.
    bool Listen(const QString& socketPath);
    // From a second start: sends `files` to the instance listening at `socketPath`.
    // True once that instance confirmed it took them.
    static bool Send(const QString& socketPath, const QStringList& files, int timeoutMs = 5000);
    // The socket that belongs to the lock file at `lockPath`.
    static QString SocketPathForLock(const QString& lockPath);

signals:
    void filesReceived(const QStringList& files);

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);

    QLocalServer* server_ = nullptr;
};

} // namespace tavrin::app
