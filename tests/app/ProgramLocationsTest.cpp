// SPDX-License-Identifier: GPL-3.0-or-later
// Portable or installed, decided from the executable's own path, and the first start of an
// installed program: real directories in a temporary tree.

#include "app/ProgramLocations.h"
#include "app/Commands.h"
#include "app/FileTestKit.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Commands;
using FileTestKit::entriesOf;
using FileTestKit::readAll;
using FileTestKit::writeAll;

namespace {

bool clean(const PreparedLocations& prepared)
{
    return prepared.notice.isEmpty() && prepared.fatal.isEmpty();
}

class Locations : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(root.isValid()); }

    QString path(const QString& relative) const { return root.filePath(relative); }
    void mkdir(const QString& relative) { ASSERT_TRUE(QDir(root.path()).mkpath(relative)); }

    // An installed layout under <root>/<prefix>: bin/sorvanto and share/sorvanto/ with demo
    // phrases whose contents name them.
    QString installPrefix(const QString& prefix)
    {
        QDir(root.path()).mkpath(prefix + QStringLiteral("/bin"));
        QDir(root.path()).mkpath(prefix + QStringLiteral("/share/sorvanto"));
        writeAll(path(prefix + QStringLiteral("/bin/sorvanto")), "binary");
        for (const QString& name : DemoPhraseNames())
            writeAll(path(prefix + QStringLiteral("/share/sorvanto/") + name), name.toUtf8());
        return path(prefix + QStringLiteral("/bin/sorvanto"));
    }

    QProcessEnvironment homeOnly() const
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        return env;
    }

    QTemporaryDir root;
};

} // namespace

TEST_F(Locations, AnythingButABinDirectoryWithSharedDataBesideItIsPortable)
{
    // A build tree.
    mkdir(QStringLiteral("build"));
    const ProgramLocations build
        = ProgramLocations::detect(path(QStringLiteral("build/sorvanto")), homeOnly());
    EXPECT_FALSE(build.installed);
    EXPECT_EQ(build.appDir, path(QStringLiteral("build/")));
    EXPECT_EQ(build.iniFile, path(QStringLiteral("build/sorvanto.ini")));
    EXPECT_TRUE(build.sharedData.isEmpty());

    // A bin directory without the shared data, and the shared data beside a directory that is
    // not called bin ("Bin" included: names are case-sensitive here).
    mkdir(QStringLiteral("lonely/bin"));
    EXPECT_FALSE(ProgramLocations::detect(path(QStringLiteral("lonely/bin/sorvanto")), homeOnly())
                     .installed);
    mkdir(QStringLiteral("other/Bin"));
    mkdir(QStringLiteral("other/share/sorvanto"));
    const ProgramLocations other
        = ProgramLocations::detect(path(QStringLiteral("other/Bin/sorvanto")), homeOnly());
    EXPECT_FALSE(other.installed);
    EXPECT_EQ(other.iniFile, path(QStringLiteral("other/Bin/sorvanto.ini")));

    // share/sorvanto as a plain file does not make an installed layout.
    mkdir(QStringLiteral("odd/bin"));
    mkdir(QStringLiteral("odd/share"));
    writeAll(path(QStringLiteral("odd/share/sorvanto")), "not a directory");
    EXPECT_FALSE(
        ProgramLocations::detect(path(QStringLiteral("odd/bin/sorvanto")), homeOnly()).installed);

    // A portable program renamed keeps its settings file named after it.
    EXPECT_EQ(ProgramLocations::detect(path(QStringLiteral("build/player")), homeOnly()).iniFile,
        path(QStringLiteral("build/player.ini")));
}

