// SPDX-License-Identifier: GPL-3.0-or-later
// The phrase library: the listing, the column rule, the naming rules with their case
// tolerance, and the set settings file.
#include "library/PhraseLibrary.h"
#include "app/Commands.h"
#include "app/FileNames.h"
#include "app/FileTestKit.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Commands;
using namespace Library;
using FileTestKit::readAll;
using FileTestKit::writeAll;

namespace {

const QString kSection = QStringLiteral("Vorn's Sorvanto");

class SoundDir : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString dir() const { return m_dir.path() + QLatin1Char('/'); }
    void touch(const QString& name) { writeAll(dir() + name, "RIFF"); }

    QTemporaryDir m_dir;
};

} // namespace

TEST(SplitIntoColumns, FirstMarkerFoundDecidesTheList)
{
    const QStringList names = { QStringLiteral("a_3_1.wav"), QStringLiteral("A_1.WAV"),
        QStringLiteral("Default.wav"), QStringLiteral("song_12.wav"), QStringLiteral("x_1_2.wav"),
        QStringLiteral("x_2.wav"), QStringLiteral("x_21.wav"), QStringLiteral("y_3.wav") };

    const auto shown = SplitIntoColumns(names, 1);
    EXPECT_EQ(shown[0],
        QStringList({ "a_3_1.wav", "A_1.WAV", "Default.wav", "song_12.wav", "x_1_2.wav" }));
    EXPECT_EQ(shown[1], QStringList({ "Default.wav", "x_2.wav", "x_21.wav" }));
    EXPECT_EQ(shown[2], QStringList({ "Default.wav", "y_3.wav" }));

    const auto hidden = SplitIntoColumns(names, 0);
    EXPECT_EQ(hidden[0], QStringList({ "a_3_1", "A_1", "Default", "song_12", "x_1_2" }));
    EXPECT_EQ(hidden[1], QStringList({ "Default", "x_2", "x_21" }));
    EXPECT_EQ(hidden[2], QStringList({ "Default", "y_3" }));

    // Any non-zero value shows the extension (a stored 2 included).
    EXPECT_EQ(SplitIntoColumns(names, 2), shown);
    EXPECT_EQ(SplitIntoColumns(names, -1), shown);

    const auto none = SplitIntoColumns({}, 0);
    EXPECT_TRUE(none[0].isEmpty() && none[1].isEmpty() && none[2].isEmpty());
}

TEST_F(SoundDir, ListsVisibleRegularWavFilesSortedWithoutRegardToCase)
{
    for (const char* name : { "Zeta.wav", "alpha.WAV", "Beta.Wav", "b.wav", "B.wav", "a_1.wav",
             "ab.wav", ".hidden.wav", "notes.txt", "a.wav.bak", "wav", "x.wave", "target.raw" })
        touch(QString::fromUtf8(name));
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("folder.wav")));
    ASSERT_TRUE(
        QFile::link(dir() + QStringLiteral("target.raw"), dir() + QStringLiteral("link.wav")));
    ASSERT_TRUE(
        QFile::link(dir() + QStringLiteral("gone"), dir() + QStringLiteral("dangling.wav")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir() + QStringLiteral("pipe.wav")).constData(), 0600), 0);

    PhraseDirectory listing;
    listing.setPath(dir());
    EXPECT_EQ(listing.names(),
        QStringList({ "a_1.wav", "ab.wav", "alpha.WAV", "B.wav", "b.wav", "Beta.Wav", "link.wav",
            "Zeta.wav" }));
    EXPECT_EQ(listing.path(), dir());
}

TEST_F(SoundDir, EmptyDirectoryGivesEmptyLists)
{
    PhraseDirectory listing;
    listing.setPath(dir());
    EXPECT_TRUE(listing.names().isEmpty());
    const auto columns = SplitIntoColumns(listing.names(), 0);
    EXPECT_TRUE(columns[0].isEmpty() && columns[1].isEmpty() && columns[2].isEmpty());
}

