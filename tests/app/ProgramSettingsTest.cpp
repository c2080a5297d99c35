// SPDX-License-Identifier: GPL-3.0-or-later
// The program settings: number reading, sound directory resolution, the three flags, the
// default clip, the private temporary directory and the path helpers.
#include "app/Commands.h"
#include "app/FileTestKit.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Commands;
using FileTestKit::readAll;
using FileTestKit::writeAll;

TEST(ReadProfileInteger, ReadsTheNumberAtTheStart)
{
    const struct
    {
        const char* text;
        std::optional<qint16> expected;
    } cases[] = {
        { "80", 80 }, { "75.5", 76 }, { "74.5", 74 }, { "50.5", 50 }, { "51.5", 52 },
        { "-2.5", -2 }, { "-3.5", -4 }, { "0.5", 0 }, { "70x", 70 }, { "7 0", 70 },
        { "\t7\n0 ", 70 }, { " - 1 2", -12 }, { "+5", 5 }, { "abc", 0 }, { "", 0 }, { "-", 0 },
        { ".", 0 }, { "x12", 0 }, { "--5", 0 },
        { "7\r0", 7 }, // only blanks, tabs and line feeds are skipped
        { ".5", 0 }, { ".51", 1 }, { "5.", 5 }, { "1e3", 1000 }, { "1.5E2", 150 }, { "1e", 1 },
        { "1e+", 1 }, { "2e-1", 0 }, { "25e-1", 2 }, { "1d2", 100 }, { "1e99999", std::nullopt },
        { "1e-99999", 0 }, { "0e99999", 0 }, { "&HFF", 255 }, { "&hff", 255 }, { "&HFFzz", 255 },
        { "&O17", 15 }, { "&o178", 15 }, { "&H", 0 }, { "&HFFFF", -1 }, { "&H8000", -32768 },
        { "&H10000", std::nullopt }, { "&HFFFFFFFF", -1 }, { "&H1FFFFFFFF", std::nullopt },
        { "&X1", 0 }, { "-32768", -32768 }, { "32767", 32767 }, { "32767.5", std::nullopt },
        { "-32768.5", -32768 }, { "32768", std::nullopt }, { "-32769", std::nullopt },
        { "99999999999999999999999", std::nullopt },
        { "2\xC2\xA0"
          "5",
            2 }, // a no-break space is not a blank
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadProfileInteger(QString::fromUtf8(c.text)), c.expected) << c.text;
    EXPECT_EQ(ReadProfileInteger(QString(5000, u'9')), std::nullopt);
    EXPECT_EQ(ReadProfileInteger(QStringLiteral("1.") + QString(5000, u'0')), 1);
}

TEST(AddBackslash, AppendsOneSeparatorAndChangesTheArgument)
{
    QString p = QStringLiteral("/a");
    EXPECT_EQ(AddBackslash(p), QStringLiteral("/a/"));
    EXPECT_EQ(p, QStringLiteral("/a/"));
    EXPECT_EQ(AddBackslash(p), QStringLiteral("/a/"));
    QString empty;
    EXPECT_EQ(AddBackslash(empty), QStringLiteral("/"));
}