TEST_F(Locations, InstalledUsesTheXdgFoldersWithTheirDefaults)
{
    const QString exe = installPrefix(QStringLiteral("usr"));

    const ProgramLocations defaults = ProgramLocations::detect(exe, homeOnly());
    EXPECT_TRUE(defaults.installed);
    EXPECT_EQ(defaults.iniFile, path(QStringLiteral("home/.config/sorvanto/sorvanto.ini")));
    EXPECT_EQ(defaults.appDir, path(QStringLiteral("home/.local/share/sorvanto/")));
    EXPECT_EQ(defaults.sharedData, path(QStringLiteral("usr/share/sorvanto/")));

    QProcessEnvironment env = homeOnly();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("cfg/")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
    const ProgramLocations chosen = ProgramLocations::detect(exe, env);
    EXPECT_EQ(chosen.iniFile, path(QStringLiteral("cfg/sorvanto/sorvanto.ini")));
    EXPECT_EQ(chosen.appDir, path(QStringLiteral("data/sorvanto/")));

    // Relative or empty values are not base directories: the defaults apply.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("relative/cfg"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), QString());
    const ProgramLocations ignored = ProgramLocations::detect(exe, env);
    EXPECT_EQ(ignored.iniFile, defaults.iniFile);
    EXPECT_EQ(ignored.appDir, defaults.appDir);
}

TEST_F(Locations, FirstInstalledStartCopiesTheDemoSetAndLaterStartsLeaveTheUsersFilesAlone)
{
    const ProgramLocations loc
        = ProgramLocations::detect(installPrefix(QStringLiteral("prefix")), homeOnly());
    ASSERT_TRUE(loc.installed);

    ASSERT_TRUE(clean(PrepareProgramLocations(loc)));
    EXPECT_TRUE(QFileInfo(QFileInfo(loc.iniFile).absolutePath()).isDir());
    EXPECT_FALSE(QFileInfo::exists(loc.iniFile)) << "the settings file is written at the end";
    QStringList demo = DemoPhraseNames();
    demo.sort();
    EXPECT_EQ(entriesOf(loc.appDir), demo);
    for (const QString& name : DemoPhraseNames())
        EXPECT_EQ(readAll(loc.appDir + name), name.toUtf8());
    // Nothing of the assembly is left beside the program directory.
    EXPECT_EQ(entriesOf(path(QStringLiteral("home/.local/share"))),
        QStringList { QStringLiteral("sorvanto") });

    // The user changes one phrase, deletes another and adds a third of their own.
    writeAll(loc.appDir + QStringLiteral("Demo_1.wav"), "mine");
    ASSERT_TRUE(QFile::remove(loc.appDir + QStringLiteral("Metronome.wav")));
    writeAll(loc.appDir + QStringLiteral("Own.wav"), "own");
    ASSERT_TRUE(clean(PrepareProgramLocations(loc)));
    EXPECT_EQ(readAll(loc.appDir + QStringLiteral("Demo_1.wav")), QByteArray("mine"));
    EXPECT_FALSE(QFileInfo::exists(loc.appDir + QStringLiteral("Metronome.wav")));
    EXPECT_EQ(readAll(loc.appDir + QStringLiteral("Own.wav")), QByteArray("own"));
}

TEST_F(Locations, CopiedDemoPhrasesAreTheUsersToChangeEvenFromAReadOnlyInstall)
{
    const QString exe = installPrefix(QStringLiteral("ro"));
    const QString shared = path(QStringLiteral("ro/share/sorvanto/"));
    // Only part of the set installed, read-only.
    ASSERT_TRUE(QFile::remove(shared + QStringLiteral("Demo_3.wav")));
    for (const QString& name : QDir(shared).entryList(QDir::Files))
        QFile::setPermissions(shared + name, QFileDevice::ReadOwner | QFileDevice::ReadGroup);

    const ProgramLocations loc = ProgramLocations::detect(exe, homeOnly());
    ASSERT_TRUE(clean(PrepareProgramLocations(loc)));
    EXPECT_EQ(entriesOf(loc.appDir),
        (QStringList { QStringLiteral("Demo_1.wav"), QStringLiteral("Demo_2.wav"),
            QStringLiteral("Metronome.wav") }));
    for (const QString& name : entriesOf(loc.appDir))
        EXPECT_TRUE(QFile::permissions(loc.appDir + name) & QFileDevice::WriteOwner)
            << name.toStdString();
}

