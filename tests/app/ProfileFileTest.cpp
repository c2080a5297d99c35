// SPDX-License-Identifier: GPL-3.0-or-later
// Profile (INI) files: look-ups and in-place edits as tables of file contents, atomic
// replacement, and hostile files.
#include "app/ProfileFile.h"
#include "app/Commands.h"
#include "app/FileTestKit.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <optional>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Commands;
using FileTestKit::entriesOf;
using FileTestKit::readAll;
using FileTestKit::writeAll;

namespace {

struct ReadCase
{
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    QString expected;
};

QString q(const char* s)
{
    return QString::fromUtf8(s);
}

// A byte array of a literal's every byte, NULs included.
template <size_t N> QByteArray bytes(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

} // namespace

TEST(ReadIni, LooksUpValuesAsStoredFilesExpect)
{
    const QString def = QStringLiteral("<def>");
    const QList<ReadCase> cases = {
        { "plain", "[S]\nK=V\n", "S", "K", "V" },
        { "section and key ignore case", "[vorn's SORVANTO]\nautoplay=0\n", "Vorn's Sorvanto",
            "AutoPlay", "0" },
        { "non-ASCII names ignore case", "[Größe]\nWÄRME=1\n", "GRÖßE", "wärme", "1" },
        { "key and value trimmed of blanks and tabs", "[S]\n \tK \t= \t5 x\t \n", "S", "K", "5 x" },
        { "header name trimmed", "[  S \t]\nK=1\n", "S", "K", "1" },
        { "double quotes removed", "[S]\nK=\" a b \"\n", "S", "K", " a b " },
        { "single quotes removed", "[S]\nK='x'\n", "S", "K", "x" },
        { "only one pair removed", "[S]\nK=\"\"x\"\"\n", "S", "K", "\"x\"" },
        { "unmatched quotes stay", "[S]\nK=\"x'\n", "S", "K", "\"x'" },
        { "lone quote stays", "[S]\nK=\"\n", "S", "K", "\"" },
        { "quotes around nothing give the default", "[S]\nK=\"\"\n", "S", "K", def },
        { "empty value gives the default", "[S]\nAutoPlay=\n", "S", "AutoPlay", def },
        { "blank value gives the default", "[S]\nK=  \t\n", "S", "K", def },
        { "line without = is not a key", "[S]\nK\n", "S", "K", def },
        { "no comment syntax: ;x is a key", "[S]\n;x=1\n", "S", ";x", "1" },
        { "no comment syntax: not x", "[S]\n;x=1\n", "S", "x", def },
        { "no comment syntax in values", "[S]\nK=5 ;c\n", "S", "K", "5 ;c" },
        { "first key wins", "[S]\nK=1\nK=2\n", "S", "K", "1" },
        { "only the first matching section counts", "[S]\nA=1\n[s]\nK=2\n", "S", "K", def },
        { "first section wins", "[S]\nK=1\n[S]\nK=2\n", "S", "K", "1" },
        { "keys before any header belong to no section", "K=1\n[S]\n", "S", "K", def },
        { "keys of other sections stay out", "[A]\nK=1\n[S]\nX=2\n", "S", "K", def },
        { "value keeps later = signs", "[S]\nK=a=b\n", "S", "K", "a=b" },
        { "CRLF line ends", "[S]\r\nA=1\r\nK=2\r\n", "S", "K", "2" },
        { "CR line ends", "[S]\rA=1\rK=2\r", "S", "K", "2" },
        { "mixed line ends", "[S]\nA=1\r\nB=2\rK=3", "S", "K", "3" },
        { "byte order mark skipped", "\xEF\xBB\xBF[S]\nK=1\n", "S", "K", "1" },
        { "NUL bytes do not end the text", bytes("[S]\nA=\0\0\nK=v\n"), "S", "K", "v" },
        { "missing section", "[A]\nK=1\n", "S", "K", def },
        { "missing key", "[S]\nA=1\n", "S", "K", def },
        { "empty file", "", "S", "K", def },
        { "unclosed header still names a section", "[S\nK=1\n", "S", "K", "1" },
        { "header text after ] ignored", "[S] junk\nK=1\n", "S", "K", "1" },
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("t.ini"));
    for (const ReadCase& c : cases) {
        writeAll(path, c.file);
        EXPECT_EQ(ReadIni(q(c.section), q(c.key), path, def), c.expected) << c.name;
    }
}

TEST(ReadIni, MissingOrUnreadableFileGivesTheDefault)
{
    QTemporaryDir dir;
    EXPECT_EQ(ReadIni(QStringLiteral("S"), QStringLiteral("K"), dir.filePath("none.ini"),
                  QStringLiteral("d")),
        QStringLiteral("d"));
    // A directory is not a profile file.
    EXPECT_EQ(ReadIni(QStringLiteral("S"), QStringLiteral("K"), dir.path(), QStringLiteral("d")),
        QStringLiteral("d"));
    // A FIFO must not block the reader.
    const QString fifo = dir.filePath(QStringLiteral("fifo.ini"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ReadIni(QStringLiteral("S"), QStringLiteral("K"), fifo, QStringLiteral("d")),
        QStringLiteral("d"));
}

TEST(ReadIni, CutsLongValuesTo2047Characters)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.ini"));
    writeAll(path, "[S]\nK=" + QByteArray(5000, 'v') + "\nL=" + QByteArray(2047, 'w') + "\n");
    EXPECT_EQ(ReadIni(QStringLiteral("S"), QStringLiteral("K"), path, {}), QString(2047, u'v'));
    EXPECT_EQ(ReadIni(QStringLiteral("S"), QStringLiteral("L"), path, {}), QString(2047, u'w'));
    // Characters, not bytes: a value of 3000 two-byte characters keeps 2047 of them.
    writeAll(path, "[S]\nK=" + QString(3000, u'é').toUtf8() + "\n");
    EXPECT_EQ(ReadIni(QStringLiteral("S"), QStringLiteral("K"), path, {}), QString(2047, u'é'));
}

namespace {

struct EditCase
{
    const char* name;
    std::optional<QByteArray> before; // nullopt: no file
    const char* section;
    const char* key;
    const char* value;
    QByteArray after;
};

} // namespace

TEST(WriteIni, EditsTheTextInPlace)
{
    const QList<EditCase> cases = {
        { "missing file is created with LF", std::nullopt, "Vorn's Sorvanto", "ShowEnding", "0",
            "[Vorn's Sorvanto]\nShowEnding=0\n" },
        { "empty file", "", "S", "K", "V", "[S]\nK=V\n" },
        { "existing key keeps its spelling", "[s]\nkEy=1\n", "S", "KEY", "2", "[s]\nkEy=2\n" },
        { "blanks before the value stay", "[S]\n  K = 1 ;old\n", "S", "K", "2", "[S]\n  K = 2\n" },
        { "empty value replaced", "[S]\nK=\nA=1\n", "S", "K", "7", "[S]\nK=7\nA=1\n" },
        { "new key after the section's last non-blank line", "; top\n[A]\nx=1\n\n[B]\ny=2\n", "A",
            "K", "V", "; top\n[A]\nx=1\nK=V\n\n[B]\ny=2\n" },
        { "new key after a header-only section", "[A]\n\n[B]\n", "a", "K", "V",
            "[A]\nK=V\n\n[B]\n" },
        { "new key in the last section", "[A]\nx=1\n[S]\na=1\n", "S", "K", "V",
            "[A]\nx=1\n[S]\na=1\nK=V\n" },
        { "new key where the file lacks a final line end", "[S]\nx=1", "S", "K", "V",
            "[S]\nx=1\nK=V\n" },
        { "new section at the end", "[A]\nx=1\n", "S", "K", "V", "[A]\nx=1\n[S]\nK=V\n" },
        { "new section after a missing line end", "[A]\nx=1", "S", "K", "V",
            "[A]\nx=1\n[S]\nK=V\n" },
        { "comments, blank lines and other sections untouched",
            "# c1\n\n[A]\n; note\nx = 1\n\n[S]\nK=1\n; tail\n", "S", "K", "2",
            "# c1\n\n[A]\n; note\nx = 1\n\n[S]\nK=2\n; tail\n" },
        { "CRLF file keeps CRLF", "[S]\r\nA=1\r\n", "S", "K", "V", "[S]\r\nA=1\r\nK=V\r\n" },
        { "CRLF file, new section", "[A]\r\nx=1\r\n", "S", "K", "V",
            "[A]\r\nx=1\r\n[S]\r\nK=V\r\n" },
        { "CR file keeps CR", "[S]\rA=1\r", "S", "A", "2", "[S]\rA=2\r" },
        { "byte order mark kept", "\xEF\xBB\xBF[S]\nK=1\n", "S", "K", "2",
            "\xEF\xBB\xBF[S]\nK=2\n" },
        { "byte order mark only", "\xEF\xBB\xBF", "S", "K", "V", "\xEF\xBB\xBF[S]\nK=V\n" },
        { "first of duplicate sections edited", "[S]\na=1\n[S]\nb=2\n", "S", "b", "3",
            "[S]\na=1\nb=3\n[S]\nb=2\n" },
        { "first of duplicate keys edited", "[S]\nK=1\nK=2\n", "S", "K", "3", "[S]\nK=3\nK=2\n" },
        { "key before any header is not the section's", "K=1\n[S]\n", "S", "K", "2",
            "K=1\n[S]\nK=2\n" },
        { "trimmed header matches", "[ S ]\nK=1\n", "S", "K", "2", "[ S ]\nK=2\n" },
        { "quoted value replaced whole", "[S]\nK=\"a b\"\n", "S", "K", "c", "[S]\nK=c\n" },
        { "bytes that are not UTF-8 stay", "\xFF\xFE[A]\n\x80=\x81\n[S]\nK=1\n", "S", "K", "2",
            "\xFF\xFE[A]\n\x80=\x81\n[S]\nK=2\n" },
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int n = 0;
    for (const EditCase& c : cases) {
        const QString path = dir.filePath(QStringLiteral("case%1.ini").arg(n++));
        if (c.before)
            writeAll(path, *c.before);
        EXPECT_TRUE(WriteIni(q(c.section), q(c.key), q(c.value), path)) << c.name;
        EXPECT_EQ(readAll(path), c.after) << c.name;
    }
}

TEST(WriteIni, WrittenValuesReadBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.ini"));
    const QString section = QStringLiteral("Vorn's Sorvanto");
    EXPECT_TRUE(WriteIni(section, QStringLiteral("WAVpath"), QStringLiteral("Sounds/Ä b"), path));
    EXPECT_TRUE(WriteIni(section, QStringLiteral("Level1"), QStringLiteral("80"), path));
    EXPECT_TRUE(WriteIni(section, QStringLiteral("WAVPATH"), QStringLiteral("/x y"), path));
    EXPECT_EQ(ReadIni(section, QStringLiteral("wavpath"), path, {}), QStringLiteral("/x y"));
    EXPECT_EQ(ReadIni(section, QStringLiteral("Level1"), path, {}), QStringLiteral("80"));
    EXPECT_EQ(readAll(path), QByteArray("[Vorn's Sorvanto]\nWAVpath=/x y\nLevel1=80\n"));
}

TEST(WriteIni, RefusesWhatWouldChangeTheFileStructure)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.ini"));
    const QByteArray before = "[S]\nK=1\n";
    writeAll(path, before);
    const struct
    {
        const char* section;
        const char* key;
        const char* value;
    } refused[] = {
        { "S", "K", "a\nB=2" },
        { "S", "K", "a\rb" },
        { "S]x", "K", "1" },
        { "S\n", "K", "1" },
        { "S", "K=1", "1" },
        { "S", "", "1" },
        { "S", " \t", "1" },
        { "S", "[K", "1" },
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(WriteIni(q(r.section), q(r.key), q(r.value), path)) << r.key << r.value;
        EXPECT_EQ(readAll(path), before);
    }
}

// Real write failures at every stage of a save: the old file stays byte for byte, nothing of
// the attempt is left behind, and the result names the system's reason.
TEST(WriteIni, AFailedWriteLeavesTheOldFileWholeAndSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.ini"));
    const QByteArray before = "[S]\nK=1\n" + QByteArray(100000, 'x') + "\n";
    writeAll(path, before);
    {
        // Half of the new contents fit: as a disk that runs full in the middle of the write.
        FileTestKit::FileSizeLimit limit(50000);
        const IoResult r
            = WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"), path);
        EXPECT_FALSE(r);
        EXPECT_EQ(r.error(), EFBIG);
        EXPECT_EQ(r.reason(), QStringLiteral("File too large"));
        // The same failure when the file is new leaves nothing behind.
        FileTestKit::FileSizeLimit tiny(4);
        EXPECT_FALSE(WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"),
            dir.filePath(QStringLiteral("new.ini"))));
    }
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(entriesOf(dir.path()), QStringList { QStringLiteral("t.ini") });

