// SPDX-License-Identifier: GPL-3.0-or-later
// Following the sound directory: the quiet update that keeps each list's selection by name, and
// the debounced watcher on a real directory (the burst of a thousand files is tested on the
// whole window).
#include "library/DirectoryWatcher.h"
#include "library/FollowDirectory.h"

#include "app/FileTestKit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Library;

TEST(FollowDirectory, SelectionsStayOnTheirNamesWhileRowsMove)
{
    // A file sorted in front moves b_1 down a row; gone_3 is gone.
    const QStringList names { "0new_1.wav", "a_1.wav", "b_1.wav", "b_2.wav", "Default.wav" };
    const auto out = FollowDirectory(names, 0, { "b_1", "Default", "gone_3" });
    EXPECT_EQ(out.entries[0], QStringList({ "0new_1", "a_1", "b_1", "Default" }));
    EXPECT_EQ(out.entries[1], QStringList({ "b_2", "Default" }));
    EXPECT_EQ(out.selectedRow, (std::array<int, 3> { 2, 1, -1 }));
    // With the extension shown the kept names must carry it too.
    EXPECT_EQ(FollowDirectory(names, 1, { "a_1.wav", "", "b_2" }).selectedRow,
        (std::array<int, 3> { 1, -1, -1 }));

    // Another program changed only the spelling: the exact name first, else any case.
    const QStringList entries { "intro_1", "Intro_1x", "INTRO_1" };
    EXPECT_EQ(RowOfEntry(entries, "INTRO_1"), 2);
    EXPECT_EQ(RowOfEntry(entries, "Intro_1"), 0);
    EXPECT_EQ(RowOfEntry(entries, "intro"), -1);
    EXPECT_EQ(RowOfEntry(entries, ""), -1);
}

namespace {

class WatchedDir : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        watcher.setDirectory(dir());
        ASSERT_TRUE(watcher.isWatching());
    }
    QString dir() const { return m_dir.path() + QLatin1Char('/'); }
    void touch(const QString& name) { FileTestKit::writeAll(dir() + name, "RIFF"); }

    QTemporaryDir m_dir;
    DirectoryWatcher watcher;
    QSignalSpy changed { &watcher, &DirectoryWatcher::changed };
};

} // namespace

TEST_F(WatchedDir, AddedRenamedAndRemovedFilesAreReportedOnceQuiet)
{
    QElapsedTimer clock;
    clock.start();
    touch("new_1.wav");
    ASSERT_TRUE(changed.wait(5000));
    // A timer never fires early: the report waited for the quiet time.
    EXPECT_GE(clock.elapsed(), DirectoryWatcher::kQuietMs - 20);

    changed.clear();
    QFile::rename(dir() + "new_1.wav", dir() + "n_1.wav");
    EXPECT_TRUE(changed.wait(5000));
    changed.clear();
    QFile::remove(dir() + "n_1.wav");
    EXPECT_TRUE(changed.wait(5000));
    changed.clear();
    QTest::qWait(DirectoryWatcher::kQuietMs * 2);
    EXPECT_EQ(changed.count(), 0) << "nothing more without a change";
}

TEST_F(WatchedDir, AStreamOfChangesIsStillReported)
{
    // A change every 50 ms never leaves the directory quiet; if only quiet counted, no report
    // would come while the stream goes on (here: for up to ten longest delays).
    QElapsedTimer clock;
    clock.start();
    int i = 0;
    while (changed.isEmpty() && clock.elapsed() < 10 * DirectoryWatcher::kMaxDelayMs) {
        touch(QStringLiteral("s%1.wav").arg(i++));
        QTest::qWait(50);
    }
    EXPECT_EQ(changed.count(), 1) << "no report during " << i << " changes";
}

TEST_F(WatchedDir, FollowsTheDirectorySetLastAndOneMadeAnew)
{
    QTemporaryDir other;
    touch("a.wav");
    QCoreApplication::processEvents();
    watcher.setDirectory(other.path() + "/");
    EXPECT_FALSE(watcher.isPending()) << "a change of the old directory is dropped";
    touch("b.wav");
    QTest::qWait(DirectoryWatcher::kQuietMs * 2);
    EXPECT_EQ(changed.count(), 0);

    // Set to a directory that does not exist yet: its making is reported.
    const QString later = dir() + "later/";
    watcher.setDirectory(later);
    EXPECT_FALSE(watcher.isWatching());
    changed.clear();
    ASSERT_TRUE(QDir().mkpath(later));
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_TRUE(watcher.isWatching());
}