TEST(PathHelpers, FileAndDirectoryChecks)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f.wav"));
    writeAll(file, "x");
    const QString fifo = dir.filePath(QStringLiteral("p.wav"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(dir.path())); // a directory is not a file
    EXPECT_FALSE(FileExists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_FALSE(FileExists(fifo)); // and a FIFO does not block the check
    EXPECT_FALSE(FileExists(QString()));

    EXPECT_TRUE(DirExists(dir.path()));
    EXPECT_TRUE(DirExists(dir.path() + QLatin1Char('/')));
    EXPECT_FALSE(DirExists(file));
    EXPECT_FALSE(DirExists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_FALSE(DirExists(QString()));

    const QString closed = dir.filePath(QStringLiteral("closed"));
    ASSERT_TRUE(QDir().mkdir(closed));
    ASSERT_EQ(::chmod(QFile::encodeName(closed).constData(), 0), 0);
    {
        FileTestKit::ObeyPermissions obey;
        if (obey.active()) {
            EXPECT_FALSE(DirExists(closed));
        }
    }
    ::chmod(QFile::encodeName(closed).constData(), 0700);

    EXPECT_EQ(GetLongName(QStringLiteral("/Some/path.INI")), QStringLiteral("/Some/path.INI"));
}

TEST(GetTempDir, IsPrivateToTheUser)
{
    const QString temp = GetTempDir();
    ASSERT_FALSE(temp.isEmpty());
    EXPECT_TRUE(temp.endsWith(QLatin1Char('/')));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(temp).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 077, 0u);
}

// The program's own directory inside the runtime directory: a name planted there that is not
// a private directory of this user is never used.
TEST(GetTempDir, IsADirectoryOfTheProgramsOwnInTheRuntimeDirectory)
{
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const bool had = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString own = GetTempDir();
    EXPECT_EQ(own, runtime.path() + QStringLiteral("/sorvanto/"));
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(QFile::encodeName(own).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // A link planted in its place (to a directory another program uses) is refused.
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir(own).removeRecursively());
    ASSERT_TRUE(QFile::link(elsewhere.path(), runtime.path() + QStringLiteral("/sorvanto")));
    const QString fallback = GetTempDir();
    EXPECT_FALSE(fallback.startsWith(runtime.path())) << fallback.toStdString();
    EXPECT_FALSE(fallback.startsWith(elsewhere.path())) << fallback.toStdString();
    if (had)
        qputenv("XDG_RUNTIME_DIR", saved);
    else
        qunsetenv("XDG_RUNTIME_DIR");
}

TEST(ExtractResource, WritesTheClipOnceAndNeverThroughALink)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Default.wav"));
    EXPECT_EQ(ExtractResource(path, QStringLiteral("DEFAULT"), QStringLiteral("WAVE")), path);
    const QByteArray clip = readAll(path);
    ASSERT_EQ(clip.size(), 884);
    EXPECT_TRUE(clip.startsWith("RIFF"));
    EXPECT_EQ(clip.mid(8, 4), QByteArray("WAVE"));
    EXPECT_EQ(clip.right(756), QByteArray(756, char(128))); // silence
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // An existing file is not replaced.
    writeAll(path, "mine");
    EXPECT_EQ(ExtractResource(path, QStringLiteral("DEFAULT"), QStringLiteral("WAVE")), QString());
    EXPECT_EQ(readAll(path), QByteArray("mine"));

    // A planted link, dangling or not, is not followed.
    const QString victim = dir.filePath(QStringLiteral("victim"));
    const QString planted = dir.filePath(QStringLiteral("planted.wav"));
    ASSERT_TRUE(QFile::link(victim, planted));
    EXPECT_EQ(
        ExtractResource(planted, QStringLiteral("DEFAULT"), QStringLiteral("WAVE")), QString());
    EXPECT_FALSE(QFileInfo::exists(victim));

    EXPECT_EQ(ExtractResource(dir.filePath(QStringLiteral("x.wav")), QStringLiteral("NONE"),
                  QStringLiteral("WAVE")),
        QString());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("x.wav"))));
    EXPECT_EQ(ExtractResource(dir.filePath(QStringLiteral("no/dir.wav")), QStringLiteral("DEFAULT"),
                  QStringLiteral("WAVE")),
        QString());
}

namespace {

// A program directory and a temporary directory of their own, with the values InitPaths
// would set for a program file named "sorvanto" there.
class ProgramSettings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_app.isValid() && m_temp.isValid());
        v.AppDir = m_app.path() + QLatin1Char('/');
        v.AppExeName = QStringLiteral("sorvanto");
        v.TempDir = m_temp.path() + QLatin1Char('/');
    }

    QString ini() const { return v.AppDir + QStringLiteral("sorvanto.ini"); }
    void writeIni(const QByteArray& body) { writeAll(ini(), "[Vorn's Sorvanto]\n" + body); }
    void mkdir(const QString& relative) { ASSERT_TRUE(QDir(v.AppDir).mkpath(relative)); }

    // The sound directory that a stored WAVpath value gives.
    QString soundDirFor(const QByteArray& stored)
    {
        writeIni("WAVpath=" + stored + "\n");
        ProgramValues fresh = v;
        LoadProgramSettings(fresh);
        return fresh.WAVpath;
    }

    QTemporaryDir m_app;
    QTemporaryDir m_temp;
    ProgramValues v;
};

} // namespace