    FileTestKit::ScratchFileSystem disk(64);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a scratch file system here";
    const QString onDisk = disk.path() + QStringLiteral("/t.ini");
    writeAll(onDisk, "[S]\nK=1\n");
    disk.fill();
    IoResult r = WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"), onDisk);
    EXPECT_EQ(r.error(), ENOSPC);
    EXPECT_EQ(r.reason(), QStringLiteral("No space left on device"));
    EXPECT_EQ(readAll(onDisk), QByteArray("[S]\nK=1\n"));
    EXPECT_EQ(entriesOf(disk.path()), (QStringList { "filler", "t.ini" }));

    ASSERT_TRUE(disk.makeReadOnly());
    r = WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"), onDisk);
    EXPECT_EQ(r.error(), EROFS);
    EXPECT_EQ(readAll(onDisk), QByteArray("[S]\nK=1\n"));
}

// Counts the files renamed into `dir` while it lives (each atomic save publishes once).
class PublishCounter
{
public:
    explicit PublishCounter(const QString& dir)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0)
            ::inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), IN_MOVED_TO);
    }
    ~PublishCounter() { ::close(m_fd); }
    int count() const
    {
        int n = 0;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got <= 0)
                return n;
            for (ssize_t i = 0; i < got;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + i);
                ++n;
                i += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
    }

