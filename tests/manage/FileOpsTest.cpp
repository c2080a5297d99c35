// SPDX-License-Identifier: GPL-3.0-or-later
#include "manage/FileOps.h"
#include "ManageTestSupport.h"
#include "app/FileNames.h"
#include "app/FileTestKit.h"

#include <QDateTime>
#include <QUrl>

#include <QTemporaryDir>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace ManageTest;

// Trash placement is steered through XDG_DATA_HOME; restored afterwards.
class TrashHome
{
public:
    explicit TrashHome(const QString& dataHome)
        : m_saved(qgetenv("XDG_DATA_HOME"))
        , m_had(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
    }
    ~TrashHome()
    {
        if (m_had)
            qputenv("XDG_DATA_HOME", m_saved);
        else
            qunsetenv("XDG_DATA_HOME");
    }

private:
    QByteArray m_saved;
    bool m_had;
};

class FileOpsTest : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir dir;
};

TEST_F(FileOpsTest, RenameNoReplaceMovesAndRefusesExistingTarget)
{
    ASSERT_TRUE(writeFile(path("a.wav"), "A"));
    ASSERT_TRUE(writeFile(path("b.wav"), "B"));
    EXPECT_FALSE(FileOps::RenameNoReplace(path("a.wav"), path("b.wav")));
    EXPECT_EQ(readFile(path("a.wav")), "A");
    EXPECT_EQ(readFile(path("b.wav")), "B");
    EXPECT_TRUE(FileOps::RenameNoReplace(path("a.wav"), path("c.wav")));
    EXPECT_EQ(listing(dir.path()), (QStringList { "b.wav", "c.wav" }));
    EXPECT_EQ(readFile(path("c.wav")), "A");
    EXPECT_FALSE(FileOps::RenameNoReplace(path("missing.wav"), path("d.wav")));
    EXPECT_FALSE(FileOps::RenameNoReplace(path("c.wav"), path("c.wav")));
    EXPECT_EQ(readFile(path("c.wav")), "A");
}

TEST_F(FileOpsTest, LinkFallbackNeverReplacesAndLeavesOneName)
{
    ASSERT_TRUE(writeFile(path("a.wav"), "A"));
    ASSERT_TRUE(writeFile(path("b.wav"), "B"));
    EXPECT_FALSE(FileOps::RenameByLink(path("a.wav"), path("b.wav")));
    EXPECT_EQ(readFile(path("a.wav")), "A");
    EXPECT_EQ(readFile(path("b.wav")), "B");
    EXPECT_TRUE(FileOps::RenameByLink(path("a.wav"), path("c.wav")));
    EXPECT_EQ(listing(dir.path()), (QStringList { "b.wav", "c.wav" }));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path("c.wav")).constData(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_FALSE(FileOps::RenameByLink(path("missing.wav"), path("d.wav")));
    EXPECT_EQ(listing(dir.path()), (QStringList { "b.wav", "c.wav" }));
}

