// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <cerrno>
#include <csignal>

namespace Commands {

namespace {

// A lock file whose owner cannot be read is only taken for abandoned after this long, so a
// lock that another instance is writing at this very moment is not stolen.
constexpr qint64 kUnreadableLockAgeMs = 5000;

// How long a later start waits for the running instance to take its request.
constexpr int kShowRequestTimeoutMs = 2000;

// What a later start sends; anything else on the channel is ignored.
constexpr char kShowRequest[] = "show\n";

QString lockPathFor(const QString& lockDir, const QString& exePath)
{
    const QString canonical = QFileInfo(exePath).canonicalFilePath();
    const QByteArray key = (canonical.isEmpty() ? exePath : canonical).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex();
    QString dir = lockDir;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir + QStringLiteral("sorvanto-") + QString::fromLatin1(hash.left(24))
        + QStringLiteral(".lock");
}

// True when the lock at `path` was left behind: its process is gone, or its contents
// cannot be read and the file is not fresh.
bool isAbandoned(QLockFile& lock, const QString& path)
{
    qint64 pid = 0;
    QString host, app;
    if (lock.getLockInfo(&pid, &host, &app) && pid > 0) {
        if (host != QSysInfo::machineHostName())
            return false;
        return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
    }
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    return info.lastModified().msecsTo(QDateTime::currentDateTime()) > kUnreadableLockAgeMs;
}

} // namespace

SingleInstance::SingleInstance(const QString& lockDir, const QString& exePath)
{
    if (lockDir.isEmpty()) {
        m_first = true; // no private directory for the lock: run rather than refuse to start
        return;
    }
    const QString path = lockPathFor(lockDir, exePath);
    m_lock = std::make_unique<QLockFile>(path);
    // A running instance may hold the lock for days: never treat a lock as stale by its age.
    m_lock->setStaleLockTime(0);
    m_first = m_lock->tryLock(0);
    if (!m_first && m_lock->error() == QLockFile::LockFailedError && isAbandoned(*m_lock, path)) {
        m_lock->removeStaleLockFile();
        m_first = m_lock->tryLock(0);
    }
    // A lock that cannot be created at all (unwritable directory) says nothing about another
    // instance; refusing to start would lock the user out for good.
    if (!m_first && m_lock->error() != QLockFile::LockFailedError)
        m_first = true;

    m_channel = path.chopped(int(sizeof ".lock") - 1) + QStringLiteral(".sock");
    if (!m_first)
        return;
    // The lock is ours, so a socket file left there belongs to a process that is gone.
    QLocalServer::removeServer(m_channel);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_channel))
        return; // a later start then only exits, as it would without the channel
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine()) {
                    // A request is one short line; anything longer is no request of ours.
                    if (client->bytesAvailable() > 64)
                        client->abort();
                    return;
                }
                const bool show = client->readLine(64) == kShowRequest;
                client->write("ok\n");
                client->disconnectFromServer();
                if (show)
                    emit showRequested();
            });
        }
    });
}

bool SingleInstance::askFirstToShow() const
{
    if (m_first || m_channel.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_channel);
    if (!socket.waitForConnected(kShowRequestTimeoutMs))
        return false;
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(kShowRequestTimeoutMs))
        return false;
    // The answer says that the running instance has read the request.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kShowRequestTimeoutMs))
            return false;
    }
    return socket.readLine(64) == "ok\n";
}

SingleInstance::~SingleInstance()
{
    // The server goes before the lock, so that the next holder finds no listener.
    delete m_server;
    m_server = nullptr;
}

bool SingleInstance::isFirst() const
{
    return m_first;
}

} // namespace Commands