private:
    int m_fd;
};

TEST(WriteIni, SeveralKeysGoInOneWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.ini"));
    writeAll(path, "[S]\nB=old\n");
    PublishCounter published(dir.path());
    EXPECT_TRUE(WriteIniKeys(QStringLiteral("S"),
        { { QStringLiteral("A"), QStringLiteral("1") },
            { QStringLiteral("B"), QStringLiteral("2") },
            { QStringLiteral("C"), QStringLiteral("3") } },
        path));
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(readAll(path), QByteArray("[S]\nB=2\nA=1\nC=3\n"));

    // The three option flags at shutdown are one edit too.
    ProgramValues v;
    v.IniFile = path;
    v.ShowEnding = 1;
    v.AutoPlay = 0;
    v.PhraseSync = 0;
    EXPECT_TRUE(StoreProgramFlags(v));
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(ReadIni(v.AppTitle, QStringLiteral("PhraseSync"), path, {}), QStringLiteral("0"));
}

// A save killed half way leaves its temporary file; the next save of the same file removes it
// when its process is gone, and touches nothing else.
TEST(WriteIni, LeftoversOfKilledSavesGoAtTheNextSave)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.ini"));
    writeAll(path, "[S]\nK=1\n");
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0); // its process id names no process now
    const QString dead = QStringLiteral(".t.ini.sorvanto-save-%1-abcd1234").arg(child);
    const QString alive = QStringLiteral(".t.ini.sorvanto-save-%1-abcd1234").arg(::getppid());
    const QString otherFile = QStringLiteral(".u.ini.sorvanto-save-%1-abcd1234").arg(child);
    for (const QString& name : { dead, alive, otherFile, QStringLiteral("t.ini.backup") })
        writeAll(dir.filePath(name), "half");

    EXPECT_TRUE(WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"), path));
    QStringList expected { alive, otherFile, QStringLiteral("t.ini"),
        QStringLiteral("t.ini.backup") };
    expected.sort();
    EXPECT_EQ(entriesOf(dir.path()), expected);
    EXPECT_EQ(readAll(path), QByteArray("[S]\nK=2\n"));
}

