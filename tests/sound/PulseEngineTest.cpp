// SPDX-License-Identifier: GPL-3.0-or-later
// The engine on the test run's own PulseAudio server (a null sink whose monitor is recorded):
// levels and pan in the recording, grouped onsets, a server that dies and comes back, and a
// start-up without any server.

#include "sound/DX7Sound.h"
#include "sound/PulseDevice.h"
#include "support/SoundTestKit.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

using SoundTestKit::Signal;

namespace {

const char* const serverMissing = "The PulseAudio test server is not running at " SORVANTO_PULSE_DIR
                                  ". ctest starts it through the pulse_server_start fixture; "
                                  "run tests/pulse_server.sh start " SORVANTO_PULSE_DIR
                                  " before running the test binary by hand.";

bool restartServer()
{
    return QProcess::execute(QStringLiteral("bash"),
               { QStringLiteral(SORVANTO_SOURCE_DIR "/tests/pulse_server.sh"),
                   QStringLiteral("start"), QStringLiteral(SORVANTO_PULSE_DIR) })
        == 0;
}

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class PulseEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SoundTestKit::pulseServerUp()) << serverMissing;
        ASSERT_TRUE(dir.isValid());
        engine = std::make_unique<DX7Sound::Engine>(DX7Sound::SystemDeviceFactory());
        ASSERT_TRUE(engine->InitDirectSound()) << "no output on the test server";
        ASSERT_EQ(engine->sampleRate(), 48000) << "the null sink runs at 48 kHz";
    }

    QString wav(const QString& name, const Signal& s)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(SoundTestKit::writeWav(path, s, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        return path;
    }

    static Signal dc(float value, double seconds = 2.0)
    {
        Signal s;
        s.rate = 48000;
        s.samples.assign(size_t(seconds * 48000) * 2, value);
        return s;
    }

    // Records the sink while `act` runs and the event loop turns for `ms` milliseconds.
    Signal record(int ms, const std::function<void()>& act)
    {
        return SoundTestKit::recordWhile(dir.filePath("rec.wav"), ms, act);
    }

    QTemporaryDir dir;
    std::unique_ptr<DX7Sound::Engine> engine;
};

// 0.5 peak sine: -9.03 dB full scale.
const double sineDb = 20 * std::log10(0.5 / M_SQRT2);

} // namespace

// Levels at the sink are medians over 25 ms blocks (whole periods of the 1 kHz tone), so a
// dropout on a busy machine cannot spoil them.
TEST_F(PulseEngineTest, Level80SoundsTwelveDecibelsDown)
{
    const QString tone = wav("tone.wav", SoundTestKit::sine(1000, 2.0, 48000, 2, 0.5));
    engine->InitChannels(2, tone);
    engine->SetChannelVolume(0, 80);
    const Signal rec = record(700, [&] { engine->PlayChannel(0, 1); });
    const qint64 on = SoundTestKit::onsetFrame(rec, 0, 0.01f);
    ASSERT_GE(on, 0) << "nothing reached the sink";
    ASSERT_GT(rec.frames(), on + 14400);
    for (int side : { 0, 1 })
        EXPECT_NEAR(
            SoundTestKit::steadyRmsDb(rec, side, on + 2400, on + 14400) - sineDb, -12.0, 0.2)
            << side;
    engine->StopChannel(0);
}

TEST_F(PulseEngineTest, Pan35AttenuatesTheRightSideByFifteenDecibels)
{
    const QString tone = wav("tone.wav", SoundTestKit::sine(1000, 2.0, 48000, 2, 0.5));
    engine->InitChannels(2, tone);
    engine->LoadFile(1, tone, 100, 35);
    const Signal rec = record(700, [&] { engine->PlayChannel(1, 1); });
    const qint64 on = SoundTestKit::onsetFrame(rec, 0, 0.01f);
    ASSERT_GE(on, 0) << "nothing reached the sink";
    ASSERT_GT(rec.frames(), on + 14400);
    const double left = SoundTestKit::steadyRmsDb(rec, 0, on + 2400, on + 14400);
    const double right = SoundTestKit::steadyRmsDb(rec, 1, on + 2400, on + 14400);
    EXPECT_NEAR(left - sineDb, 0.0, 0.2);
    EXPECT_NEAR(right - left, -15.0, 0.3);
    engine->StopChannel(1);
}

