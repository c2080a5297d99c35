// SPDX-License-Identifier: GPL-3.0-or-later
// The real program binary, copied into a private program directory with a private runtime
// directory: a second start exits at once with status 0 and writes nothing; a first start
// without a settings file closed by SIGTERM stores the three default flags and no sound
// directory. Command-line arguments, Qt's own included, change nothing.

#include "app/Commands.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>

namespace {

constexpr int kStartTimeoutMs = 60000;

class StartupE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkpath(QStringLiteral("program"));
        QDir(root.path()).mkpath(QStringLiteral("run"));
        programDir = root.filePath(QStringLiteral("program"));
        runtimeDir = root.filePath(QStringLiteral("run"));
        QFile::setPermissions(
            runtimeDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        binary = programDir + QStringLiteral("/sorvanto");
        ASSERT_TRUE(QFile::copy(QStringLiteral(SORVANTO_BINARY), binary));
        QFile::setPermissions(
            binary, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void TearDown() override
    {
        for (auto& process : processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(10000);
            }
        }
    }

    QProcess* launch(const QStringList& arguments = {}, const std::function<void()>& inChild = {},
        const std::function<void(QProcessEnvironment&)>& adjust = {})
    {
        auto process = std::make_unique<QProcess>();
        if (inChild)
            process->setChildProcessModifier(inChild);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("print_suppressions=0"));
        if (adjust)
            adjust(env);
        process->setProcessEnvironment(env);
        process->setProgram(binary);
        process->setArguments(arguments);
        process->setProcessChannelMode(channelMode);
        process->start();
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    // Every file and directory under the program and runtime directories with its size and
    // modification time.
    QStringList snapshot() const
    {
        QStringList entries;
        for (const QString& top : { programDir, runtimeDir }) {
            QDirIterator it(top,
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                QDirIterator::Subdirectories);
            while (it.hasNext()) {
                it.next();
                const QFileInfo info = it.fileInfo();
                entries << QStringLiteral("%1 %2 %3")
                               .arg(info.filePath())
                               .arg(info.isDir() ? -1 : info.size())
                               .arg(info.lastModified().toMSecsSinceEpoch());
            }
        }
        entries.sort();
        return entries;
    }

    // Waits until the first instance has written its default clip (so it holds the lock and
    // has read its settings) and its files have stopped changing.
    bool waitUntilSettled(QProcess* process)
    {
        const QString clip = runtimeDir + QStringLiteral("/sorvanto/Default.wav");
        if (!QTest::qWaitFor(
                [&] { return QFile::exists(clip) || process->state() == QProcess::NotRunning; },
                kStartTimeoutMs))
            return false;
        QStringList last = snapshot();
        for (int i = 0; i < 100 && process->state() == QProcess::Running; ++i) {
            QTest::qWait(300);
            const QStringList now = snapshot();
            if (now == last)
                return true;
            last = now;
        }
        return false;
    }

    QString stored(const char* key) const
    {
        return Commands::ReadIni(QStringLiteral("Vorn's Sorvanto"), QLatin1String(key),
            programDir + QStringLiteral("/sorvanto.ini"), QStringLiteral("<none>"));
    }

    QTemporaryDir root;
    QProcess::ProcessChannelMode channelMode = QProcess::ForwardedErrorChannel;
    QString programDir;
    QString runtimeDir;
    QString binary;
    std::vector<std::unique_ptr<QProcess>> processes;
};

} // namespace

TEST_F(StartupE2E, SecondInstanceExitsAtOnceWritingNothingAndTheFirstStoresItsFlagsOnSigterm)
{
    QProcess* first = launch({ QStringLiteral("--ignored"), QStringLiteral("-platform"),
        QStringLiteral("no-such-platform") });
    ASSERT_TRUE(first->waitForStarted(kStartTimeoutMs));
    ASSERT_TRUE(waitUntilSettled(first)) << "the first instance did not come up";
    ASSERT_EQ(first->state(), QProcess::Running);
    EXPECT_FALSE(QFile::exists(programDir + QStringLiteral("/sorvanto.ini")));

    const QStringList before = snapshot();
    QProcess* second = launch();
    ASSERT_TRUE(second->waitForFinished(kStartTimeoutMs));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(first->state(), QProcess::Running);

    ::kill(pid_t(first->processId()), SIGTERM);
    ASSERT_TRUE(first->waitForFinished(kStartTimeoutMs));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_EQ(stored("ShowEnding"), QStringLiteral("0"));
    EXPECT_EQ(stored("AutoPlay"), QStringLiteral("1"));
    EXPECT_EQ(stored("PhraseSync"), QStringLiteral("1"));
    EXPECT_EQ(stored("WAVpath"), QStringLiteral("<none>"));

    // The lock went with the first instance: a new start comes up.
    QProcess* third = launch();
    ASSERT_TRUE(third->waitForStarted(kStartTimeoutMs));
    ASSERT_TRUE(waitUntilSettled(third));
    EXPECT_EQ(third->state(), QProcess::Running);
    ::kill(pid_t(third->processId()), SIGINT);
    ASSERT_TRUE(third->waitForFinished(kStartTimeoutMs));
    EXPECT_EQ(third->exitCode(), 0);
}