TEST_F(SoundDir, ADirectoryThatCannotBeOpenedShowsThePreviousOneOrNothing)
{
    const QString first = dir() + QStringLiteral("first/");
    const QString second = dir() + QStringLiteral("second/");
    ASSERT_TRUE(QDir().mkpath(first) && QDir().mkpath(second));
    writeAll(first + QStringLiteral("one_1.wav"), "x");
    writeAll(second + QStringLiteral("two_1.wav"), "x");

    PhraseDirectory listing;
    listing.setPath(first);
    ASSERT_EQ(listing.names(), QStringList { QStringLiteral("one_1.wav") });

    // A missing directory: the previous one is read again (and shows its new contents).
    writeAll(first + QStringLiteral("new.wav"), "x");
    listing.setPath(dir() + QStringLiteral("missing/"));
    EXPECT_EQ(listing.names(), QStringList({ "new.wav", "one_1.wav" }));
    EXPECT_EQ(listing.path(), first);

    // The listed directory made unreadable, or only not searchable (its names could be read,
    // its files not): nothing is listed, whichever way it is named.
    listing.setPath(second);
    ASSERT_EQ(listing.names(), QStringList { QStringLiteral("two_1.wav") });
    for (const mode_t mode : { 0, 0600 }) {
        ASSERT_EQ(::chmod(QFile::encodeName(second).constData(), mode), 0);
        {
            FileTestKit::ObeyPermissions obey;
            if (obey.active()) {
                listing.setPath(first + QStringLiteral("../second/"));
                EXPECT_TRUE(listing.names().isEmpty()) << mode;
                listing.setPath(second);
                EXPECT_TRUE(listing.names().isEmpty()) << mode;
                EXPECT_EQ(listing.path(), second);
            }
        }
        ::chmod(QFile::encodeName(second).constData(), 0700);
        listing.setPath(second);
        EXPECT_EQ(listing.names(), QStringList { QStringLiteral("two_1.wav") });
    }

    // The listed directory vanishes: nothing is left to show; made anew, it is read again.
    ASSERT_TRUE(QDir(second).removeRecursively());
    listing.setPath(second);
    EXPECT_TRUE(listing.names().isEmpty());
    ASSERT_TRUE(QDir().mkpath(second));
    writeAll(second + QStringLiteral("back_2.wav"), "x");
    listing.setPath(second);
    EXPECT_EQ(listing.names(), QStringList { QStringLiteral("back_2.wav") });
}

TEST_F(SoundDir, TenThousandFilesAreListed)
{
    for (int i = 0; i < 10000; ++i)
        touch(QStringLiteral("p%1_%2.wav").arg(9999 - i, 4, 10, QLatin1Char('0')).arg(i % 3 + 1));
    PhraseDirectory listing;
    listing.setPath(dir());
    ASSERT_EQ(listing.names().size(), 10000);
    EXPECT_EQ(listing.names().first(), QStringLiteral("p0000_1.wav"));
    EXPECT_EQ(listing.names().last(), QStringLiteral("p9999_1.wav"));
    const auto columns = SplitIntoColumns(listing.names(), 0);
    EXPECT_EQ(columns[0].size() + columns[1].size() + columns[2].size(), 10000);
}

TEST_F(SoundDir, EntriesResolveWithoutRegardToCase)
{
    touch(QStringLiteral("A_1.WAV"));
    touch(QStringLiteral("exact.wav"));
    touch(QStringLiteral("Exact.wav"));
    writeAll(dir() + QStringLiteral("Intro.INI"), "");

    EXPECT_EQ(PhrasePathFromEntry(dir(), QStringLiteral("A_1")), dir() + QStringLiteral("A_1.WAV"));
    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("A_1.WAV")), dir() + QStringLiteral("A_1.WAV"));
    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("a_1.wav")), dir() + QStringLiteral("A_1.WAV"));
    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("exact")), dir() + QStringLiteral("exact.wav"));
    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("Exact")), dir() + QStringLiteral("Exact.wav"));
    // Two entries differ from the name only in case: the first by exact name, every time.
    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("EXACT")), dir() + QStringLiteral("Exact.wav"));
    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("none_1")), dir() + QStringLiteral("none_1.wav"));
    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("odd.wAv")), dir() + QStringLiteral("odd.wAv"));
    EXPECT_EQ(PhrasePathFromEntry(dir(), QString()), dir() + QStringLiteral(".wav"));

    EXPECT_EQ(SetSettingsFileFromEntry(dir(), QStringLiteral("intro_1")),
        dir() + QStringLiteral("Intro.INI"));
    EXPECT_EQ(ResolveInDirectory(dir(), QStringLiteral("intro.ini")),
        dir() + QStringLiteral("Intro.INI"));
    EXPECT_EQ(ResolveInDirectory(dir() + QStringLiteral("missing/"), QStringLiteral("x")),
        dir() + QStringLiteral("missing/x"));
}

