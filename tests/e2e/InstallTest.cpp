// SPDX-License-Identifier: GPL-3.0-or-later
// This build tree installed into a staging tree (a DESTDIR with the prefix /usr), and the
// installed program run as a new user would: a temporary home without XDG variables, its own
// runtime directory, offscreen. Then the files the install carries checked by the desktop's own
// validators, and the Debian package built from this tree checked by dpkg-deb and lintian.

#include "app/Commands.h"
#include "app/FileTestKit.h"
#include "app/ProgramLocations.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int kStartTimeoutMs = 60000;
constexpr int kToolTimeoutMs = 240000;

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = "did not finish: " + program.toUtf8();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList treeOf(const QString& dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << QDir(dir).relativeFilePath(it.next());
    entries.sort();
    return entries;
}

class Installed : public ::testing::Test
{
protected:
    // One install serves every test of the suite.
    static void SetUpTestSuite()
    {
        s_stage = std::make_unique<QTemporaryDir>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), s_stage->path());
        const ToolRun install = runTool(QStringLiteral(SORVANTO_CMAKE),
            { QStringLiteral("--install"), QStringLiteral(SORVANTO_BUILD_DIR),
                QStringLiteral("--prefix"), QStringLiteral("/usr") },
            env);
        s_installLog = install.out + install.err;
        s_installed = install.exitCode == 0;
    }

    static void TearDownTestSuite() { s_stage.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(s_installed) << s_installLog.constData();
        ASSERT_TRUE(user.isValid());
        QDir(user.path()).mkpath(QStringLiteral("home"));
        QDir(user.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(
            runtimeDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void TearDown() override
    {
        if (program && program->state() != QProcess::NotRunning) {
            program->kill();
            program->waitForFinished(10000);
        }
    }

    static QString usr(const QString& relative) { return s_stage->path() + "/usr/" + relative; }
    QString home(const QString& relative = {}) const
    {
        return user.filePath(QStringLiteral("home/") + relative);
    }
    QString runtimeDir() const { return user.filePath(QStringLiteral("run")); }

    // The environment of a new user: a home of its own and no XDG base directories set.
    QProcessEnvironment userEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME" })
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("HOME"), home());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("print_suppressions=0"));
        for (auto it = extraEnvironment.cbegin(); it != extraEnvironment.cend(); ++it)
            env.insert(it.key(), it.value());
        return env;
    }

    // Starts the installed program, waits until it has read its settings (its default clip
    // exists) and ends it with SIGTERM, as a session end would. Returns its exit code.
    int startAndEnd()
    {
        const QString clip = runtimeDir() + QStringLiteral("/sorvanto/Default.wav");
        QFile::remove(clip);
        program = std::make_unique<QProcess>();
        program->setProcessEnvironment(userEnvironment());
        program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program->start(usr(QStringLiteral("bin/sorvanto")), QStringList());
        if (!program->waitForStarted(kStartTimeoutMs))
            return -1;
        if (!QTest::qWaitFor(
                [&] { return QFile::exists(clip) || program->state() == QProcess::NotRunning; },
                kStartTimeoutMs))
            return -2;
        ::kill(pid_t(program->processId()), SIGTERM);
        if (!program->waitForFinished(kStartTimeoutMs))
            return -3;
        return program->exitStatus() == QProcess::NormalExit ? program->exitCode() : -4;
    }

    QString settingsFile() const { return home(QStringLiteral(".config/sorvanto/sorvanto.ini")); }
    QString programDir() const { return home(QStringLiteral(".local/share/sorvanto/")); }
    QString stored(const char* key) const
    {
        return Commands::ReadIni(QStringLiteral("Vorn's Sorvanto"), QLatin1String(key),
            settingsFile(), QStringLiteral("<none>"));
    }

    static inline std::unique_ptr<QTemporaryDir> s_stage;
    static inline bool s_installed = false;
    static inline QByteArray s_installLog;

    QTemporaryDir user;
    std::unique_ptr<QProcess> program;
    QMap<QString, QString> extraEnvironment; // set on top of userEnvironment()
};

} // namespace