TEST_F(ProgramSettings, FirstStartGivesTheDefaults)
{
    LoadProgramSettings(v);
    EXPECT_EQ(v.AppTitle, QStringLiteral("Vorn's Sorvanto"));
    EXPECT_EQ(v.IniFile, ini());
    EXPECT_EQ(v.WAVpath, v.AppDir);
    EXPECT_EQ(v.ShowEnding, 0);
    EXPECT_EQ(v.AutoPlay, 1);
    EXPECT_EQ(v.PhraseSync, 1);
    EXPECT_EQ(v.LineUpByName, 1);
    EXPECT_EQ(v.PlayInStep, 0);
    EXPECT_EQ(v.DefaultWav, v.TempDir + QStringLiteral("Default.wav"));
    EXPECT_EQ(readAll(v.DefaultWav).size(), 884);
    EXPECT_FALSE(QFileInfo::exists(ini())); // loading never writes the settings file

    StoreProgramFlags(v);
    EXPECT_EQ(readAll(ini()),
        QByteArray("[Vorn's Sorvanto]\nShowEnding=0\nAutoPlay=1\nPhraseSync=1\nLineUpByName=1\n"
                   "PlayInStep=0\n"));
}

TEST_F(ProgramSettings, SoundDirectoryResolution)
{
    mkdir(QStringLiteral("Sounds"));
    mkdir(QStringLiteral("Sub/Deep"));
    QTemporaryDir elsewhere;
    const QString abs = elsewhere.path();
    const QString sounds = v.AppDir + QStringLiteral("Sounds/");

    EXPECT_EQ(soundDirFor(""), v.AppDir);
    EXPECT_EQ(soundDirFor("Sounds\\"), sounds);
    EXPECT_EQ(soundDirFor("\\Sounds"), sounds);
    EXPECT_EQ(soundDirFor("Sounds/"), sounds);
    EXPECT_EQ(soundDirFor("Sounds"), sounds);
    EXPECT_EQ(soundDirFor("/Sounds"), v.AppDir); // absolute, and there is no /Sounds
    EXPECT_EQ(soundDirFor("Sub\\Deep"), v.AppDir + QStringLiteral("Sub/Deep/"));
    EXPECT_EQ(soundDirFor(abs.toUtf8()), abs + QLatin1Char('/'));
    EXPECT_EQ(soundDirFor(abs.toUtf8() + "/"), abs + QLatin1Char('/'));
    EXPECT_EQ(soundDirFor("\"Sounds\""), sounds); // quotes are the file format's, not the path's
    EXPECT_EQ(soundDirFor("\\\\server\\share"), v.AppDir); // one separator dropped: still missing
    EXPECT_EQ(soundDirFor("Missing\\"), v.AppDir);
    EXPECT_EQ(soundDirFor("C:\\Clips"), v.AppDir);

    // A directory given by a path that is a file is no sound directory.
    writeAll(v.AppDir + QStringLiteral("file"), "x");
    EXPECT_EQ(soundDirFor("file"), v.AppDir);

    // The pure rule without a settings file.
    EXPECT_EQ(ResolveSoundDirectory(QStringLiteral("Sounds"), v.AppDir), sounds);
    EXPECT_EQ(ResolveSoundDirectory(QString(), v.AppDir), v.AppDir);
}

TEST_F(ProgramSettings, VanishedSoundDirectoryFallsBackWithoutRewritingTheFile)
{
    writeIni("WAVpath=Gone\\\n");
    const QByteArray before = readAll(ini());
    LoadProgramSettings(v);
    EXPECT_EQ(v.WAVpath, v.AppDir);
    EXPECT_EQ(readAll(ini()), before);
}

