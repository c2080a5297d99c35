#pragma once

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Watches one directory and reports that its contents changed, debounced: a burst of changes
// (a copy of a thousand files, an editor's save) gives one report, once the directory has been
// quiet for kQuietMs, and never later than kMaxDelayMs after the first change of the burst, so
// a steady stream of changes still gives a report about once a second. Lives on the GUI thread
// and reports there; the report is a queued timer event, never in the middle of a caller.
class DirectoryWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int kQuietMs = 250;
    static constexpr int kMaxDelayMs = 1000;

    explicit DirectoryWatcher(QObject* parent = nullptr);

    // Watches `dir` instead of the directory watched before; an empty path stops watching. A
    // change still pending for the old directory is dropped. Setting the same directory again
    // keeps a pending report and watches it again if it had been lost (removed, then made anew).
    void setDirectory(const QString& dir);
    // The directory set last ("" when none).
    const QString& directory() const { return m_dir; }
    // True while the operating system reports changes of the directory to this watcher.
    bool isWatching() const;
    // True while a report is due (a change seen, the quiet time not yet over).
    bool isPending() const { return m_timer.isActive(); }

signals:
    // The directory's contents changed (once per burst).
    void changed();

private:
    void noteChange();
    void report();
    void watchAgain();

    QFileSystemWatcher m_watcher;
    QTimer m_timer;
    QElapsedTimer m_firstChange;
    QString m_dir;
};
