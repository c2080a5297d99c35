// Following the sound directory: the quiet update that keeps each list's selection by name, and
// the debounced watcher on a real directory (the burst of a thousand files is tested on the
// whole window).
#include "library/DirectoryWatcher.h"
#include "library/FollowDirectory.h"

#include "app/FileTestKit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

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

    // Removed: one report, and the watch is gone; made anew and set again: watched again.
    const QString sub = dir() + "sounds/";
    ASSERT_TRUE(QDir().mkpath(sub));
    watcher.setDirectory(sub);
    ASSERT_TRUE(QDir(sub).removeRecursively());
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_FALSE(watcher.isWatching());
    ASSERT_TRUE(QDir().mkpath(sub));
    watcher.setDirectory(sub);
    changed.clear();
    FileTestKit::writeAll(sub + "x.wav", "RIFF");
    EXPECT_TRUE(changed.wait(5000));
}
