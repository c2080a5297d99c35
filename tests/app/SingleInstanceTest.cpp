// The single-instance lock: one holder per executable path, and locks of dead processes taken
// over.
#include "app/SingleInstance.h"
#include "app/FileTestKit.h"

#include <QDateTime>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using Commands::SingleInstance;

namespace {

// The lock file a SingleInstance made in `dir` (there is exactly one).
QString lockFileIn(const QString& dir)
{
    const QStringList files = FileTestKit::entriesOf(dir);
    return files.size() == 1 ? dir + QLatin1Char('/') + files.first() : QString();
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