TEST_F(StartupE2E, StoredFlagsSurviveARestartUnchanged)
{
    {
        QFile ini(programDir + QStringLiteral("/sorvanto.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Vorn's Sorvanto]\r\nPhraseSync=0\r\nShowEnding=1\r\nAutoPlay=abc\r\n");
    }
    QProcess* first = launch();
    ASSERT_TRUE(first->waitForStarted(kStartTimeoutMs));
    ASSERT_TRUE(waitUntilSettled(first));
    ::kill(pid_t(first->processId()), SIGHUP);
    ASSERT_TRUE(first->waitForFinished(kStartTimeoutMs));
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_EQ(stored("ShowEnding"), QStringLiteral("1"));
    EXPECT_EQ(stored("AutoPlay"), QStringLiteral("0"));
    EXPECT_EQ(stored("PhraseSync"), QStringLiteral("0"));
    QFile ini(programDir + QStringLiteral("/sorvanto.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    // Existing keys keep their place; the file keeps its line ends.
    EXPECT_EQ(ini.readAll(),
        QByteArray("[Vorn's Sorvanto]\r\nPhraseSync=0\r\nShowEnding=1\r\nAutoPlay=0\r\n"
                   "LineUpByName=1\r\nPlayInStep=0\r\n"));
}

// Ending the program on a full disk: the flags cannot be stored, and the settings file stays
// exactly as it was, with no temporary file left beside it. The program is not killed by the
// size limit's signal either: it ends normally.
TEST_F(StartupE2E, ShutdownOnAFullDiskLeavesTheSettingsFileByteForByte)
{
    const QString ini = programDir + QStringLiteral("/sorvanto.ini");
    const QByteArray before
        = "[Vorn's Sorvanto]\nAutoPlay=1\n; " + QByteArray(3000, 'x') + "\nShowEnding=7\n";
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    // The default clip (under 1 kB) fits; a new settings file of over 3 kB does not.
    QProcess* program = launch({}, [] {
        rlimit limit { 2048, 2048 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    ASSERT_TRUE(program->waitForStarted(kStartTimeoutMs));
    ASSERT_TRUE(waitUntilSettled(program)) << "the program did not come up";
    ::kill(pid_t(program->processId()), SIGTERM);
    ASSERT_TRUE(program->waitForFinished(kStartTimeoutMs));
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program->exitCode(), 0);
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(QDir(programDir).entryList(QDir::Files | QDir::Hidden, QDir::Name),
        (QStringList { "sorvanto", "sorvanto.ini" }));
}

// With the sound server stopped (SIGSTOP) the program still ends within about two seconds of a
// SIGTERM (which its window's event loop handles), and so gives up its lock: the next start
// comes up, and its window answers a SIGTERM as promptly, while the server is still frozen.
TEST_F(StartupE2E, AFrozenSoundServerHoldsUpNeitherTheEndNorTheNextStart)
{
    QFile pidFile(QStringLiteral(SORVANTO_PULSE_DIR "/pid"));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly)) << "no test sound server";
    const pid_t server = pid_t(pidFile.readAll().trimmed().toLong());
    ASSERT_GT(server, 0);

    QProcess* first = launch();
    ASSERT_TRUE(first->waitForStarted(kStartTimeoutMs));
    ASSERT_TRUE(waitUntilSettled(first)) << "the program did not come up";
    struct Thaw
    {
        pid_t pid;
        ~Thaw() { ::kill(pid, SIGCONT); }
    } thaw { server };
    ASSERT_EQ(::kill(server, SIGSTOP), 0);
    QTest::qWait(200);

    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(first->processId()), SIGTERM);
    ASSERT_TRUE(first->waitForFinished(kStartTimeoutMs));
    EXPECT_LT(clock.elapsed(), 2500) << "the end waited on the frozen server";
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);

    QProcess* second = launch();
    ASSERT_TRUE(second->waitForStarted(kStartTimeoutMs));
    ASSERT_TRUE(waitUntilSettled(second)) << "a start during the freeze did not come up";
    ASSERT_EQ(second->state(), QProcess::Running) << "the lock was still held";
    clock.start();
    ::kill(pid_t(second->processId()), SIGTERM);
    ASSERT_TRUE(second->waitForFinished(kStartTimeoutMs));
    EXPECT_LT(clock.elapsed(), 2500) << "the window did not answer during the freeze";
    EXPECT_EQ(second->exitCode(), 0);
}

TEST_F(StartupE2E, WithoutADisplayItSaysSoInOneLineAndExitsWithOne)
{
    const QString unusedDisplay = QStringLiteral(":%1").arg(400 + (::getpid() % 400));
    const std::vector<std::function<void(QProcessEnvironment&)>> environments {
        // No display at all.
        [](QProcessEnvironment& env) {
            for (const char* name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
                env.remove(QLatin1String(name));
        },
        // A display that no server answers, asked for explicitly.
        [&unusedDisplay](QProcessEnvironment& env) {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            env.insert(QStringLiteral("DISPLAY"), unusedDisplay);
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        },
    };
    for (const auto& adjust : environments) {
        channelMode = QProcess::SeparateChannels;
        QProcess* run = launch({}, {}, adjust);
        ASSERT_TRUE(run->waitForFinished(kStartTimeoutMs));
        EXPECT_EQ(run->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run->exitCode(), 1);
        const QString err = QString::fromUtf8(run->readAllStandardError());
        EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << qPrintable(err);
        EXPECT_TRUE(err.startsWith(QStringLiteral("sorvanto: cannot open its window: ")))
            << qPrintable(err);
        EXPECT_TRUE(err.contains(QStringLiteral("QT_QPA_PLATFORM=offscreen"))) << qPrintable(err);
        EXPECT_TRUE(err.contains(QStringLiteral("xvfb-run"))) << qPrintable(err);
    }
    // Nothing was started: no lock, no settings, no clip.
    EXPECT_FALSE(QFile::exists(programDir + QStringLiteral("/sorvanto.ini")));
    EXPECT_TRUE(QDir(runtimeDir).isEmpty());
}
