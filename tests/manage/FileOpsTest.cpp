#include "manage/FileOps.h"
#include "ManageTestSupport.h"

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

TEST_F(FileOpsTest, DeleteGoesToTheTrash)
{
    QTemporaryDir dataHome;
    TrashHome home(dataHome.path());
    ASSERT_TRUE(writeFile(path("gone.wav"), "G"));
    ASSERT_TRUE(writeFile(path("kept.wav"), "K"));
    EXPECT_TRUE(FileOps::DeleteToTrash(path("gone.wav")));
    EXPECT_FALSE(FileOps::DeleteToTrash(path("gone.wav")));
    EXPECT_FALSE(FileOps::DeleteToTrash(QString()));
    EXPECT_EQ(listing(dir.path()), (QStringList { "kept.wav" }));
    EXPECT_EQ(readFile(dataHome.path() + "/Trash/files/gone.wav"), "G");
    EXPECT_TRUE(QFile::exists(dataHome.path() + "/Trash/info/gone.wav.trashinfo"));
}

TEST_F(FileOpsTest, UnusableTrashRemovesTheFileAndPutsNothingElsewhere)
{
    QTemporaryDir dataHome;
    QTemporaryDir cwd;
    TrashHome home(dataHome.path());
    const QString savedCwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(cwd.path()));
    ASSERT_TRUE(writeFile(dataHome.path() + "/Trash", "not a directory"));
    ASSERT_TRUE(writeFile(path("gone.wav"), "G"));
    ASSERT_TRUE(writeFile(path("kept.wav"), "K"));
    EXPECT_TRUE(FileOps::DeleteToTrash(path("gone.wav")));
    QDir::setCurrent(savedCwd);
    EXPECT_EQ(listing(dir.path()), QStringList { "kept.wav" });
    EXPECT_EQ(listing(cwd.path()), QStringList {});
    EXPECT_EQ(readFile(dataHome.path() + "/Trash"), "not a directory");
}

TEST_F(FileOpsTest, FileSystemWithoutTrashRemovesTheFile)
{
    struct stat shm, here;
    if (::stat("/dev/shm", &shm) != 0
        || ::stat(QFile::encodeName(dir.path()).constData(), &here) != 0
        || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "needs /dev/shm on another file system";
    QTemporaryDir dataHome(QStringLiteral("/dev/shm/sorvanto-trash-XXXXXX"));
    ASSERT_TRUE(dataHome.isValid());
    TrashHome home(dataHome.path());
    ASSERT_TRUE(writeFile(path("gone.wav"), "G"));
    ASSERT_TRUE(writeFile(path("kept.wav"), "K"));
    EXPECT_TRUE(FileOps::DeleteToTrash(path("gone.wav")));
    EXPECT_EQ(listing(dir.path()), QStringList { "kept.wav" });
}