namespace {

// The sound directory at <tmp>/music/sounds/, watched by its path.
class FollowedPath : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        ASSERT_TRUE(QDir().mkpath(sounds()));
        touch(sounds() + "a_1.wav");
        watcher.setDirectory(sounds());
        ASSERT_TRUE(watcher.isWatching());
    }
    QString root() const { return m_root.path() + QLatin1Char('/'); }
    QString sounds() const { return root() + "music/sounds/"; }
    static void touch(const QString& path) { FileTestKit::writeAll(path, "RIFF"); }
    // One report within a second (the longest delay) and a little slack for a busy machine.
    bool reported()
    {
        const bool got = changed.wait(DirectoryWatcher::kMaxDelayMs + 500);
        changed.clear();
        return got;
    }
    bool quiet()
    {
        QTest::qWait(DirectoryWatcher::kQuietMs * 3);
        const bool none = changed.isEmpty();
        changed.clear();
        return none;
    }

    QTemporaryDir m_root;
    DirectoryWatcher watcher;
    QSignalSpy changed { &watcher, &DirectoryWatcher::changed };
};

} // namespace

TEST_F(FollowedPath, DeletedAndMadeAgainIsFollowedWithoutBeingSetAgain)
{
    ASSERT_TRUE(QDir(sounds()).removeRecursively());
    EXPECT_TRUE(reported());
    EXPECT_FALSE(watcher.isWatching());

    ASSERT_TRUE(QDir().mkpath(sounds()));
    EXPECT_TRUE(reported());
    EXPECT_TRUE(watcher.isWatching());
    touch(sounds() + "b_1.wav");
    EXPECT_TRUE(reported()) << "the new folder's contents are watched";

    // The folder above goes too, and comes back with the directory in it.
    ASSERT_TRUE(QDir(root() + "music").removeRecursively());
    EXPECT_TRUE(reported());
    ASSERT_TRUE(QDir().mkpath(root() + "music"));
    EXPECT_TRUE(quiet()) << "the folder above alone is not the directory";
    ASSERT_TRUE(QDir().mkpath(sounds()));
    EXPECT_TRUE(reported());
    touch(sounds() + "c_1.wav");
    EXPECT_TRUE(reported());
}

TEST_F(FollowedPath, ReplacedByALinkOrAnotherFolderTheNewOneIsFollowedAndTheOldOneNot)
{
    // The way sync tools swap folders: the old one renamed away, a link put in its place.
    const QString target = root() + "synced/";
    ASSERT_TRUE(QDir().mkpath(target));
    const QString away = root() + "music/sounds.old";
    ASSERT_TRUE(QDir().rename(sounds(), away));
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                  QFile::encodeName(root() + "music/sounds").constData()),
        0);
    EXPECT_TRUE(reported());
    EXPECT_TRUE(watcher.isWatching());

    touch(away + "/old_1.wav");
    EXPECT_TRUE(quiet()) << "the renamed-away folder is no longer the directory";
    touch(target + "new_1.wav");
    EXPECT_TRUE(reported());

    // The link pointed elsewhere (replaced in one step, as `ln -sfn` does).
    const QString other = root() + "other/";
    ASSERT_TRUE(QDir().mkpath(other));
    ASSERT_EQ(::symlink(QFile::encodeName(other).constData(),
                  QFile::encodeName(root() + "music/next").constData()),
        0);
    ASSERT_EQ(::rename(QFile::encodeName(root() + "music/next").constData(),
                  QFile::encodeName(root() + "music/sounds").constData()),
        0);
    EXPECT_TRUE(reported());
    touch(target + "stale_1.wav");
    EXPECT_TRUE(quiet());
    touch(other + "x_1.wav");
    EXPECT_TRUE(reported());

    // A plain folder moved into the link's place.
    ASSERT_TRUE(QFile::remove(root() + "music/sounds"));
    EXPECT_TRUE(reported());
    ASSERT_TRUE(QDir().rename(away, root() + "music/sounds"));
    EXPECT_TRUE(reported());
    touch(sounds() + "back_1.wav");
    EXPECT_TRUE(reported());
}