TEST_F(Installed, SettingsGoToTheConfigFolderAndTheDemoSetIsCopiedOnceIntoTheDataFolder)
{
    ASSERT_EQ(startAndEnd(), 0);
    EXPECT_EQ(stored("ShowEnding"), QStringLiteral("0"));
    EXPECT_EQ(stored("AutoPlay"), QStringLiteral("1"));
    EXPECT_EQ(stored("PhraseSync"), QStringLiteral("1"));
    EXPECT_EQ(stored("WAVpath"), QStringLiteral("<none>"));
    // Nothing lands beside the executable, and every file of the program's in the home is in
    // one of its two folders (the sound server's library may keep its own files there too).
    EXPECT_EQ(QDir(usr(QStringLiteral("bin"))).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("sorvanto") });
    for (const QString& entry : treeOf(home())) {
        const bool programs = entry.contains(QLatin1String("sorvanto"), Qt::CaseInsensitive)
            || entry.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive)
            || entry.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive);
        if (programs) {
            EXPECT_TRUE(entry.startsWith(QLatin1String(".config/sorvanto"))
                || entry.startsWith(QLatin1String(".local/share/sorvanto")))
                << entry.toStdString();
        }
    }

    QStringList demo = Commands::DemoPhraseNames();
    demo.sort();
    ASSERT_EQ(QDir(programDir()).entryList(QDir::Files), demo);
    for (const QString& name : demo) {
        const QByteArray installed = fileBytes(usr(QStringLiteral("share/sorvanto/")) + name);
        EXPECT_GT(installed.size(), 44) << name.toStdString();
        EXPECT_EQ(fileBytes(programDir() + name), installed) << name.toStdString();
    }

    // The user changes a phrase and an option; the next start keeps both.
    {
        QFile phrase(programDir() + QStringLiteral("Demo_1.wav"));
        ASSERT_TRUE(phrase.open(QIODevice::WriteOnly | QIODevice::Truncate));
        phrase.write("changed by the user");
    }
    ASSERT_TRUE(Commands::WriteIni(QStringLiteral("Vorn's Sorvanto"), QStringLiteral("ShowEnding"),
        QStringLiteral("1"), settingsFile()));
    ASSERT_TRUE(QFile::remove(programDir() + QStringLiteral("Metronome.wav")));
    ASSERT_EQ(startAndEnd(), 0);
    EXPECT_EQ(
        fileBytes(programDir() + QStringLiteral("Demo_1.wav")), QByteArray("changed by the user"));
    EXPECT_FALSE(QFile::exists(programDir() + QStringLiteral("Metronome.wav")));
    EXPECT_EQ(stored("ShowEnding"), QStringLiteral("1"));
}

// The first start on a data folder with room for one phrase only keeps nothing of the set (the
// user is told), and the next start with room copies the whole set.
TEST_F(Installed, AFirstStartOnAFullDataFolderKeepsNothingAndTheNextOneCopiesTheSet)
{
    FileTestKit::ScratchFileSystem data(4096);
    if (!data.mounted())
        GTEST_SKIP() << "no file system of its own can be mounted here";
    const QString filler = data.path() + QStringLiteral("/filler");
    {
        QFile f(filler);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const qsizetype size = qsizetype(4096 - 1200) * 1024;
        ASSERT_EQ(f.write(QByteArray(size, 'f')), size);
    }
    extraEnvironment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    ASSERT_EQ(startAndEnd(), 0);
    EXPECT_EQ(QDir(data.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("filler") });
    EXPECT_EQ(stored("AutoPlay"), QStringLiteral("1")) << "the settings are stored all the same";

    ASSERT_TRUE(QFile::remove(filler));
    ASSERT_EQ(startAndEnd(), 0);
    QStringList demo = Commands::DemoPhraseNames();
    demo.sort();
    const QString programDir = data.path() + QStringLiteral("/sorvanto/");
    ASSERT_EQ(QDir(programDir).entryList(QDir::Files), demo);
    for (const QString& name : demo)
        EXPECT_EQ(
            fileBytes(programDir + name), fileBytes(usr(QStringLiteral("share/sorvanto/")) + name))
            << name.toStdString();
}