TEST_F(PulseEngineTest, ThreeChannelsStartedTogetherHaveOneOnset)
{
    engine->InitChannels(10, wav("a.wav", dc(0.1f)));
    engine->LoadFile(0, wav("a.wav", dc(0.1f)), 100, 0);
    engine->LoadFile(1, wav("b.wav", dc(0.4f)), 100, 100);
    engine->SetChannelPan(1, 100);
    engine->LoadFile(2, wav("c.wav", dc(0.2f)), 100, 50);
    QCoreApplication::processEvents();
    const Signal rec = record(500, [&] {
        engine->PlayChannel(0, 1);
        engine->PlayChannel(1, 1);
        engine->PlayChannel(2, 1);
    });
    const qint64 left = SoundTestKit::onsetFrame(rec, 0, 0.01f);
    const qint64 right = SoundTestKit::onsetFrame(rec, 1, 0.01f);
    ASSERT_GE(left, 0) << "nothing reached the sink";
    EXPECT_EQ(left, right);
    // Left carries channels 0 and 2, right 1 and 2: all three from the first frame.
    EXPECT_NEAR(rec.at(left, 0), 0.3f, 0.002f);
    EXPECT_NEAR(rec.at(left, 1), 0.6f, 0.002f);
    for (int c = 0; c < 3; ++c)
        engine->StopChannel(qint16(c));
}

TEST_F(PulseEngineTest, AServerThatDiesLeavesNoSpinAndAPlayAfterItsReturnSounds)
{
    // Whatever happens below, the rest of the run gets its server back.
    struct Restore
    {
        ~Restore()
        {
            if (!SoundTestKit::pulseServerUp())
                restartServer();
        }
    } restore;

    const QString tone = wav("tone.wav", SoundTestKit::sine(1000, 2.0, 48000, 2, 0.5));
    engine->InitChannels(2, tone);
    engine->SetChannelVolume(0, 100);
    engine->PlayChannel(0, 1);
    QTest::qWait(300);

    QFile pidFile(QStringLiteral(SORVANTO_PULSE_DIR "/pid"));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toLong());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    QTest::qWait(500);
    EXPECT_FALSE(engine->deviceOpen()) << "the lost stream was not closed";

    const double before = cpuSeconds();
    QTest::qWait(1000);
    EXPECT_LT(cpuSeconds() - before, 0.2) << "the process spins without its server";
    EXPECT_TRUE(engine->status(0).playing);
    EXPECT_EQ(engine->status(0).file, tone);

    ASSERT_TRUE(restartServer());
    ASSERT_TRUE(SoundTestKit::pulseServerUp());
    const Signal rec = record(600, [&] { EXPECT_TRUE(engine->PlayChannel(0, 1)); });
    EXPECT_TRUE(engine->deviceOpen());
    const qint64 on = SoundTestKit::onsetFrame(rec, 0, 0.01f);
    ASSERT_GE(on, 0) << "no sound after the server came back";
    EXPECT_NEAR(SoundTestKit::steadyRmsDb(rec, 0, on + 2400, on + 9600), sineDb, 0.2);
    engine->StopChannel(0);
}

TEST_F(PulseEngineTest, AfterAServerRestartThePlayingChannelsGoOnInStepWithoutAnyCall)
{
    struct Restore
    {
        ~Restore()
        {
            if (!SoundTestKit::pulseServerUp())
                restartServer();
        }
    } restore;

    // The same ramp on both channels, one heard only on the left, the other only on the
    // right: the two sides are equal frame for frame exactly while the voices are in step.
    const qint64 period = qint64(4) * 48000;
    Signal ramp = SoundTestKit::ramp(period, period, 48000);
    const QString file = wav("ramp.wav", ramp);
    engine->InitChannels(2, file);
    engine->LoadFile(0, file, 100, 0);
    engine->LoadFile(1, file, 100, 100);
    engine->SetChannelPan(1, 100);
    engine->PlayChannel(0, 1);
    engine->PlayChannel(1, 1);
    QTest::qWait(400);

    QFile pidFile(QStringLiteral(SORVANTO_PULSE_DIR "/pid"));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toLong());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine->deviceOpen(); }, 3000))
        << "the loss was not noticed";
    QTest::qWait(600); // a few probes find nothing

    ASSERT_TRUE(restartServer());
    // From here on, only the event loop turns: no engine call.
    const Signal rec = record(1500, [] {});
    EXPECT_TRUE(engine->deviceOpen()) << "the engine did not find the server again";
    const qint64 on = SoundTestKit::onsetFrame(rec, 0, 0.01f);
    ASSERT_GE(on, 0) << "no sound came back";
    qint64 compared = 0;
    float worst = 0;
    for (qint64 i = on; i < rec.frames(); ++i) {
        if (rec.at(i, 0) == 0.0f && rec.at(i, 1) == 0.0f)
            continue; // a dropout of the busy machine silences both sides alike
        worst = std::max(worst, std::fabs(rec.at(i, 0) - rec.at(i, 1)));
        ++compared;
    }
    EXPECT_GT(compared, 24000) << "less than half a second sounded";
    EXPECT_LT(worst, 1e-4f) << "the two channels came back out of step";
    EXPECT_TRUE(engine->status(0).playing);
    EXPECT_TRUE(engine->status(1).playing);
    engine->StopChannel(0);
    engine->StopChannel(1);
}