TEST_F(Locations, AProgramDirectoryThatAppearedMeanwhileIsKeptAndPortableTouchesNothing)
{
    // A program directory that exists already, even empty, is the user's.
    const ProgramLocations loc
        = ProgramLocations::detect(installPrefix(QStringLiteral("p")), homeOnly());
    mkdir(QStringLiteral("home/.local/share/sorvanto"));
    ASSERT_TRUE(clean(PrepareProgramLocations(loc)));
    EXPECT_TRUE(entriesOf(loc.appDir).isEmpty());

    // A home that cannot hold the folders: reported, not fatal.
    QProcessEnvironment env;
    env.insert(QStringLiteral("HOME"), path(QStringLiteral("file-home")));
    writeAll(path(QStringLiteral("file-home")), "a file, not a directory");
    const ProgramLocations blocked
        = ProgramLocations::detect(path(QStringLiteral("p/bin/sorvanto")), env);
    ASSERT_TRUE(blocked.installed);
    const PreparedLocations stand = PrepareProgramLocations(blocked);
    EXPECT_EQ(stand.notice,
        QStringLiteral("The program could not keep its files in '")
            + path("file-home/.config/sorvanto") + QStringLiteral("': The folder '")
            + path("file-home")
            + QStringLiteral("' could not be created: Not a directory.\r\nFor this run it keeps "
                             "them beside the program, in '")
            + path("p/bin/") + QStringLiteral("'."));
    EXPECT_TRUE(stand.fatal.isEmpty());
    EXPECT_FALSE(stand.locations.installed);
    EXPECT_EQ(stand.locations.appDir, path("p/bin/"));
    EXPECT_EQ(stand.locations.iniFile, path("p/bin/sorvanto.ini"));

    mkdir(QStringLiteral("portable"));
    const QStringList before = entriesOf(root.path());
    const ProgramLocations portable
        = ProgramLocations::detect(path(QStringLiteral("portable/sorvanto")), homeOnly());
    EXPECT_TRUE(clean(PrepareProgramLocations(portable)));
    EXPECT_EQ(entriesOf(root.path()), before);
    EXPECT_TRUE(entriesOf(path(QStringLiteral("portable"))).isEmpty());
}

TEST_F(Locations, InstalledSettingsAndRelativeSoundDirectoriesFollowTheChosenFolders)
{
    const ProgramLocations loc
        = ProgramLocations::detect(installPrefix(QStringLiteral("usr")), homeOnly());
    ASSERT_TRUE(clean(PrepareProgramLocations(loc)));
    mkdir(QStringLiteral("home/.local/share/sorvanto/Loops"));
    writeAll(loc.iniFile, "[Vorn's Sorvanto]\nWAVpath=Loops\\\nShowEnding=1\n");

    ProgramValues v;
    InitPaths(v, loc);
    QTemporaryDir runtime;
    v.TempDir = runtime.path() + QLatin1Char('/');
    LoadProgramSettings(v);
    EXPECT_EQ(v.AppDir, loc.appDir);
    EXPECT_EQ(v.IniFile, loc.iniFile);
    EXPECT_EQ(v.WAVpath, loc.appDir + QStringLiteral("Loops/"));
    EXPECT_EQ(v.ShowEnding, 1);

    // The flags go back to the same file, nowhere near the executable.
    v.ShowEnding = 0;
    ASSERT_TRUE(StoreProgramFlags(v));
    EXPECT_EQ(ReadIni(v.AppTitle, QStringLiteral("ShowEnding"), loc.iniFile, QString()),
        QStringLiteral("0"));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("usr/bin/sorvanto.ini"))));
}

