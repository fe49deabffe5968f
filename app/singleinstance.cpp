// SPDX-License-Identifier: MIT
#include "singleinstance.h"

#include "stagingfolder.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {

QString folder(const QString &directory)
{
    const QString dir =
        directory.isEmpty()
            ? QFile::decodeName(StagingFolder().location().parent_path().native().c_str())
            : directory;
    QDir().mkpath(dir);
    return dir;
}

constexpr char kToggle[] = "toggle\n";

} // namespace

SingleInstance::SingleInstance(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_socketPath(folder(directory) + QStringLiteral("/QELStashlet.socket"))
    , m_lock(folder(directory) + QStringLiteral("/QELStashlet.lock"))
{
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::claim()
{
    // The lock decides who is first, atomically; a lock left by a crashed
    // run is recognised by its dead owner and taken over.
    if (!m_lock.tryLock(0)) {
        return m_lock.error() == QLockFile::LockFailedError ? Claim::Later : Claim::Failed;
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
    return Claim::First;
}

QString SingleInstance::errorString() const
{
    switch (m_lock.error()) {
    case QLockFile::PermissionError:
        return QStringLiteral("cannot create the lock file %1").arg(m_lock.fileName());
    case QLockFile::UnknownError:
        return QStringLiteral("cannot lock %1").arg(m_lock.fileName());
    default:
        return {};
    }
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