TEST_F(PulseEngineTest, AKnobDragDuringPlaybackNeverTakesTheMainLoopLock)
{
    DX7Sound::PulseDevice* pulse = nullptr;
    DX7Sound::Engine own([&] {
        auto d = std::make_unique<DX7Sound::PulseDevice>();
        pulse = d.get();
        return std::unique_ptr<DX7Sound::AudioDevice>(std::move(d));
    });
    ASSERT_TRUE(own.InitDirectSound());
    ASSERT_TRUE(pulse);
    const QString tone = wav("tone.wav", SoundTestKit::sine(1000, 2.0, 48000, 2, 0.5));
    own.InitChannels(0, tone);
    own.PlayChannel(0, 1);
    QTest::qWait(300);
    ASSERT_FALSE(pulse->corked());
    const int locked = pulse->lockedWakes();
    // A drag: a level per turn of the event loop, as the knob sends them.
    const Signal rec = record(200, [&] {
        for (int i = 0; i < 200; ++i) {
            own.SetChannelVolume(0, quint8(100 - i % 40));
            QCoreApplication::processEvents();
        }
    });
    EXPECT_EQ(pulse->lockedWakes(), locked) << "a publish took the main loop's lock";
    EXPECT_GE(SoundTestKit::onsetFrame(rec, 0, 0.01f), 0) << "the drag silenced the channel";
    // A corked stream is the one case that takes it: to uncork.
    own.StopChannel(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pulse->corked(); }, 6000));
    own.PlayChannel(0, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(pulse->lockedWakes(), locked + 1);
    EXPECT_FALSE(pulse->corked());
    own.StopChannel(0);
}

TEST(SoundWithoutServer, StartUpComesUpAndEverythingIsSilentAndQuiet)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("tone.wav");
    ASSERT_TRUE(SoundTestKit::writeWav(file, SoundTestKit::sine(440, 0.2)));
    const QByteArray oldServer = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", QByteArray("unix:") + QFile::encodeName(dir.filePath("no-server")));
    // ALSA with an empty configuration knows no device, so a machine with a sound card behaves
    // as one without.
    const bool hadAlsaConfig = qEnvironmentVariableIsSet("ALSA_CONFIG_PATH");
    const QByteArray oldAlsaConfig = qgetenv("ALSA_CONFIG_PATH");
    const QString emptyConfig = dir.filePath("alsa.conf");
    QFile(emptyConfig).open(QIODevice::WriteOnly);
    qputenv("ALSA_CONFIG_PATH", QFile::encodeName(emptyConfig));

    // Everything written to stderr meanwhile goes to a file that must stay empty.
    const QString errPath = dir.filePath("stderr.txt");
    fflush(stderr);
    const int savedErr = dup(2);
    const int errFd = ::open(QFile::encodeName(errPath).constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(errFd, 0);
    dup2(errFd, 2);
    bool opened = true;
    {
        DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
        opened = engine.InitDirectSound();
        engine.InitChannels(10, file);
        for (qint16 ch = 0; ch < 3; ++ch)
            engine.SetChannelVolume(ch, 80);
        engine.LoadFile(0, file, 80, 35);
        EXPECT_TRUE(engine.PlayFile(1, file, 100, 50, 1));
        EXPECT_TRUE(engine.PlayChannel(0, 1));
        EXPECT_TRUE(engine.StopChannel(2));
        engine.SetChannelPan(0, 20);
        QTest::qWait(50);
        for (qint16 ch = 0; ch <= 10; ++ch)
            EXPECT_FALSE(engine.status(ch).Loaded) << ch;
        EXPECT_FALSE(engine.deviceOpen());
    }
    fflush(stderr);
    dup2(savedErr, 2);
    ::close(savedErr);
    ::close(errFd);
    qputenv("PULSE_SERVER", oldServer);
    if (hadAlsaConfig)
        qputenv("ALSA_CONFIG_PATH", oldAlsaConfig);
    else
        qunsetenv("ALSA_CONFIG_PATH");

    EXPECT_FALSE(opened) << "an output opened without a server (is there a sound card here?)";
    QFile err(errPath);
    ASSERT_TRUE(err.open(QIODevice::ReadOnly));
    EXPECT_EQ(err.readAll().toStdString(), "");
}

TEST_F(PulseEngineTest, AStopRightBeforeTheEngineEndsStillFadesOut)
{
    engine->InitChannels(0, wav("dc.wav", dc(0.5f)));
    engine->SetChannelVolume(0, 100);
    const Signal rec = record(400, [&] {
        engine->PlayChannel(0, 1);
        QTest::qWait(300);
        // As closing the window does: stop, then the program ends without an event-loop turn.
        engine->StopChannel(0);
        engine.reset();
    });
    const qint64 on = SoundTestKit::onsetFrame(rec, 0, 0.01f);
    ASSERT_GE(on, 0) << "nothing reached the sink";
    float jump = 0;
    for (qint64 i = on + 10; i < rec.frames(); ++i)
        jump = std::max(jump, std::fabs(rec.at(i, 0) - rec.at(i - 1, 0)));
    EXPECT_LT(jump, 0.02f) << "the sound was cut off, not faded";
    EXPECT_EQ(SoundTestKit::peak(rec, 0, rec.frames() - 4800), 0.0f);
}
