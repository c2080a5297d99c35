// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DisplayCheck.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Commands {

namespace {

const QString kHeadless = QStringLiteral(
    "; run it in a desktop session, or without a screen with QT_QPA_PLATFORM=offscreen "
    "or under xvfb-run.");

// True when a Unix socket at `path` (abstract when `abstract`) accepts a connection.
bool socketAnswers(const QByteArray& path, bool abstract)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + offset, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const auto length
        = socklen_t(offsetof(sockaddr_un, sun_path) + offset + std::size_t(path.size()));
    const bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(fd);
    return answered;
}

// Empty when the X display named by DISPLAY can be reached, else the reason.
QString xProblem(const QString& display)
{
    if (display.isEmpty())
        return QStringLiteral("DISPLAY is not set");
    // ":N", ":N.S" or "unix:N": the local server's socket. Anything else (a host name, as an
    // SSH forwarding gives) is left to Qt.
    static const QRegularExpression local(QStringLiteral("^(?:unix)?:(\\d+)(?:\\.\\d+)?$"));
    const QRegularExpressionMatch match = local.match(display);
    if (!match.hasMatch())
        return {};
    const QByteArray path = "/tmp/.X11-unix/X" + match.captured(1).toLatin1();
    if (socketAnswers(path, true) || socketAnswers(path, false))
        return {};
    return QStringLiteral("no X server answers on DISPLAY=") + display;
}

// Empty when the Wayland compositor named by WAYLAND_DISPLAY can be reached, else the reason.
QString waylandProblem(const QProcessEnvironment& env)
{
    const QString name = env.value(QStringLiteral("WAYLAND_DISPLAY"));
    if (name.isEmpty())
        return QStringLiteral("WAYLAND_DISPLAY is not set");
    const QString path = QDir::isAbsolutePath(name)
        ? name
        : env.value(QStringLiteral("XDG_RUNTIME_DIR")) + QLatin1Char('/') + name;
    if (socketAnswers(QFile::encodeName(path), false))
        return {};
    return QStringLiteral("no Wayland compositor answers on WAYLAND_DISPLAY=") + name;
}

} // namespace

QString MissingDisplayMessage(const QProcessEnvironment& env)
{
    const QString platform
        = env.value(QStringLiteral("QT_QPA_PLATFORM")).section(QLatin1Char(':'), 0, 0);
    const QString display = env.value(QStringLiteral("DISPLAY"));
    QString reason;
    if (env.value(QStringLiteral("QT_QPA_PLATFORM")).contains(QLatin1Char(';')))
        return {}; // a list of platforms to try: Qt picks the first that works
    if (platform.isEmpty()) {
        // Qt tries Wayland or X11, whichever the session offers.
        const QString wayland = waylandProblem(env);
        const QString x = xProblem(display);
        if (wayland.isEmpty() || x.isEmpty())
            return {};
        reason = env.contains(QStringLiteral("WAYLAND_DISPLAY"))
            ? wayland + QStringLiteral(" and ") + x
            : x;
    } else if (platform == QLatin1String("xcb")) {
        reason = xProblem(display);
    } else if (platform.startsWith(QLatin1String("wayland"))) {
        reason = waylandProblem(env);
    }
    if (reason.isEmpty())
        return {};
    return QStringLiteral("sorvanto: cannot open its window: ") + reason + kHeadless;
}

} // namespace Commands
