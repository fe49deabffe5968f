// SPDX-License-Identifier: MIT
#include "singleinstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

QString folder(const QString &directory)
{
    QString dir = directory.isEmpty()
                      ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                      : directory;
    QDir().mkpath(dir);
    return dir;
}

constexpr char kToggle[] = "toggle\n";

} // namespace

SingleInstance::SingleInstance(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_socketPath(folder(directory) + QStringLiteral("/qel-stashlet.socket"))
    , m_lock(folder(directory) + QStringLiteral("/qel-stashlet.lock"))
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    // The lock decides who is first, atomically; a lock left by a crashed
    // run is recognised by its dead owner and taken over.
    if (!m_lock.tryLock(0)) {
        return false;
    }
    QLocalServer::removeServer(m_socketPath); // a socket file left by a crash
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("toggle")) {
                    Q_EMIT toggleRequested();
                }
            });
        }
    });
    m_server->listen(m_socketPath);
    return true;
}

bool SingleInstance::askFirstToToggle()
{
    // The first may hold the lock a moment before it listens: try a while.
    for (int attempt = 0; attempt < 20; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(100)) {
            socket.write(kToggle);
            socket.waitForBytesWritten(500);
            socket.disconnectFromServer();
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}