// Several files match an entry without regard to case: the one that keeps the entry's own
// spelling longest wins, and only regular files (or links to them) are ever chosen.
TEST_F(SoundDir, EntriesResolveToTheFileTheyWereListedFor)
{
    touch(QStringLiteral("Foo_1.wav"));
    touch(QStringLiteral("foo_1.WAV"));
    touch(QStringLiteral("X_2.WAV"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir() + QStringLiteral("X_2.wav")).constData(), 0600), 0);
    touch(QStringLiteral("Y_3.wAV"));
    ASSERT_TRUE(QDir().mkdir(dir() + QStringLiteral("Y_3.wav")));
    touch(QStringLiteral("z.WAV"));
    ASSERT_TRUE(QFile::link(QStringLiteral("z.WAV"), dir() + QStringLiteral("zz.wav")));
    ASSERT_TRUE(QFile::link(QStringLiteral("nowhere"), dir() + QStringLiteral("gone.wav")));

    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("foo_1")), dir() + QStringLiteral("foo_1.WAV"));
    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("Foo_1")), dir() + QStringLiteral("Foo_1.wav"));
    EXPECT_EQ(PhrasePathFromEntry(dir(), QStringLiteral("X_2")), dir() + QStringLiteral("X_2.WAV"));
    EXPECT_EQ(PhrasePathFromEntry(dir(), QStringLiteral("Y_3")), dir() + QStringLiteral("Y_3.wAV"));
    EXPECT_EQ(PhrasePathFromEntry(dir(), QStringLiteral("zz")), dir() + QStringLiteral("zz.wav"));
    // Nothing regular matches: the name itself, which every caller then fails on.
    EXPECT_EQ(
        PhrasePathFromEntry(dir(), QStringLiteral("gone")), dir() + QStringLiteral("gone.wav"));
}

// File names are bytes: every byte string the system can hand out comes back unchanged, and
// names that are UTF-8 read as the text they spell.
TEST(FileNames, EveryNameRoundTripsAndUtf8ReadsAsText)
{
    for (int b = 1; b < 256; ++b) {
        const QByteArray one(1, char(b));
        EXPECT_EQ(NativePath(PathFromNative(one)), one) << b;
    }
    const QByteArray cases[] = {
        "Caf\xE9_1.wav", // Latin-1
        "\xC0\x80", // overlong NUL
        "\xED\xA0\x80", // an encoded surrogate
        "\xF4\x90\x80\x80", // beyond U+10FFFF
        "\xE2\x82", // cut short
        "\xF0\x9F\x8E\xB5 loop.wav", // a valid four-byte character
        "\xC3\xA9\xE9", // valid, then not
    };
    for (const QByteArray& c : cases)
        EXPECT_EQ(NativePath(PathFromNative(c)), c) << c.toHex().toStdString();
    EXPECT_EQ(PathFromNative("Caf\xC3\xA9"), QStringLiteral("Caf\u00E9"));
    EXPECT_EQ(PathFromNative("\xF0\x9F\x8E\xB5"), QString::fromUtf8("\xF0\x9F\x8E\xB5"));
    EXPECT_EQ(NativePath(QStringLiteral("Caf\u00E9")), QByteArray("Caf\xC3\xA9"));
    // A byte that is not UTF-8 is not mistaken for the character of the same number.
    EXPECT_NE(PathFromNative("Caf\xE9"), QStringLiteral("Caf\u00E9"));
}