TEST_F(Installed, HelpAndVersionAnswerWithoutAWindowTheLockOrAnyFile)
{
    // A platform that does not exist would end the program at the first window or
    // application object, so a clean answer shows that neither was made.
    QProcessEnvironment env = userEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    const ToolRun version
        = runTool(usr(QStringLiteral("bin/sorvanto")), { QStringLiteral("--version") }, env);
    EXPECT_EQ(version.exitCode, 0) << version.err.constData();
    EXPECT_EQ(version.out, QByteArray("sorvanto " SORVANTO_VERSION "\n"));

    const ToolRun help = runTool(usr(QStringLiteral("bin/sorvanto")),
        { QStringLiteral("-x"), QStringLiteral("--help"), QStringLiteral("--version") }, env);
    EXPECT_EQ(help.exitCode, 0) << help.err.constData();
    EXPECT_TRUE(help.out.startsWith("Usage:\n")) << help.out.constData();
    EXPECT_TRUE(help.out.contains("Files:\n"));
    EXPECT_TRUE(help.err.isEmpty()) << help.err.constData();

    EXPECT_TRUE(treeOf(runtimeDir()).isEmpty()) << treeOf(runtimeDir()).join(' ').toStdString();
    EXPECT_TRUE(treeOf(home()).isEmpty()) << treeOf(home()).join(' ').toStdString();
}

TEST_F(Installed, MenuEntryMetadataIconsAndManPagePassTheDesktopsChecks)
{
    const QString desktop = usr(QStringLiteral("share/applications/org.vorn.Sorvanto.desktop"));
    const QString metainfo = usr(QStringLiteral("share/metainfo/org.vorn.Sorvanto.metainfo.xml"));
    ASSERT_TRUE(QFile::exists(desktop));
    ASSERT_TRUE(QFile::exists(metainfo));

    const ToolRun entry = runTool(QStringLiteral("desktop-file-validate"), { desktop });
    EXPECT_EQ(entry.exitCode, 0) << entry.out.constData() << entry.err.constData();
    EXPECT_TRUE(entry.out.isEmpty()) << "hints: " << entry.out.constData();
    const ToolRun meta = runTool(QStringLiteral("appstreamcli"),
        { QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo });
    EXPECT_EQ(meta.exitCode, 0) << meta.out.constData() << meta.err.constData();

    const QByteArray entryText = fileBytes(desktop);
    EXPECT_TRUE(entryText.contains("\nExec=sorvanto\n"));
    EXPECT_TRUE(entryText.contains("\nIcon=org.vorn.Sorvanto\n"));
    EXPECT_TRUE(entryText.contains("\nGenericName=Loop Phrase Player\n"));
    EXPECT_TRUE(entryText.contains("\nCategories=AudioVideo;Audio;Player;\n"));

    // Each size is its own drawing at that size, with the rounded corners left transparent.
    QList<QImage> icons;
    for (int size : { 32, 48, 64, 128, 256 }) {
        const QString path
            = usr(QStringLiteral("share/icons/hicolor/%1x%1/apps/org.vorn.Sorvanto.png").arg(size));
        const QImage icon(path);
        ASSERT_FALSE(icon.isNull()) << path.toStdString();
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel());
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255) << size;
        icons << icon;
    }
    // A 256 image drawn at 256 has smooth edges, so it has far more distinct colours than the
    // 32 one it would otherwise be blown up from.
    const auto colours = [](const QImage& image) {
        QSet<QRgb> seen;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                seen.insert(image.pixel(x, y));
        return seen.size();
    };
    EXPECT_GT(colours(icons.last()), 4 * colours(icons.first()));

    const QByteArray man = fileBytes(usr(QStringLiteral("share/man/man1/sorvanto.1.gz")));
    EXPECT_TRUE(man.startsWith("\x1f\x8b")) << "the man page is installed compressed";
    // The licence, in the words each format wants: SPDX for AppStream, the machine-readable
    // copyright file with the licence's notice for Debian.
    EXPECT_TRUE(
        fileBytes(metainfo).contains("<project_license>GPL-3.0-or-later</project_license>"));
    const QByteArray copyright = fileBytes(usr(QStringLiteral("share/doc/sorvanto/copyright")));
    EXPECT_TRUE(copyright.contains("\nLicense: GPL-3.0-or-later\n")) << copyright.constData();
    EXPECT_TRUE(copyright.contains("/usr/share/common-licenses/GPL-3"));
}