TEST_F(FollowedPath, MadeUnreadableAndReadableAgainIsReportedBothWays)
{
    const QByteArray native = QFile::encodeName(sounds());
    FileTestKit::ObeyPermissions obey;
    if (!obey.active())
        GTEST_SKIP() << "permissions cannot be made to count here";
    ASSERT_EQ(::chmod(native.constData(), 0), 0);
    EXPECT_TRUE(reported());
    ASSERT_EQ(::chmod(native.constData(), 0755), 0);
    EXPECT_TRUE(reported());
    EXPECT_TRUE(watcher.isWatching());
    touch(sounds() + "b_1.wav");
    EXPECT_TRUE(reported());

    // Reached through a link: only the target's permissions change, not the link's entry.
    const QString target = root() + "target/";
    ASSERT_TRUE(QDir().mkpath(target));
    ASSERT_TRUE(QDir(sounds()).removeRecursively());
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                  QFile::encodeName(root() + "music/sounds").constData()),
        0);
    EXPECT_TRUE(reported());
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0), 0);
    EXPECT_TRUE(reported());
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0755), 0);
    EXPECT_TRUE(reported());
}

// The system's watch limit at 0 in a user namespace of its own: the watcher polls every two
// seconds, says so once on stderr, and still follows additions, deletion and making anew. The
// test runs itself again inside such a namespace (unshare), where it does the real work.
TEST(WatchLimit, ARefusedWatchFallsBackToPollingAndSaysSoOnce)
{
    if (qEnvironmentVariableIsSet("SORVANTO_WATCH_LIMIT_ZERO")) {
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        const QString sounds = root.path() + "/sounds/";
        ASSERT_TRUE(QDir().mkpath(sounds));
        DirectoryWatcher watcher;
        QSignalSpy changed(&watcher, &DirectoryWatcher::changed);
        watcher.setDirectory(sounds);
        ASSERT_TRUE(watcher.isPolling());
        EXPECT_FALSE(watcher.isWatching());
        const int within = DirectoryWatcher::kPollMs + DirectoryWatcher::kQuietMs + 1000;
        FileTestKit::writeAll(sounds + "a_1.wav", "RIFF");
        EXPECT_TRUE(changed.wait(within));
        changed.clear();
        ASSERT_TRUE(QDir(sounds).removeRecursively());
        EXPECT_TRUE(changed.wait(within));
        changed.clear();
        ASSERT_TRUE(QDir().mkpath(sounds));
        EXPECT_TRUE(changed.wait(within));
        changed.clear();
        QTest::qWait(DirectoryWatcher::kPollMs + 500);
        EXPECT_EQ(changed.count(), 0) << "nothing more without a change";
        // Another directory: refused again, but not said again.
        watcher.setDirectory(root.path() + "/");
        EXPECT_TRUE(watcher.isPolling());
        return;
    }
    QProcess unshare;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SORVANTO_WATCH_LIMIT_ZERO"), QStringLiteral("1"));
    // The leak check's helper thread cannot be relied on inside the namespace.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:abort_on_error=1"));
    unshare.setProcessEnvironment(env);
    unshare.start(QStringLiteral("unshare"),
        { QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("sh"),
            QStringLiteral("-c"),
            QStringLiteral("echo 0 > /proc/sys/user/max_inotify_watches || exit 77; exec \"$0\" "
                           "--gtest_filter=WatchLimit.*"),
            QCoreApplication::applicationFilePath() });
    if (!unshare.waitForStarted(10000))
        GTEST_SKIP() << "unshare cannot be run here";
    ASSERT_TRUE(unshare.waitForFinished(60000));
    const QByteArray err = unshare.readAllStandardError();
    const QByteArray out = unshare.readAllStandardOutput();
    if (unshare.exitCode() == 77 || err.contains("unshare failed"))
        GTEST_SKIP() << "no user namespace with its own watch limit here: " << err.constData();
    EXPECT_EQ(unshare.exitCode(), 0) << out.constData() << err.constData();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.constData();
    EXPECT_EQ(err.count("sorvanto: the system refuses to watch '"), 1) << err.constData();
    EXPECT_TRUE(
        err.contains("(No space left on device); it is looked at every 2 seconds instead.\n"))
        << err.constData();
}