TEST(SetSettingsFileFromEntry, DerivesTheSetName)
{
    const QString dir = QStringLiteral("/nonexistent/sounds/");
    const struct
    {
        const char* entry;
        const char* file;
    } cases[] = {
        { "intro_1", "intro.ini" },
        { "intro_1.wav", "intro.ini" },
        { "Mix_1.WAV", "Mix.ini" },
        { "Mix_1", "Mix.ini" },
        { "Default.wav", "Default.ini" },
        { "Default", "Default.ini" },
        { "x_1_1", "x_1.ini" },
        { "x_2", "x_2.ini" },
        { "x_1.wav.wav", "x_1.wav.ini" },
        { "song_12", "song_12.ini" },
        { "", ".ini" },
        { "_1", ".ini" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(SetSettingsFileFromEntry(dir, QString::fromUtf8(c.entry)),
            dir + QString::fromUtf8(c.file))
            << c.entry;
}

TEST_F(SoundDir, ReadsTheNineKeysWithTheirDefaults)
{
    const QString file = dir() + QStringLiteral("set.ini");
    SetSettings s = ReadSetSettings(file, kSection);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(s.Level[c], 80);
        EXPECT_EQ(s.Pan[c], 50);
        EXPECT_FALSE(s.Mute[c]);
    }

    writeAll(file, "[Vorn's Sorvanto]\nPan2=60\n");
    s = ReadSetSettings(file, kSection);
    EXPECT_EQ(s.Pan[1], 60);
    EXPECT_EQ(s.Pan[0], 50);
    EXPECT_EQ(s.Level[1], 80);

    writeAll(file,
        "[vorn's sorvanto]\nlevel1=75.5\nLEVEL2=7 0\nLevel3=40000\nPan1=abc\nPan2=\nPan3=&H41\n"
        "Mute1=1\nMute2=01\nMute3=true\n");
    s = ReadSetSettings(file, kSection);
    EXPECT_EQ(s.Level[0], 76);
    EXPECT_EQ(s.Level[1], 70);
    EXPECT_EQ(s.Level[2], std::nullopt); // too large: the knob stays as it is
    EXPECT_EQ(s.Pan[0], 0);
    EXPECT_EQ(s.Pan[1], 50);
    EXPECT_EQ(s.Pan[2], 65);
    EXPECT_EQ(s.Mute, (std::array<bool, 3> { true, false, false }));

    // Mute is down only for the exact text "1".
    for (const char* text : { "-1", "\" 1\"", "1.0", "2", "1x" }) {
        writeAll(file, QByteArray("[Vorn's Sorvanto]\nMute1=") + text + "\n");
        EXPECT_FALSE(ReadSetSettings(file, kSection).Mute[0]) << text;
    }
    writeAll(file, "[Vorn's Sorvanto]\nMute1= \"1\" \n");
    EXPECT_TRUE(ReadSetSettings(file, kSection).Mute[0]);
}

TEST_F(SoundDir, WritesTheNineKeysInOrderAndUpdatesInPlace)
{
    const QString file = dir() + QStringLiteral("set.ini");
    SetValues v;
    v.Level = { 80, 100, 40 };
    v.Pan = { 50, 35, -5 };
    v.Mute = { false, true, false };
    WriteSetSettings(file, kSection, v);
    EXPECT_EQ(readAll(file),
        QByteArray("[Vorn's Sorvanto]\nLevel1=80\nPan1=50\nLevel2=100\nPan2=35\nLevel3=40\n"
                   "Pan3=-5\nMute1=0\nMute2=1\nMute3=0\n"));

    // Saving again: one section, the latest values.
    v.Level[0] = 55;
    v.Mute = { true, false, true };
    WriteSetSettings(file, kSection, v);
    EXPECT_EQ(readAll(file),
        QByteArray("[Vorn's Sorvanto]\nLevel1=55\nPan1=50\nLevel2=100\nPan2=35\nLevel3=40\n"
                   "Pan3=-5\nMute1=1\nMute2=0\nMute3=1\n"));
    const SetSettings back = ReadSetSettings(file, kSection);
    EXPECT_EQ(back.Level[0], 55);
    EXPECT_EQ(back.Pan[2], -5);
    EXPECT_EQ(back.Mute, v.Mute);
}

TEST_F(SoundDir, SavingUpdatesTheExistingDifferentlyCasedFile)
{
    touch(QStringLiteral("Intro_1.wav"));
    const QString existing = dir() + QStringLiteral("INTRO.Ini");
    writeAll(existing, "; my notes\r\n[Other]\r\nx=1\r\n[VORN'S SORVANTO]\r\nlevel1=90\r\n");

    const QString file = SetSettingsFileFromEntry(dir(), QStringLiteral("intro_1"));
    EXPECT_EQ(file, existing);
    SetValues v;
    v.Level = { 60, 61, 62 };
    v.Pan = { 40, 50, 60 };
    WriteSetSettings(file, kSection, v);
    EXPECT_EQ(readAll(existing),
        QByteArray(
            "; my notes\r\n[Other]\r\nx=1\r\n[VORN'S SORVANTO]\r\nlevel1=60\r\nPan1=40\r\n"
            "Level2=61\r\nPan2=50\r\nLevel3=62\r\nPan3=60\r\nMute1=0\r\nMute2=0\r\nMute3=0\r\n"));
    EXPECT_EQ(QDir(dir()).entryList(QDir::Files, QDir::Name),
        QStringList({ "INTRO.Ini", "Intro_1.wav" }));
}

TEST_F(SoundDir, HostileSetFilesGiveDefaultsAndStillSave)
{
    const QString file = dir() + QStringLiteral("set.ini");
    QByteArray junk;
    for (int i = 0; i < (10 << 20); i += 5000)
        junk += QByteArray(4999, char('\0' + (i % 7))) + '\n';
    writeAll(file, junk);
    SetSettings s = ReadSetSettings(file, kSection);
    EXPECT_EQ(s.Level[0], 80);
    EXPECT_EQ(s.Pan[2], 50);

    SetValues v;
    v.Level = { 70, 70, 70 };
    WriteSetSettings(file, kSection, v);
    s = ReadSetSettings(file, kSection);
    EXPECT_EQ(s.Level[2], 70);
    EXPECT_EQ(s.Pan[0], 0);
    EXPECT_TRUE(readAll(file).startsWith(junk));
}

TEST_F(SoundDir, TempoAndTransposeReadWithDefaultsClampedAndUnreadableAsOriginal)
{
    const QString file = dir() + QStringLiteral("set.ini");
    SetSettings s = ReadSetSettings(file, kSection);
    EXPECT_EQ(s.Tempo, 100);
    EXPECT_EQ(s.Transpose, 0);
    const struct
    {
        const char* tempo;
        const char* transpose;
        int wantTempo;
        int wantTranspose;
    } cases[] = {
        { "85", "+2", 85, 2 },
        { " 72.6 ", "-3", 73, -3 }, // the number rule rounds
        { "49", "-13", 50, -12 }, // clamped
        { "201", "13", 200, 12 },
        { "0", "-0", 50, 0 },
        { "-40", "99", 50, 12 },
        { "fast", "up", 100, 0 }, // not a number
        { "", "", 100, 0 },
        { "40000", "-40000", 100, 0 }, // beyond what the number rule holds
        { "&H64", "&O2", 100, 2 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tempo) + " / " + c.transpose);
        writeAll(file,
            QByteArray("[Vorn's Sorvanto]\nTempo=") + c.tempo + "\nTranspose=" + c.transpose
                + "\n");
        s = ReadSetSettings(file, kSection);
        EXPECT_EQ(s.Tempo, c.wantTempo);
        EXPECT_EQ(s.Transpose, c.wantTranspose);
    }
    // Only its own section counts.
    writeAll(file, "[Other]\nTempo=80\n[Vorn's Sorvanto]\nLevel1=70\n");
    EXPECT_EQ(ReadSetSettings(file, kSection).Tempo, 100);
}

