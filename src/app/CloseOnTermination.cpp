// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CloseOnTermination.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace AppModul {

namespace {

// The write end of the self-pipe, read by the signal handler. Only a handler installed by the
// one CloseOnTermination that exists reads it.
std::atomic<int> g_signalPipe { -1 };

constexpr std::array<int, 3> kCloseSignals { SIGTERM, SIGINT, SIGHUP };
std::array<struct sigaction, 3> g_previous {};

extern "C" void onCloseSignal(int)
{
    const int saved = errno;
    const int fd = g_signalPipe.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

CloseOnTermination::CloseOnTermination()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, m_pipe) == 0) {
        g_signalPipe.store(m_pipe[0]);
        m_notifier = new QSocketNotifier(m_pipe[1], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            drainPipe();
            closeWindow();
        });
        struct sigaction action
        {
        };
        action.sa_handler = onCloseSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kCloseSignals.size(); ++i)
            ::sigaction(kCloseSignals[i], &action, &g_previous[i]);
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
#ifndef QT_NO_SESSIONMANAGER
        connect(
            app, &QGuiApplication::commitDataRequest, this, [this] { closeWindow(); },
            Qt::DirectConnection);
#endif
        connect(
            app, &QCoreApplication::aboutToQuit, this, [this] { closeWindow(); },
            Qt::DirectConnection);
    }
}

CloseOnTermination::~CloseOnTermination()
{
    if (m_notifier) {
        for (std::size_t i = 0; i < kCloseSignals.size(); ++i)
            ::sigaction(kCloseSignals[i], &g_previous[i], nullptr);
        g_signalPipe.store(-1);
        delete m_notifier;
    }
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void CloseOnTermination::setWindow(QWidget* window)
{
    m_window = window;
    if (m_pending)
        closeWindow();
}

void CloseOnTermination::closeWindow()
{
    if (!m_window) {
        m_pending = true;
        return;
    }
    m_pending = false;
    if (!QMetaObject::invokeMethod(m_window, "closeUnattended", Qt::DirectConnection))
        m_window->close();
}

void CloseOnTermination::drainPipe()
{
    char buffer[64];
    while (::read(m_pipe[1], buffer, sizeof buffer) > 0) { }
}

} // namespace AppModul