TEST_F(ProgramSettings, FlagsFollowTheNumberRule)
{
    const struct
    {
        QByteArray body;
        qint16 showEnding, autoPlay, phraseSync;
    } cases[] = {
        { "ShowEnding=2\n", 2, 1, 1 },
        { "AutoPlay=abc\n", 0, 0, 1 },
        { "AutoPlay=\nPhraseSync=\n", 0, 1, 1 },
        { "ShowEnding=1\nAutoPlay=0\nPhraseSync=0\n", 1, 0, 0 },
        { "showending = \" 1 \"\n", 1, 1, 1 },
        { "PhraseSync=99999\nAutoPlay=-32769\nShowEnding=1e9\n", 0, 1, 1 }, // unchanged
        { "PhraseSync=0.5\nAutoPlay=1.5\n", 0, 2, 0 },
        { "AutoPlay=&H0\n", 0, 0, 1 },
    };
    for (const auto& c : cases) {
        writeIni(c.body);
        ProgramValues fresh = v;
        LoadProgramSettings(fresh);
        EXPECT_EQ(fresh.ShowEnding, c.showEnding) << c.body.constData();
        EXPECT_EQ(fresh.AutoPlay, c.autoPlay) << c.body.constData();
        EXPECT_EQ(fresh.PhraseSync, c.phraseSync) << c.body.constData();
    }
    // The two later options follow the same rule, each with its own default.
    writeIni("LineUpByName=0\nPlayInStep=1.5\n");
    ProgramValues fresh = v;
    LoadProgramSettings(fresh);
    EXPECT_EQ(fresh.LineUpByName, 0);
    EXPECT_EQ(fresh.PlayInStep, 2);
    writeIni("LineUpByName=abc\n");
    fresh = v;
    LoadProgramSettings(fresh);
    EXPECT_EQ(fresh.LineUpByName, 0);
    EXPECT_EQ(fresh.PlayInStep, 0);
}

TEST_F(ProgramSettings, StoringTheFlagsKeepsTheRestOfTheFile)
{
    writeAll(ini(),
        "; mine\r\n[Vorn's "
        "Sorvanto]\r\nWAVpath=Sounds\\\r\nShowEnding=2\r\n\r\n[Other]\r\nx=1\r\n");
    LoadProgramSettings(v);
    v.AutoPlay = 0;
    StoreProgramFlags(v);
    EXPECT_EQ(readAll(ini()),
        QByteArray("; mine\r\n[Vorn's Sorvanto]\r\nWAVpath=Sounds\\\r\nShowEnding=2\r\n"
                   "AutoPlay=0\r\nPhraseSync=1\r\nLineUpByName=1\r\nPlayInStep=0\r\n\r\n"
                   "[Other]\r\nx=1\r\n"));
}

TEST_F(ProgramSettings, UnreadableOrHostileSettingsFileGivesTheDefaults)
{
    mkdir(QStringLiteral("Sounds"));
    // Binary garbage around a section that would change everything if it were read.
    QByteArray garbage;
    for (int i = 0; i < 200000; ++i)
        garbage.append(char((i * 7919) % 251));
    writeAll(ini(), garbage);
    LoadProgramSettings(v);
    EXPECT_EQ(v.WAVpath, v.AppDir);
    EXPECT_EQ(v.ShowEnding, 0);
    EXPECT_EQ(v.AutoPlay, 1);
    EXPECT_EQ(v.PhraseSync, 1);

    writeIni("WAVpath=Sounds\nAutoPlay=0\n");
    ASSERT_TRUE(QFile::setPermissions(ini(), QFile::WriteOwner));
    {
        FileTestKit::ObeyPermissions obey;
        if (!obey.active())
            GTEST_SKIP() << "cannot give up the capabilities that override permissions";
        ProgramValues fresh = v;
        LoadProgramSettings(fresh);
        EXPECT_EQ(fresh.WAVpath, v.AppDir);
        EXPECT_EQ(fresh.AutoPlay, 1);
    }
}

TEST_F(ProgramSettings, DefaultClipAlreadyPresentIsUsedUnchanged)
{
    const QString clip = v.TempDir + QStringLiteral("Default.wav");
    writeAll(clip, "already here");
    LoadProgramSettings(v);
    EXPECT_EQ(v.DefaultWav, clip);
    EXPECT_EQ(readAll(clip), QByteArray("already here"));
}

TEST_F(ProgramSettings, PlantedLinkInsteadOfTheClipIsNotFollowed)
{
    QTemporaryDir other;
    const QString victim = other.filePath(QStringLiteral("victim.wav"));
    ASSERT_TRUE(QFile::link(victim, v.TempDir + QStringLiteral("Default.wav")));
    LoadProgramSettings(v);
    EXPECT_FALSE(QFileInfo::exists(victim));
}