// A second thread creates the target at an unknown moment around the rename: whatever the
// order, no content is ever lost.
TEST_F(FileOpsTest, TargetAppearingAtTheLastMomentIsNeverReplaced)
{
    for (bool byLink : { false, true }) {
        for (int round = 0; round < 150; ++round) {
            const QString from = path(QStringLiteral("src%1-%2.wav").arg(int(byLink)).arg(round));
            const QString to = path(QStringLiteral("dst%1-%2.wav").arg(int(byLink)).arg(round));
            ASSERT_TRUE(writeFile(from, "SOURCE"));
            std::atomic<bool> go { false };
            bool created = false;
            std::thread racer([&] {
                while (!go.load()) { }
                volatile int sink = 0;
                for (int spin = 0; spin < (round % 7) * 40; ++spin)
                    sink = sink + 1;
                const int fd = ::open(QFile::encodeName(to).constData(),
                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (fd >= 0) {
                    created = ::write(fd, "THEIRS", 6) == 6;
                    ::close(fd);
                }
            });
            go.store(true);
            const bool renamed
                = byLink ? FileOps::RenameByLink(from, to) : FileOps::RenameNoReplace(from, to);
            racer.join();
            if (renamed) {
                EXPECT_EQ(readFile(to), "SOURCE");
                EXPECT_FALSE(QFile::exists(from));
                EXPECT_FALSE(created);
            } else {
                EXPECT_EQ(readFile(from), "SOURCE");
                EXPECT_EQ(readFile(to), "THEIRS");
                EXPECT_TRUE(created);
            }
        }
    }
}

TEST_F(FileOpsTest, LibraryRenameTreatsOtherCaseAsExisting)
{
    ASSERT_TRUE(writeFile(path("a_1.wav"), "A"));
    ASSERT_TRUE(writeFile(path("B_1.WAV"), "B"));
    EXPECT_FALSE(FileOps::RenameInLibrary(path("a_1.wav"), path("b_1.wav")));
    EXPECT_EQ(listing(dir.path()), (QStringList { "B_1.WAV", "a_1.wav" }));
    EXPECT_EQ(readFile(path("a_1.wav")), "A");
    EXPECT_EQ(readFile(path("B_1.WAV")), "B");
    // A directory counts as well.
    ASSERT_TRUE(QDir(dir.path()).mkdir("Sub.wav"));
    EXPECT_FALSE(FileOps::RenameInLibrary(path("a_1.wav"), path("sub.wav")));
    EXPECT_EQ(readFile(path("a_1.wav")), "A");
}

TEST_F(FileOpsTest, LibraryRenameChangesTheCaseOfTheSameFile)
{
    ASSERT_TRUE(writeFile(path("A_1.WAV"), "A"));
    EXPECT_TRUE(FileOps::RenameInLibrary(path("A_1.WAV"), path("A_1.wav")));
    EXPECT_EQ(listing(dir.path()), (QStringList { "A_1.wav" }));
    EXPECT_EQ(readFile(path("A_1.wav")), "A");
    // Its own unchanged name: nothing happens.
    EXPECT_FALSE(FileOps::RenameInLibrary(path("A_1.wav"), path("A_1.wav")));
    EXPECT_EQ(listing(dir.path()), (QStringList { "A_1.wav" }));
    // A case-only rename is refused when another file holds that spelling already.
    ASSERT_TRUE(writeFile(path("a_1.wav"), "other"));
    EXPECT_FALSE(FileOps::RenameInLibrary(path("A_1.wav"), path("a_1.WAV")));
    EXPECT_EQ(readFile(path("A_1.wav")), "A");
    EXPECT_EQ(readFile(path("a_1.wav")), "other");
}

TEST_F(FileOpsTest, AttributesNormalMakesOwnerWritableOnly)
{
    ASSERT_TRUE(writeFile(path("ro.wav"), "R"));
    ASSERT_EQ(::chmod(QFile::encodeName(path("ro.wav")).constData(), 0440), 0);
    FileOps::SetAttributesNormal(path("ro.wav"));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path("ro.wav")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    ASSERT_TRUE(writeFile(path("target"), "T"));
    ASSERT_EQ(::chmod(QFile::encodeName(path("target")).constData(), 0444), 0);
    ASSERT_EQ(::symlink("target", QFile::encodeName(path("link.wav")).constData()), 0);
    FileOps::SetAttributesNormal(path("link.wav"));
    ASSERT_EQ(::stat(QFile::encodeName(path("target")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    FileOps::SetAttributesNormal(path("missing.wav")); // ignored
    FileOps::SetAttributesNormal(QString());
}

TEST_F(FileOpsTest, DeleteGoesToTheTrashWhereTheUserCanRestoreIt)
{
    QTemporaryDir dataHome;
    TrashHome home(dataHome.path());
    ASSERT_TRUE(writeFile(path("gone.wav"), "G"));
    ASSERT_TRUE(writeFile(path("kept.wav"), "K"));
    EXPECT_TRUE(FileOps::MoveToTrash(path("gone.wav")));
    EXPECT_EQ(FileOps::MoveToTrash(path("gone.wav")).error(), ENOENT);
    EXPECT_FALSE(FileOps::MoveToTrash(QString()));
    EXPECT_EQ(listing(dir.path()), (QStringList { "kept.wav" }));
    const QString trash = dataHome.path() + "/Trash";
    EXPECT_EQ(readFile(trash + "/files/gone.wav"), "G");
    const QString info = QString::fromUtf8(readFile(trash + "/info/gone.wav.trashinfo"));
    EXPECT_TRUE(info.startsWith(
        "[Trash Info]\nPath=" + QUrl::toPercentEncoding(path("gone.wav"), "/") + "\nDeletionDate="))
        << info.toStdString();
    EXPECT_TRUE(
        QDateTime::fromString(info.section("DeletionDate=", 1).trimmed(), Qt::ISODate).isValid());

    // A second file of the same name does not replace the first one in the trash.
    ASSERT_TRUE(writeFile(path("gone.wav"), "G2"));
    EXPECT_TRUE(FileOps::MoveToTrash(path("gone.wav")));
    EXPECT_EQ(readFile(trash + "/files/gone.wav"), "G");
    EXPECT_EQ(readFile(trash + "/files/gone.wav.2"), "G2");
    EXPECT_TRUE(QFile::exists(trash + "/info/gone.wav.2.trashinfo"));

    // A name that is not UTF-8 keeps its bytes in the trash and in the info file.
    const QByteArray latin1 = QFile::encodeName(dir.path()) + "/Caf\xE9_1.wav";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_TRUE(FileOps::MoveToTrash(Commands::PathFromNative(latin1)));
    struct stat st;
    EXPECT_EQ(::lstat((QFile::encodeName(trash) + "/files/Caf\xE9_1.wav").constData(), &st), 0);
    QFile info1;
    const int infoFd = ::open(
        (QFile::encodeName(trash) + "/info/Caf\xE9_1.wav.trashinfo").constData(), O_RDONLY);
    ASSERT_GE(infoFd, 0);
    ASSERT_TRUE(info1.open(infoFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    EXPECT_TRUE(info1.readAll().contains("/Caf%E9_1.wav\n"));
}

TEST_F(FileOpsTest, AnUnusableTrashTakesNothingAndTheFileStays)
{
    QTemporaryDir dataHome;
    QTemporaryDir cwd;
    TrashHome home(dataHome.path());
    const QString savedCwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(cwd.path()));
    ASSERT_TRUE(writeFile(dataHome.path() + "/Trash", "not a directory"));
    ASSERT_TRUE(writeFile(path("gone.wav"), "G"));
    const Commands::IoResult r = FileOps::MoveToTrash(path("gone.wav"));
    QDir::setCurrent(savedCwd);
    EXPECT_EQ(r.error(), ENOTDIR);
    EXPECT_EQ(r.reason(), QStringLiteral("Not a directory"));
    EXPECT_EQ(readFile(path("gone.wav")), "G");
    EXPECT_EQ(listing(cwd.path()), QStringList {});
    EXPECT_EQ(readFile(dataHome.path() + "/Trash"), "not a directory");

    EXPECT_TRUE(FileOps::DeletePermanently(path("gone.wav")));
    EXPECT_EQ(listing(dir.path()), QStringList {});
    EXPECT_EQ(FileOps::DeletePermanently(path("gone.wav")).error(), ENOENT);
    ASSERT_TRUE(QDir().mkdir(path("folder.wav")));
    EXPECT_EQ(FileOps::DeletePermanently(path("folder.wav")).error(), EISDIR);
    EXPECT_EQ(FileOps::MoveToTrash(path("folder.wav")).error(), EISDIR);
}

// A file on another file system than the home trash goes to the trash at the top of its own
// file system, never across; where that trash cannot be made, nothing moves.
TEST_F(FileOpsTest, AFileOnAnotherFileSystemUsesThatFileSystemsTrash)
{
    FileTestKit::ScratchFileSystem disk;
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a scratch file system here";
    QTemporaryDir dataHome;
    TrashHome home(dataHome.path());
    const QString uid = QString::number(::geteuid());
    ASSERT_TRUE(QDir().mkdir(disk.path() + "/sounds"));
    const QString file = disk.path() + "/sounds/gone.wav";
    ASSERT_TRUE(writeFile(file, "G"));
    EXPECT_TRUE(FileOps::MoveToTrash(file));
    const QString own = disk.path() + "/.Trash-" + uid;
    EXPECT_EQ(readFile(own + "/files/gone.wav"), "G");
    EXPECT_TRUE(readFile(own + "/info/gone.wav.trashinfo").contains("\nPath=sounds/gone.wav\n"));
    EXPECT_FALSE(QFile::exists(dataHome.path() + "/Trash/files/gone.wav"));

    // A shared sticky .Trash is preferred: the user's directory is made inside it.
    ASSERT_TRUE(QDir().mkdir(disk.path() + "/.Trash"));
    ASSERT_EQ(::chmod(QFile::encodeName(disk.path() + "/.Trash").constData(), 01777), 0);
    ASSERT_TRUE(writeFile(file, "H"));
    EXPECT_TRUE(FileOps::MoveToTrash(file));
    EXPECT_EQ(readFile(disk.path() + "/.Trash/" + uid + "/files/gone.wav"), "H");

    // Neither can be had: the file stays, and the result says why.
    ASSERT_TRUE(QDir(disk.path() + "/.Trash").removeRecursively());
    ASSERT_TRUE(QDir(own).removeRecursively());
    ASSERT_TRUE(writeFile(own, "a file where the trash would go"));
    ASSERT_TRUE(writeFile(file, "I"));
    EXPECT_EQ(FileOps::MoveToTrash(file).error(), ENOTDIR);
    EXPECT_EQ(readFile(file), "I");
}