TEST(WriteIni, MissingDirectoryIsNotCreated)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no/such/t.ini"));
    EXPECT_FALSE(WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("1"), path));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no"))));
}

TEST(WriteIni, KeepsPermissionsAndWritesThroughSymlinks)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("real.ini"));
    const QString link = dir.filePath(QStringLiteral("link.ini"));
    writeAll(target, "[S]\nK=1\n");
    ASSERT_TRUE(
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(QFile::link(target, link));

    EXPECT_TRUE(WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"), link));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(target), QByteArray("[S]\nK=2\n"));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(WriteIni, ReadOnlyDirectoryLeavesTheOldFileWhole)
{
    QTemporaryDir dir;
    const QString sub = dir.filePath(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkdir(sub));
    const QString path = sub + QStringLiteral("/t.ini");
    const QByteArray before = "[S]\nK=1\n";
    writeAll(path, before);
    ASSERT_EQ(::chmod(QFile::encodeName(sub).constData(), 0555), 0);
    {
        FileTestKit::ObeyPermissions obey;
        if (!obey.active()) {
            ::chmod(QFile::encodeName(sub).constData(), 0755);
            GTEST_SKIP() << "cannot give up the capabilities that override permissions";
        }
        EXPECT_FALSE(WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"), path));
        EXPECT_FALSE(WriteIni(QStringLiteral("S"), QStringLiteral("N"), QStringLiteral("2"),
            sub + QStringLiteral("/new.ini")));
    }
    ::chmod(QFile::encodeName(sub).constData(), 0755);
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(entriesOf(sub), QStringList { QStringLiteral("t.ini") });
}

TEST(WriteIni, UnreadableFileIsNotReplaced)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.ini"));
    const QByteArray before = "[S]\nK=1\nOther=keep\n";
    writeAll(path, before);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::WriteOwner));
    {
        FileTestKit::ObeyPermissions obey;
        if (!obey.active())
            GTEST_SKIP() << "cannot give up the capabilities that override permissions";
        EXPECT_FALSE(WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("2"), path));
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(readAll(path), before);
}

