// SPDX-License-Identifier: GPL-3.0-or-later
// The single-instance lock: one holder per executable path, and locks of dead processes taken
// over.
#include "app/SingleInstance.h"
#include "app/FileTestKit.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using Commands::SingleInstance;

namespace {

// The file a SingleInstance made in `dir` ending in `suffix` (there is exactly one).
QString fileIn(const QString& dir, const QString& suffix)
{
    const QStringList files = FileTestKit::entriesOf(dir).filter(suffix);
    return files.size() == 1 ? dir + QLatin1Char('/') + files.first() : QString();
}

QString lockFileIn(const QString& dir)
{
    return fileIn(dir, QStringLiteral(".lock"));
}

// Sends `request` as a later start does and returns the answer, letting the event loop run
// meanwhile (the listening instance lives on this thread).
QByteArray ask(const QString& channel, const QByteArray& request)
{
    QLocalSocket socket;
    socket.connectToServer(channel);
    if (!socket.waitForConnected(2000))
        return "<no connection>";
    socket.write(request);
    socket.flush();
    QByteArray answer;
    (void)QTest::qWaitFor(
        [&] {
            answer += socket.readAll();
            return answer.endsWith('\n') || socket.state() == QLocalSocket::UnconnectedState;
        },
        5000);
    return answer;
}

// The id of a process that has ended and been reaped.
qint64 deadProcessId()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

} // namespace

TEST(SingleInstance, OneHolderPerExecutablePath)
{
    QTemporaryDir dir;
    const QString exe = QStringLiteral("/opt/player/sorvanto");
    {
        SingleInstance first(dir.path(), exe);
        EXPECT_TRUE(first.isFirst());
        SingleInstance second(dir.path(), exe);
        EXPECT_FALSE(second.isFirst());
        SingleInstance other(dir.path(), QStringLiteral("/home/u/build/sorvanto"));
        EXPECT_TRUE(other.isFirst());
    }
    // Both ended: the locks are gone and the next start is first again.
    EXPECT_TRUE(FileTestKit::entriesOf(dir.path()).isEmpty());
    SingleInstance again(dir.path(), exe);
    EXPECT_TRUE(again.isFirst());
}

TEST(SingleInstance, LockOfACrashedProcessIsTakenOver)
{
    QTemporaryDir dir;
    const QString exe = QStringLiteral("/opt/player/sorvanto");
    QString lock;
    {
        SingleInstance probe(dir.path(), exe);
        lock = lockFileIn(dir.path());
    }
    ASSERT_FALSE(lock.isEmpty());

    FileTestKit::writeAll(lock,
        QByteArray::number(deadProcessId()) + "\nsorvanto\n" + QSysInfo::machineHostName().toUtf8()
            + "\n");
    SingleInstance afterCrash(dir.path(), exe);
    EXPECT_TRUE(afterCrash.isFirst());
}

TEST(SingleInstance, UnreadableLockIsTakenOverOnlyOnceItIsOld)
{
    QTemporaryDir dir;
    const QString exe = QStringLiteral("/opt/player/sorvanto");
    QString lock;
    {
        SingleInstance probe(dir.path(), exe);
        lock = lockFileIn(dir.path());
    }
    ASSERT_FALSE(lock.isEmpty());

    FileTestKit::writeAll(lock, "\x01garbage");
    {
        SingleInstance fresh(dir.path(), exe); // perhaps another instance writing it right now
        EXPECT_FALSE(fresh.isFirst());
    }
    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(
        QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    file.close();
    SingleInstance old(dir.path(), exe);
    EXPECT_TRUE(old.isFirst());
}

TEST(SingleInstance, MissingLockDirectoryDoesNotKeepTheProgramFromStarting)
{
    QTemporaryDir dir;
    SingleInstance instance(dir.filePath(QStringLiteral("missing")), QStringLiteral("/x/sorvanto"));
    EXPECT_TRUE(instance.isFirst());
}

TEST(SingleInstance, TheFirstListensPrivatelyForLaterStartsAskingToShowIt)
{
    QTemporaryDir dir;
    const QString exe = QStringLiteral("/opt/player/sorvanto");
    SingleInstance first(dir.path(), exe);
    ASSERT_TRUE(first.isFirst());
    const QString channel = fileIn(dir.path(), QStringLiteral(".sock"));
    ASSERT_FALSE(channel.isEmpty());
    // Only the user may connect.
    const QFileInfo info(channel);
    EXPECT_FALSE(info.permissions()
        & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
            | QFileDevice::WriteOther));

    QSignalSpy shown(&first, &SingleInstance::showRequested);
    EXPECT_EQ(ask(channel, "show\n"), QByteArray("ok\n"));
    (void)QTest::qWaitFor([&] { return shown.count() > 0; }, 2000);
    EXPECT_EQ(shown.count(), 1);
    // Anything else is answered but shows nothing.
    ask(channel, "exit\n");
    ask(channel, QByteArray(200, 'x') + "\n");
    QTest::qWait(100);
    EXPECT_EQ(shown.count(), 1);

    // A later start finds the channel; the first one does not ask itself.
    const SingleInstance second(dir.path(), exe);
    EXPECT_FALSE(second.isFirst());
    EXPECT_FALSE(first.askFirstToShow());
}

TEST(SingleInstance, ASocketLeftByACrashedProcessIsReplacedAndALaterStartWithoutListenerGivesUp)
{
    QTemporaryDir dir;
    const QString exe = QStringLiteral("/opt/player/sorvanto");
    QString channel;
    {
        SingleInstance probe(dir.path(), exe);
        channel = fileIn(dir.path(), QStringLiteral(".sock"));
    }
    ASSERT_FALSE(channel.isEmpty());
    FileTestKit::writeAll(channel, "left behind");
    SingleInstance first(dir.path(), exe);
    ASSERT_TRUE(first.isFirst());
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    EXPECT_EQ(ask(channel, "show\n"), QByteArray("ok\n"));
    (void)QTest::qWaitFor([&] { return shown.count() > 0; }, 2000);
    EXPECT_EQ(shown.count(), 1);

    // A running instance that does not listen (an older build): the later start only ends.
    QFile::remove(channel);
    const SingleInstance later(dir.path(), exe);
    ASSERT_FALSE(later.isFirst());
    EXPECT_FALSE(later.askFirstToShow());
}
