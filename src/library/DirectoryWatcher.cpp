#include "library/DirectoryWatcher.h"

#include <QDir>

#include <algorithm>

DirectoryWatcher::DirectoryWatcher(QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &DirectoryWatcher::report);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
        [this](const QString&) { noteChange(); });
}

void DirectoryWatcher::setDirectory(const QString& dir)
{
    if (dir == m_dir) {
        watchAgain();
        return;
    }
    m_timer.stop();
    const QStringList watched = m_watcher.directories();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    m_dir = dir;
    watchAgain();
}

bool DirectoryWatcher::isWatching() const
{
    return !m_watcher.directories().isEmpty();
}

void DirectoryWatcher::watchAgain()
{
    // The system drops a watch whose directory was removed or renamed; a directory made anew
    // under the same name is watched again at the next report or setDirectory.
    if (m_dir.isEmpty() || isWatching() || !QDir(m_dir).exists())
        return;
    m_watcher.addPath(m_dir);
}

void DirectoryWatcher::noteChange()
{
    if (!m_timer.isActive())
        m_firstChange.start();
    // Every change restarts the quiet time, but the report never waits past the longest delay
    // counted from the first change of the burst.
    const qint64 left = kMaxDelayMs - m_firstChange.elapsed();
    m_timer.start(static_cast<int>(std::clamp<qint64>(left, 0, kQuietMs)));
}

void DirectoryWatcher::report()
{
    watchAgain();
    emit changed();
}
