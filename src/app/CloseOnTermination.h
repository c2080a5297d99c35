// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

namespace AppModul {

// Turns SIGTERM, SIGINT, SIGHUP and the end of the desktop session into a close of the main
// window, exactly as its close box does, so the options are stored. Signals are taken from the
// moment it is made; one that arrives before setWindow() closes the window once the event loop
// runs. At most one exists at a time; it restores the previous signal dispositions when it
// goes. Created and used on the GUI thread (the signal handler only writes one byte to a pipe).
class CloseOnTermination : public QObject
{
    Q_OBJECT
public:
    CloseOnTermination();
    ~CloseOnTermination() override;
    CloseOnTermination(const CloseOnTermination&) = delete;
    CloseOnTermination& operator=(const CloseOnTermination&) = delete;

    // The window to close (not owned; may be destroyed first). It is closed unattended, no
    // box shown on the way out, through its invokable closeUnattended() when it has one (the
    // main window does), else through close().
    void setWindow(QWidget* window);

private:
    void closeWindow();
    void drainPipe();

    QPointer<QWidget> m_window;
    bool m_pending = false;
    int m_pipe[2] = { -1, -1 };
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace AppModul
