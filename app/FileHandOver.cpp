#include "app/FileHandOver.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>

namespace tavrin::app {
namespace {

// Marks a message of this program, so that a stray client is not taken for one.
constexpr quint32 kMessageMagic = 0x544C4631; // "TLF1"
constexpr char kTaken = 'k';
// Far more than any file list a desktop hands over; a client sending more is dropped.
constexpr qint64 kMaxMessageBytes = 4 * 1024 * 1024;

} // namespace

FileHandOver::FileHandOver(QObject* parent)
    : QObject(parent)
    , server_(new QLocalServer(this))
{
    // Other users may not hand files to this user's window.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &FileHandOver::OnNewConnection);
}

QString FileHandOver::SocketPathForLock(const QString& lockPath)
{
    QString path = lockPath;
    if (path.endsWith(QLatin1String(".lock")))
        path.chop(5);
    return path + QStringLiteral(".socket");
}

bool FileHandOver::Listen(const QString& socketPath)
{
    QLocalServer::removeServer(socketPath);
    return server_->listen(socketPath);
}

void FileHandOver::OnNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void FileHandOver::OnReadyRead(QLocalSocket* socket)
{
    if (socket->bytesAvailable() > kMaxMessageBytes) {
        socket->abort();
        return;
    }
    QDataStream in(socket);
    in.setVersion(QDataStream::Qt_6_0);
    in.startTransaction();
    quint32 magic = 0;
    in >> magic;
    if (in.status() == QDataStream::Ok && magic != kMessageMagic) {
        // Not one of ours: drop it at once rather than wait for a list that never comes.
        socket->abort();
        return;
    }
    QStringList files;
    in >> files;
    if (!in.commitTransaction())
        return; // the rest is still on its way
    socket->write(&kTaken, 1);
    socket->flush();
    emit filesReceived(files);
    socket->disconnectFromServer();
}

bool FileHandOver::Send(const QString& socketPath, const QStringList& files, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    {
        QDataStream out(&message, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << kMessageMagic << files;
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(timeoutMs))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    char answer = 0;
    return socket.read(&answer, 1) == 1 && answer == kTaken;
}

} // namespace tavrin::app