TEST_F(SoundDir, SavingWritesTempoAndTransposeKeepingForeignKeysCommentsAndLineEnds)
{
    const QString file = dir() + QStringLiteral("set.ini");
    const QByteArray before = "; practice notes\r\n[Vorn's Sorvanto]\r\nLevel1=70\r\nMyKey=keep "
                              "me\r\n\r\n[Other]\r\nTempo=33\r\n";
    writeAll(file, before);
    SetValues v;
    v.Level = { 70, 80, 80 };
    v.Pan = { 50, 50, 50 };
    // At the recorded tempo and key, no new keys.
    WriteSetSettings(file, kSection, v);
    QByteArray after = readAll(file);
    EXPECT_FALSE(after.contains("Transpose")) << after.constData();
    EXPECT_TRUE(after.endsWith("[Other]\r\nTempo=33\r\n")) << after.constData();

    v.Tempo = 85;
    v.Transpose = -2;
    WriteSetSettings(file, kSection, v);
    after = readAll(file);
    EXPECT_EQ(after,
        QByteArray("; practice notes\r\n[Vorn's Sorvanto]\r\nLevel1=70\r\nMyKey=keep me\r\n"
                   "Pan1=50\r\nLevel2=80\r\nPan2=50\r\nLevel3=80\r\nPan3=50\r\nMute1=0\r\n"
                   "Mute2=0\r\nMute3=0\r\nTempo=85\r\nTranspose=-2\r\n\r\n[Other]\r\n"
                   "Tempo=33\r\n"));
    SetSettings back = ReadSetSettings(file, kSection);
    EXPECT_EQ(back.Tempo, 85);
    EXPECT_EQ(back.Transpose, -2);

    // Back to the original: the keys written before now say so (they are not left at 85).
    v.Tempo = 100;
    v.Transpose = 0;
    WriteSetSettings(file, kSection, v);
    back = ReadSetSettings(file, kSection);
    EXPECT_EQ(back.Tempo, 100);
    EXPECT_EQ(back.Transpose, 0);
    EXPECT_TRUE(readAll(file).contains("Tempo=100\r\nTranspose=0\r\n"));
}
