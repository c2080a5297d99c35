// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <sys/types.h>

class QSocketNotifier;

// Watches one directory by its path and reports that what the path shows changed, debounced: a
// burst of changes (a copy of a thousand files, an editor's save) gives one report, once the
// directory has been quiet for kQuietMs, and never later than kMaxDelayMs after the first change
// of the burst, so a steady stream of changes still gives a report about once a second.
//
// The path is followed, not the folder that first stood there: the directory deleted, made
// anew, renamed away and replaced by another folder or a symbolic link, made unreadable or
// readable again, each is reported and the watch moves to whatever the path names now. For
// that the system is asked to report changes of the directory's contents and of the entry that
// names it in its parent (or in the nearest folder above that exists). Where the system refuses
// a watch (its watch limit reached), the directory is looked at every kPollMs instead, and that
// is noted once on stderr.
//
// Lives on the GUI thread and reports there; the report is a queued timer event, never in the
// middle of a caller.
class DirectoryWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int kQuietMs = 250;
    static constexpr int kMaxDelayMs = 1000;
    static constexpr int kPollMs = 2000;

    explicit DirectoryWatcher(QObject* parent = nullptr);
    ~DirectoryWatcher() override;
    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

    // Watches `dir` instead of the directory watched before; an empty path stops watching. A
    // change still pending for the old directory is dropped. Setting the same directory again
    // keeps a pending report.
    void setDirectory(const QString& dir);
    // The directory set last ("" when none).
    const QString& directory() const { return m_dir; }
    // True while the system reports changes of the directory's contents to this watcher (false
    // while the path names no directory, or the directory is polled).
    bool isWatching() const;
    // True while the directory is looked at every kPollMs because the system refused a watch.
    bool isPolling() const { return m_poll.isActive(); }
    // True while a report is due (a change seen, the quiet time not yet over).
    bool isPending() const { return m_timer.isActive(); }

signals:
    // What the directory's path shows changed (once per burst).
    void changed();

private:
    // What the path showed at the last look: the folder it names and its permissions; when
    // polling, also a digest of its entries' names.
    struct Look
    {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        mode_t mode = 0;
        uid_t owner = 0;
        gid_t group = 0;
        bool listed = false;
        quint64 names = 0;
        qint64 modified = 0;
        bool operator==(const Look&) const = default;
    };
    Look look(bool withNames) const;

    void arm();
    void disarm();
    void startPolling(int error);
    void pollOnce();
    void readEvents();
    void noteChange();
    void report();

    QString m_dir;
    QByteArray m_path; // m_dir without its trailing '/', in the file system's encoding
    int m_inotify = -1;
    QSocketNotifier* m_notifier = nullptr;
    int m_dirWatch = -1; // the directory's contents
    dev_t m_watchedDevice = 0; // the folder m_dirWatch was made for
    ino_t m_watchedInode = 0;
    int m_anchorWatch = -1; // the nearest existing folder above it
    QByteArray m_anchorName; // the entry of the anchor that leads to the directory
    Look m_seen;
    bool m_refused = false; // the system refused a watch for this directory: polling
    bool m_noted = false; // the refusal was noted on stderr
    QTimer m_timer;
    QTimer m_poll;
    QElapsedTimer m_firstChange;
};