// A first start that cannot copy the whole demo set (a disk that runs full) leaves no program
// directory and no half-copied phrase, says why once, and the next start with room completes
// the set.
TEST_F(Locations, AFirstStartThatCannotCopyEverythingKeepsNothingAndTriesAgain)
{
    const QString exe = installPrefix(QStringLiteral("usr"));
    // A phrase larger than a file may grow here, as on a disk with little room.
    const QByteArray big(qsizetype(256) * 1024, 'd');
    writeAll(path(QStringLiteral("usr/share/sorvanto/Demo_2.wav")), big);
    const ProgramLocations loc = ProgramLocations::detect(exe, homeOnly());
    const QString data = path(QStringLiteral("home/.local/share"));
    {
        FileTestKit::FileSizeLimit limit(rlim_t(64) * 1024);
        const PreparedLocations first = PrepareProgramLocations(loc);
        EXPECT_EQ(first.notice,
            QStringLiteral("The demo phrases could not be copied into '") + loc.appDir
                + QStringLiteral("': File too large."));
        EXPECT_TRUE(first.fatal.isEmpty());
        EXPECT_EQ(first.locations.appDir, loc.appDir);
    }
    EXPECT_TRUE(entriesOf(data).isEmpty()) << entriesOf(data).join(' ').toStdString();

    const PreparedLocations second = PrepareProgramLocations(loc);
    EXPECT_TRUE(clean(second)) << second.notice.toStdString();
    EXPECT_EQ(entriesOf(loc.appDir).size(), DemoPhraseNames().size());
    EXPECT_EQ(readAll(loc.appDir + QStringLiteral("Demo_2.wav")), big);
    EXPECT_EQ(entriesOf(data), QStringList { QStringLiteral("sorvanto") });

    // The same on a small file system of its own that runs full (ENOSPC), where one may mount.
    FileTestKit::ScratchFileSystem small(200);
    if (!small.mounted())
        GTEST_SKIP() << "no file system of its own can be mounted here";
    QProcessEnvironment env = homeOnly();
    env.insert(QStringLiteral("XDG_DATA_HOME"), small.path());
    const ProgramLocations full = ProgramLocations::detect(exe, env);
    const PreparedLocations onFull = PrepareProgramLocations(full);
    EXPECT_EQ(onFull.notice,
        QStringLiteral("The demo phrases could not be copied into '") + full.appDir
            + QStringLiteral("': No space left on device."));
    EXPECT_TRUE(entriesOf(small.path()).isEmpty())
        << entriesOf(small.path()).join(' ').toStdString();
}

// No home to keep files in: the portable places beside the executable stand in and the user
// hears where the program could not keep them; where those are not writable either, the
// program ends with a clear message.
TEST_F(Locations, WithoutAHomeTheFolderBesideTheProgramStandsInOrTheProgramEnds)
{
    const QString exe = installPrefix(QStringLiteral("opt"));
    const ProgramLocations loc = ProgramLocations::detect(exe, QProcessEnvironment());
    ASSERT_TRUE(loc.installed);
    EXPECT_TRUE(loc.appDir.isEmpty());
    EXPECT_TRUE(loc.iniFile.isEmpty());

    const PreparedLocations stand = PrepareProgramLocations(loc);
    EXPECT_EQ(stand.notice,
        QStringLiteral("The program could not keep its files in the home folder: HOME is not "
                       "set.\r\nFor this run it keeps them beside the program, in '")
            + path(QStringLiteral("opt/bin/")) + QStringLiteral("'."));
    EXPECT_EQ(stand.locations.iniFile, path(QStringLiteral("opt/bin/sorvanto.ini")));
    EXPECT_EQ(
        entriesOf(path(QStringLiteral("opt/bin"))), QStringList { QStringLiteral("sorvanto") });

    // An XDG folder that cannot be made is named as such.
    const QString readOnly = path(QStringLiteral("ro"));
    mkdir(QStringLiteral("ro"));
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(
        path(QStringLiteral("opt/bin")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = homeOnly();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), readOnly + QStringLiteral("/config"));
    FileTestKit::ObeyPermissions obey;
    if (!obey.active())
        GTEST_SKIP() << "permissions cannot be made to count here";
    const PreparedLocations none = PrepareProgramLocations(ProgramLocations::detect(exe, env));
    EXPECT_EQ(none.fatal,
        QStringLiteral("The program could not keep its files in '") + readOnly
            + QStringLiteral("/config/sorvanto': The folder '") + readOnly
            + QStringLiteral("/config' could not be created: Permission denied. The folder beside "
                             "the program, '")
            + path(QStringLiteral("opt/bin/"))
            + QStringLiteral("', cannot be written either, so the program ends."));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("home/.local/share/sorvanto"))));
}