TEST_F(Installed, DebianPackageListsItsLibrariesAndLintianFindsNoErrors)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const ToolRun cpack = runTool(QStringLiteral(SORVANTO_CPACK),
        { QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
            QStringLiteral(SORVANTO_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"),
            out.path() });
    ASSERT_EQ(cpack.exitCode, 0) << cpack.out.constData() << cpack.err.constData();
    const QStringList debs = QDir(out.path()).entryList({ QStringLiteral("sorvanto_*.deb") });
    ASSERT_EQ(debs.size(), 1) << QDir(out.path()).entryList().join(' ').toStdString();
    const QString deb = out.filePath(debs.first());

    const ToolRun info = runTool(QStringLiteral("dpkg-deb"), { QStringLiteral("--info"), deb });
    ASSERT_EQ(info.exitCode, 0) << info.err.constData();
    const QString control = QString::fromUtf8(info.out);
    EXPECT_TRUE(control.contains(QLatin1String(" Package: sorvanto\n"))) << info.out.constData();
    // dpkg-shlibdeps named the libraries the binary really links.
    const qsizetype depends = control.indexOf(QLatin1String(" Depends: "));
    ASSERT_GE(depends, 0) << info.out.constData();
    const QString dependsLine = control.mid(depends, control.indexOf('\n', depends) - depends);
    for (const char* library : { "libc6", "libqt6widgets6", "libsndfile1", "libsoxr0",
             "librtaudio6", "libpulse0", "qt6-qpa-plugins" })
        EXPECT_TRUE(dependsLine.contains(QLatin1String(library)))
            << library << " missing in" << dependsLine.toStdString();

    const ToolRun contents
        = runTool(QStringLiteral("dpkg-deb"), { QStringLiteral("--contents"), deb });
    for (const char* file : { "./usr/bin/sorvanto", "./usr/share/sorvanto/Demo_1.wav",
             "./usr/share/sorvanto/Metronome.wav",
             "./usr/share/applications/org.vorn.Sorvanto.desktop",
             "./usr/share/icons/hicolor/256x256/apps/org.vorn.Sorvanto.png",
             "./usr/share/man/man1/sorvanto.1.gz", "./usr/share/doc/sorvanto/copyright" })
        EXPECT_TRUE(contents.out.contains(QByteArray(file) + '\n')) << file;

    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("lintian")).isEmpty())
        << "lintian is in scripts/packages.txt";
    const ToolRun lint = runTool(QStringLiteral("lintian"), { deb });
    QStringList errors;
    for (const QByteArray& line : lint.out.split('\n')) {
        if (line.startsWith("E: "))
            errors << QString::fromUtf8(line);
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    // Lintian exits non-zero only for errors (or its own failure).
    EXPECT_EQ(lint.exitCode, 0) << lint.out.constData() << lint.err.constData();
}
