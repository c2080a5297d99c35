// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

namespace Commands {

// Holds the single-instance lock of one executable path for one user while it lives, and the
// channel through which a later start asks the running one to show its window: a local socket
// beside the lock, in the user's private runtime directory. Created by Main on the GUI thread
// before anything else touches a file; its signal arrives on the GUI thread.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // Tries to take the lock in `lockDir` for the executable at `exePath`; a lock left by a
    // crashed process is taken over.
    // The first one listens for later starts.
    SingleInstance(const QString& lockDir, const QString& exePath);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process holds the lock (no other instance runs).
    bool isFirst() const;

    // For a later start: asks the running instance to show its window. True when it took the
    // request; waits at most about two seconds for that.
    bool askFirstToShow() const;

signals:
    // A later start asked for the window.
    void showRequested();

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_channel;
    QLocalServer* m_server = nullptr;
    bool m_first = false;
};

} // namespace Commands