// Hostile files: every look-up and edit finishes and answers sensibly.
TEST(ProfileBadInput, GarbageHugeAndOddFilesAreHandled)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.ini"));
    const QString s = QStringLiteral("Vorn's Sorvanto");

    // Binary garbage (no line structure to speak of) with a real section at its end.
    QByteArray garbage(1 << 20, Qt::Uninitialized);
    QRandomGenerator rng(42);
    for (char& c : garbage)
        c = char(rng.bounded(256));
    writeAll(path, garbage);
    EXPECT_EQ(
        ReadIni(QStringLiteral("no such section"), QStringLiteral("K"), path, QStringLiteral("d")),
        QStringLiteral("d"));
    EXPECT_TRUE(WriteIni(s, QStringLiteral("AutoPlay"), QStringLiteral("0"), path));
    EXPECT_EQ(
        ReadIni(s, QStringLiteral("AutoPlay"), path, QStringLiteral("1")), QStringLiteral("0"));
    EXPECT_TRUE(readAll(path).startsWith(garbage));

    // 10 MB of one line without a line end, then 10 MB of 5,000-character lines.
    writeAll(path, QByteArray(10 << 20, 'a'));
    EXPECT_EQ(ReadIni(s, QStringLiteral("K"), path, QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_TRUE(WriteIni(s, QStringLiteral("K"), QStringLiteral("1"), path));
    EXPECT_EQ(ReadIni(s, QStringLiteral("K"), path, QStringLiteral("d")), QStringLiteral("1"));

    QByteArray lines;
    const QByteArray longLine = "[" + QByteArray(4998, 'x') + "]\r\n";
    while (lines.size() < (10 << 20))
        lines += longLine;
    lines += "[" + s.toUtf8() + "]\r\nK=" + QByteArray(5000, '7') + "\r\n";
    writeAll(path, lines);
    EXPECT_EQ(ReadIni(s, QStringLiteral("K"), path, {}).size(), 2047);
    EXPECT_TRUE(WriteIni(s, QStringLiteral("K"), QStringLiteral("2"), path));
    EXPECT_TRUE(readAll(path).endsWith("\r\nK=2\r\n"));

    // NUL bytes everywhere, a byte order mark and duplicate sections.
    writeAll(path, bytes("\xEF\xBB\xBF[S]\0\n\0K=1\n[S]\nK=2\n[s]\nK=3\n"));
    EXPECT_EQ(ReadIni(QStringLiteral("S"), QStringLiteral("K"), path, QStringLiteral("d")),
        QStringLiteral("d"));
    EXPECT_TRUE(WriteIni(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("9"), path));
    EXPECT_EQ(readAll(path), bytes("\xEF\xBB\xBF[S]\0\n\0K=1\nK=9\n[S]\nK=2\n[s]\nK=3\n"));
}

// Files that are no settings file: a reader gets the defaults at once (no blocking open of a
// FIFO, no attempt to hold a sparse 100 GB file in memory), and a writer never replaces them.
TEST(ProfileBadInput, SpecialAndHugeFilesReadAsMissingAndAreNeverReplaced)
{
    QTemporaryDir dir;
    const QString s = QStringLiteral("Vorn's Sorvanto");
    const QString fifo = dir.filePath(QStringLiteral("pipe.ini"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(
        ReadIni(s, QStringLiteral("Level1"), fifo, QStringLiteral("80")), QStringLiteral("80"));
    EXPECT_EQ(WriteIni(s, QStringLiteral("Level1"), QStringLiteral("70"), fifo).error(), EINVAL);
    EXPECT_TRUE(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());

    const QString huge = dir.filePath(QStringLiteral("huge.ini"));
    writeAll(huge, "[Vorn's Sorvanto]\nLevel1=60\n");
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), qint64(100) << 30), 0);
    EXPECT_EQ(
        ReadIni(s, QStringLiteral("Level1"), huge, QStringLiteral("80")), QStringLiteral("80"));
    EXPECT_EQ(WriteIni(s, QStringLiteral("Level1"), QStringLiteral("70"), huge).error(), EFBIG);
    EXPECT_EQ(QFileInfo(huge).size(), qint64(100) << 30);

    const QString folder = dir.filePath(QStringLiteral("folder.ini"));
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_EQ(
        ReadIni(s, QStringLiteral("Level1"), folder, QStringLiteral("80")), QStringLiteral("80"));
    EXPECT_EQ(WriteIni(s, QStringLiteral("Level1"), QStringLiteral("70"), folder).error(), EISDIR);
    EXPECT_TRUE(QFileInfo(folder).isDir());
}
