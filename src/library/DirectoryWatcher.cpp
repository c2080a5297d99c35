// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/DirectoryWatcher.h"

#include "app/FileNames.h"

#include <QDir>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The directory's own contents and attributes, and the directory itself going or moving.
constexpr uint32_t kContentEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB
    | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The folder above: entries made, removed, renamed or changed (the name is checked), and the
// folder itself going.
constexpr uint32_t kAnchorEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB
    | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t kSelfGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

// Errors of inotify_add_watch that say the system will not watch (its limits), as opposed to a
// path that cannot be watched now (missing, not a folder, not readable).
bool refusal(int error)
{
    return error == ENOSPC || error == ENOMEM || error == EMFILE || error == ENFILE;
}

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

DirectoryWatcher::DirectoryWatcher(QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &DirectoryWatcher::report);
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &DirectoryWatcher::pollOnce);
}

DirectoryWatcher::~DirectoryWatcher()
{
    disarm();
}

void DirectoryWatcher::setDirectory(const QString& dir)
{
    if (dir == m_dir) {
        if (!m_refused)
            arm();
        return;
    }
    m_timer.stop();
    m_poll.stop();
    disarm();
    m_dir = dir;
    m_refused = false;
    m_path.clear();
    if (m_dir.isEmpty())
        return;
    m_path = Commands::NativePath(QDir::cleanPath(m_dir));
    arm();
    m_seen = look(m_refused);
}

bool DirectoryWatcher::isWatching() const
{
    return !m_refused && m_dirWatch >= 0;
}

DirectoryWatcher::Look DirectoryWatcher::look(bool withNames) const
{
    Look now;
    struct stat st
    {
    };
    if (m_path.isEmpty() || ::stat(m_path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return now;
    now.exists = true;
    now.device = st.st_dev;
    now.inode = st.st_ino;
    now.mode = st.st_mode;
    now.owner = st.st_uid;
    now.group = st.st_gid;
    if (!withNames)
        return now;
    // Polling: the names themselves, in any order (a sum of their hashes), and the folder's
    // modification time, which moves with every entry made, removed or renamed.
    now.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    DIR* d = ::opendir(m_path.constData());
    if (!d)
        return now;
    now.listed = true;
    while (const dirent* e = ::readdir(d))
        now.names += qHash(QByteArrayView(e->d_name, qsizetype(std::strlen(e->d_name))), 1);
    ::closedir(d);
    return now;
}

// Points the watches at what the path names now: the directory (when it is one and readable)
// and the nearest existing folder above it. A refusal of the system switches to polling.
void DirectoryWatcher::arm()
{
    if (m_path.isEmpty() || m_refused)
        return;
    if (m_inotify < 0) {
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify < 0) {
            startPolling(errno);
            return;
        }
        m_notifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &DirectoryWatcher::readEvents);
    }

    struct stat st
    {
    };
    const bool named = ::stat(m_path.constData(), &st) == 0;
    int dirWatch = ::inotify_add_watch(m_inotify, m_path.constData(), kContentEvents);
    if (dirWatch < 0) {
        if (refusal(errno)) {
            startPolling(errno);
            return;
        }
        // The same folder made unreadable keeps the watch it had: its becoming readable again
        // is seen there (its own entry in the folder above may not change at all).
        if (m_dirWatch >= 0 && named && st.st_dev == m_watchedDevice && st.st_ino == m_watchedInode)
            dirWatch = m_dirWatch;
    } else if (named) {
        m_watchedDevice = st.st_dev;
        m_watchedInode = st.st_ino;
    }
    // A watch of a folder that no longer stands at the path (renamed away) must not report.
    if (m_dirWatch >= 0 && m_dirWatch != dirWatch)
        ::inotify_rm_watch(m_inotify, m_dirWatch);
    m_dirWatch = dirWatch;

    QByteArray anchor = parentOf(m_path);
    QByteArray name = m_path.mid(m_path.lastIndexOf('/') + 1);
    int anchorWatch = -1;
    while (!name.isEmpty()) {
        anchorWatch = ::inotify_add_watch(m_inotify, anchor.constData(), kAnchorEvents);
        if (anchorWatch >= 0)
            break;
        if (refusal(errno)) {
            startPolling(errno);
            return;
        }
        if (anchor == "/")
            break;
        name = anchor.mid(anchor.lastIndexOf('/') + 1);
        anchor = parentOf(anchor);
    }
    if (m_anchorWatch >= 0 && m_anchorWatch != anchorWatch && m_anchorWatch != m_dirWatch)
        ::inotify_rm_watch(m_inotify, m_anchorWatch);
    m_anchorWatch = anchorWatch;
    m_anchorName = name;
}

void DirectoryWatcher::disarm()
{
    // The notifier may be the one whose signal runs right now: it goes once that returned.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
    }
    m_notifier = nullptr;
    if (m_inotify >= 0)
        ::close(m_inotify);
    m_inotify = -1;
    m_dirWatch = -1;
    m_anchorWatch = -1;
    m_anchorName.clear();
}

void DirectoryWatcher::startPolling(int error)
{
    disarm();
    m_refused = true;
    if (!m_noted) {
        m_noted = true;
        char buffer[256];
        const QByteArray line = "sorvanto: the system refuses to watch '"
            + Commands::NativePath(m_dir) + "' (" + ::strerror_r(error, buffer, sizeof buffer)
            + "); it is looked at every " + QByteArray::number(kPollMs / 1000)
            + " seconds instead.\n";
        std::fputs(line.constData(), stderr);
        std::fflush(stderr);
    }
    m_seen = look(true);
    m_poll.start();
}

void DirectoryWatcher::pollOnce()
{
    const Look now = look(true);
    if (now == m_seen)
        return;
    m_seen = now;
    noteChange();
}

void DirectoryWatcher::readEvents()
{
    alignas(inotify_event) char buffer[16384];
    bool contents = false;
    bool entry = false;
    for (;;) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                contents = entry = true;
            } else if (event->wd == m_dirWatch && m_dirWatch >= 0) {
                contents = true;
                if (event->mask & kSelfGone)
                    entry = true;
            } else if (event->wd == m_anchorWatch && m_anchorWatch >= 0) {
                if ((event->mask & kSelfGone)
                    || (event->len > 0 && std::strcmp(m_anchorName.constData(), event->name) == 0))
                    entry = true;
            }
        }
    }
    if (entry) {
        // The path may name another folder now, or none: watch what it names, and report when
        // that differs from what it named before (or its permissions changed).
        arm();
        const Look now = look(m_refused);
        if (now != m_seen)
            contents = true;
        m_seen = now;
    }
    if (contents)
        noteChange();
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
    if (!m_refused) {
        arm();
        m_seen = look(false);
    }
    emit changed();
}
