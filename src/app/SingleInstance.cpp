#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <csignal>

namespace Commands {

namespace {

// A lock file whose owner cannot be read is only taken for abandoned after this long, so a
// lock that another instance is writing at this very moment is not stolen.
constexpr qint64 kUnreadableLockAgeMs = 5000;

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
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::isFirst() const
{
    return m_first;
}

} // namespace Commands
