// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/RealtimeKit.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <algorithm>
#include <sys/resource.h>

namespace DX7Sound {

namespace {

const QString service = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString path = QStringLiteral("/org/freedesktop/RealtimeKit1");
const QString interface = QStringLiteral("org.freedesktop.RealtimeKit1");
// Above ordinary desktop work, below what the sound server itself takes.
constexpr int wantedPriority = 5;
// The service's usual ceiling of real-time CPU time without a blocking call, in microseconds;
// the audio thread blocks every few milliseconds.
constexpr rlim_t rtTimeLimit = 200000;
constexpr int answerMs = 2000;

bool limitRealtimeCpu()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0)
        return false;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= rtTimeLimit
        && limit.rlim_cur <= rtTimeLimit)
        return true;
    limit.rlim_cur = std::min(limit.rlim_cur, rtTimeLimit);
    limit.rlim_max = std::min(limit.rlim_max, rtTimeLimit);
    return setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

} // namespace

void requestRealtime(long tid)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || tid <= 0)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !limitRealtimeCpu())
        return;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    ask << interface << QStringLiteral("MaxRealtimePriority");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask, answerMs), app);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, app, [tid](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *w;
            if (reply.isError())
                return;
            const int highest = reply.value().variant().toInt();
            if (highest < 1)
                return;
            QDBusMessage make = QDBusMessage::createMethodCall(
                service, path, interface, QStringLiteral("MakeThreadRealtime"));
            make << quint64(tid) << quint32(std::min(highest, wantedPriority));
            // A refusal needs no answer: the thread keeps its ordinary scheduling.
            make.setAutoStartService(false);
            QDBusConnection::systemBus().asyncCall(make, answerMs);
        });
}

} // namespace DX7Sound
