// SPDX-License-Identifier: GPL-3.0-or-later
// The PulseAudio output on the test run's own server: its stream properties, corking in silence
// and waking, underruns raising the latency up to its cap, and every way the server can fail it:
// absent, frozen (SIGSTOP), killed in the middle of a load, or started only after the program.

#include "sound/PulseDevice.h"
#include "sound/DX7Sound.h"
#include "support/SoundTestKit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <thread>

using DX7Sound::PulseDevice;
using SoundTestKit::Signal;

namespace {

const char* const serverMissing = "The PulseAudio test server is not running at " SORVANTO_PULSE_DIR
                                  "; see tests/pulse_server.sh.";

pid_t serverPid(const QString& dir = QStringLiteral(SORVANTO_PULSE_DIR))
{
    QFile f(dir + QStringLiteral("/pid"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return pid_t(f.readAll().trimmed().toLong());
}

bool startServer(const QString& dir)
{
    return QProcess::execute(QStringLiteral("bash"),
               { QStringLiteral(SORVANTO_SOURCE_DIR "/tests/pulse_server.sh"),
                   QStringLiteral("start"), dir })
        == 0;
}

void stopServer(const QString& dir)
{
    QProcess::execute(QStringLiteral("bash"),
        { QStringLiteral(SORVANTO_SOURCE_DIR "/tests/pulse_server.sh"), QStringLiteral("stop"),
            dir });
}

// Freezes the test server while it lives; the rest of the run gets it back whatever happens.
class FrozenServer
{
public:
    FrozenServer()
        : m_pid(serverPid())
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGSTOP);
    }
    ~FrozenServer()
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGCONT);
    }
    bool frozen() const { return m_pid > 0; }

private:
    pid_t m_pid;
};

// Points PULSE_SERVER (and ALSA, which must find nothing either) elsewhere while it lives.
class OtherServer
{
public:
    explicit OtherServer(const QString& socketPath, const QString& emptyAlsaConfig)
        : m_oldServer(qgetenv("PULSE_SERVER"))
        , m_hadAlsa(qEnvironmentVariableIsSet("ALSA_CONFIG_PATH"))
        , m_oldAlsa(qgetenv("ALSA_CONFIG_PATH"))
    {
        QFile(emptyAlsaConfig).open(QIODevice::WriteOnly);
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(emptyAlsaConfig));
        qputenv("PULSE_SERVER", QByteArray("unix:") + QFile::encodeName(socketPath));
    }
    ~OtherServer()
    {
        qputenv("PULSE_SERVER", m_oldServer);
        if (m_hadAlsa)
            qputenv("ALSA_CONFIG_PATH", m_oldAlsa);
        else
            qunsetenv("ALSA_CONFIG_PATH");
    }

private:
    QByteArray m_oldServer;
    bool m_hadAlsa;
    QByteArray m_oldAlsa;
};

// A constant level while on, silence while off; counts its render calls. Any thread.
class LevelSource : public DX7Sound::RenderSource
{
public:
    void render(float* out, int frames) noexcept SORVANTO_NONBLOCKING override
    {
        ++renders;
        const float v = on.load() ? level : 0.0f;
        for (int i = 0; i < 2 * frames; ++i)
            out[i] = v;
        if (stallsLeft.load() > 0 && ++sinceStall >= 20) {
            // Keeps the audio thread away longer than the largest buffer: the server runs dry.
            sinceStall = 0;
            --stallsLeft;
            // The stall is this test's deliberate fault, not the program's.
            [[maybe_unused]] DX7Sound::LibraryCallScope allowed;
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
        }
    }
    bool sounding() const noexcept SORVANTO_NONBLOCKING override { return on.load(); }

    std::atomic<bool> on { false };
    std::atomic<int> renders { 0 };
    std::atomic<int> stallsLeft { 0 };
    float level = 0.25f;
    int sinceStall = 0; // audio thread
};

double cpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

class PulseDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SoundTestKit::pulseServerUp()) << serverMissing;
        ASSERT_TRUE(dir.isValid());
    }

    // Records the sink while `act` runs and the event loop turns for `ms` milliseconds.
    Signal record(int ms, const std::function<void()>& act)
    {
        return SoundTestKit::recordWhile(dir.filePath("rec.wav"), ms, act);
    }

    QString wav(const QString& name, double seconds, float value = 0.3f)
    {
        Signal s;
        s.rate = 48000;
        s.samples.assign(size_t(seconds * 48000) * 2, value);
        QString path = dir.filePath(name);
        EXPECT_TRUE(SoundTestKit::writeWav(path, s, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
        return path;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(PulseDeviceTest, PlaysAtTheSinkRateUnderTheProgramsNameIconAndMusicRole)
{
    LevelSource source; // outlives the device that pulls it
    PulseDevice device;
    ASSERT_TRUE(device.open(0));
    EXPECT_EQ(device.lastOpen(), PulseDevice::OpenResult::Opened);
    EXPECT_EQ(device.sampleRate(), 48000) << "not the null sink's own rate";
    EXPECT_EQ(device.latencyFrames(), 960) << "a 20 ms start";
    source.on = true;
    const Signal rec = record(400, [&] { ASSERT_TRUE(device.start(&source, [] {})); });
    const qint64 on = SoundTestKit::onsetFrame(rec, 0, 0.01f);
    ASSERT_GE(on, 0) << "nothing reached the sink";
    EXPECT_NEAR(rec.at(on + 100, 0), 0.25f, 1e-4f);
    EXPECT_NEAR(rec.at(on + 100, 1), 0.25f, 1e-4f);

    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), { QStringLiteral("list"), QStringLiteral("sink-inputs") });
    ASSERT_TRUE(pactl.waitForFinished(5000));
    const QString list = QString::fromUtf8(pactl.readAllStandardOutput());
    EXPECT_TRUE(list.contains(QStringLiteral("application.name = \"Vorn's Sorvanto\"")))
        << list.toStdString();
    EXPECT_TRUE(list.contains(QStringLiteral("application.icon_name = \"org.vorn.Sorvanto\"")));
    EXPECT_TRUE(list.contains(QStringLiteral("media.role = \"music\"")));
    EXPECT_TRUE(list.contains(QStringLiteral("Sample Specification: float32le 2ch 48000Hz")));
}

TEST_F(PulseDeviceTest, CorksAfterSilenceStaysIdleAndAWakeSoundsAtOnce)
{
    PulseDevice::Tuning tuning;
    tuning.corkAfterMs = 300;
    LevelSource source;
    PulseDevice device(tuning);
    ASSERT_TRUE(device.open(0));
    source.on = true;
    ASSERT_TRUE(device.start(&source, [] {}));
    // Sounding: never corked, however long.
    QTest::qWait(600);
    EXPECT_FALSE(device.corked());

    source.on = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return device.corked(); }, 3000)) << "never corked";
    EXPECT_EQ(device.corks(), 1);
    QTest::qWait(100); // the cork reaches the server
    const int renders = source.renders.load();
    const double cpu = cpuSeconds();
    QTest::qWait(1000);
    EXPECT_EQ(source.renders.load(), renders) << "a corked stream was still pulled";
    EXPECT_LT(cpuSeconds() - cpu, 0.05) << "the process works while all is silent";

    // The buffered silence is dropped: the new sound is heard within a buffer or two.
    QElapsedTimer clock;
    const Signal rec = record(400, [&] {
        source.on = true;
        device.wake();
        clock.start();
    });
    EXPECT_FALSE(device.corked());
    EXPECT_GT(source.renders.load(), renders);
    const qint64 on = SoundTestKit::onsetFrame(rec, 0, 0.01f);
    ASSERT_GE(on, 0) << "no sound after the wake";
    EXPECT_NEAR(rec.at(on + 100, 0), 0.25f, 1e-4f);
    // Silent again: it corks again.
    source.on = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return device.corked(); }, 3000));
    EXPECT_EQ(device.corks(), 2);
    // A wake while sounding, or a second wake, changes nothing.
    device.wake();
    device.wake();
    EXPECT_FALSE(device.corked());
}

TEST_F(PulseDeviceTest, UnderrunsRaiseTheLatencyInStepsUpToTheCapNeverBeyond)
{
    LevelSource source;
    PulseDevice device;
    ASSERT_TRUE(device.open(0));
    const int start = device.latencyFrames();
    source.on = true;
    ASSERT_TRUE(device.start(&source, [] {}));
    QTest::qWait(300);
    // A busy machine may have caused underruns already; the latency never went down.
    const int before = device.latencyFrames();
    const int underrunsBefore = device.underruns();
    EXPECT_GE(before, start);

    source.stallsLeft = 1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return device.underruns() > underrunsBefore; }, 5000))
        << "a stalled audio thread caused no underrun";
    QTest::qWait(300);
    EXPECT_GE(device.latencyFrames(), std::min(2880, before + 480)) << "not raised by a step";
    EXPECT_EQ((device.latencyFrames() - start) % 480, 0) << "not in 10 ms steps";

    source.stallsLeft = 8;
    ASSERT_TRUE(QTest::qWaitFor([&] { return source.stallsLeft.load() == 0; }, 15000));
    QTest::qWait(300);
    EXPECT_GE(device.underruns(), 4);
    EXPECT_EQ(device.latencyFrames(), 2880) << "not at the 60 ms cap";
    // Sound goes on after all that.
    const Signal rec = record(300, [] {});
    EXPECT_GE(SoundTestKit::onsetFrame(rec, 0, 0.01f), 0);
}

TEST_F(PulseDeviceTest, NoServerIsToldApartFromAFrozenOneAndNeitherWaitsLong)
{
    {
        OtherServer none(dir.filePath("no-server"), dir.filePath("alsa.conf"));
        PulseDevice device;
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(device.open(0));
        EXPECT_EQ(device.lastOpen(), PulseDevice::OpenResult::NoServer);
        EXPECT_LT(clock.elapsed(), 900) << "an absent server was waited for";
    }

    // A frozen server: the open returns after its short wait, at the asked rate or (none asked)
    // the usual one, and the stream comes up once the server answers again.
    FrozenServer frozen;
    ASSERT_TRUE(frozen.frozen());
    PulseDevice::Tuning tuning;
    tuning.answerMs = 300;
    LevelSource first, second;
    PulseDevice unasked(tuning), asked(tuning);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(unasked.open(0));
    EXPECT_EQ(unasked.lastOpen(), PulseDevice::OpenResult::Pending);
    EXPECT_EQ(unasked.sampleRate(), 48000);
    ASSERT_TRUE(asked.open(44100));
    EXPECT_EQ(asked.lastOpen(), PulseDevice::OpenResult::Pending);
    EXPECT_EQ(asked.sampleRate(), 44100);
    EXPECT_LT(clock.elapsed(), 2000);
    first.on = second.on = true;
    ASSERT_TRUE(unasked.start(&first, [] {}));
    ASSERT_TRUE(asked.start(&second, [] {}));
    QTest::qWait(100);
    EXPECT_FALSE(unasked.streamReady());
    EXPECT_EQ(first.renders.load() + second.renders.load(), 0);
    ::kill(serverPid(), SIGCONT);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return first.renders.load() > 0 && second.renders.load() > 0; }, 5000))
        << "the streams did not come up once the server answered";
    EXPECT_TRUE(asked.streamReady());
}

TEST_F(PulseDeviceTest, AFrozenServerHoldsUpNoEngineCallAndTheEngineEndsSoon)
{
    const QString tone = wav("tone.wav", 2.0);
    auto engine = std::make_unique<DX7Sound::Engine>(DX7Sound::SystemDeviceFactory());
    ASSERT_TRUE(engine->InitDirectSound());
    engine->InitChannels(2, tone);
    engine->PlayChannel(0, 1);
    QTest::qWait(300);

    FrozenServer frozen;
    ASSERT_TRUE(frozen.frozen());
    QTest::qWait(100);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 5; ++i) {
        engine->StopChannel(0);
        QTest::qWait(20);
        engine->PlayChannel(0, 1);
        engine->SetChannelVolume(1, 50);
        engine->LoadFile(2, tone, 90, 30);
        QCoreApplication::processEvents();
    }
    EXPECT_LT(clock.elapsed(), 1500) << "engine calls waited on the frozen server";
    EXPECT_TRUE(engine->status(0).playing);
    EXPECT_TRUE(engine->status(2).Loaded);

    clock.start();
    engine.reset();
    EXPECT_LT(clock.elapsed(), 2000) << "the end waited on the frozen server";

    // A start while it is frozen: one short wait for the server, then nothing waits.
    clock.start();
    DX7Sound::Engine later(DX7Sound::SystemDeviceFactory());
    EXPECT_TRUE(later.InitDirectSound());
    EXPECT_EQ(later.sampleRate(), 48000);
    EXPECT_LT(clock.elapsed(), 1800);
    clock.start();
    later.InitChannels(10, tone);
    for (int i = 0; i < 20; ++i) {
        later.LoadFile(qint16(i % 3), tone, 100, 50);
        later.PlayChannel(qint16(i % 3), 1);
        QTest::qWait(20);
    }
    EXPECT_LT(clock.elapsed(), 1500) << "loads and plays waited on the frozen server";
    EXPECT_TRUE(later.status(2).Loaded);
}

TEST_F(PulseDeviceTest, AServerKilledDuringALoadLeavesTheSlotLoadedAndSoundsOnItsReturn)
{
    struct Restore
    {
        ~Restore()
        {
            if (!SoundTestKit::pulseServerUp())
                startServer(QStringLiteral(SORVANTO_PULSE_DIR));
        }
    } restore;
    const QString first = wav("first.wav", 1.0, 0.1f);
    const QString longer = wav("long.wav", 120.0, 0.4f);
    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    ASSERT_TRUE(engine.InitDirectSound());
    engine.InitChannels(1, first);
    engine.PlayChannel(0, 1);
    QTest::qWait(200);

    const pid_t pid = serverPid();
    ASSERT_GT(pid, 0);
    std::thread killer([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ::kill(pid, SIGKILL);
    });
    engine.LoadFile(1, longer, 100, 50);
    killer.join();
    QTest::qWait(500);
    EXPECT_FALSE(engine.deviceOpen());
    EXPECT_TRUE(engine.status(1).Loaded);
    EXPECT_EQ(engine.status(1).file, longer);
    EXPECT_EQ(engine.status(1).frames, 120 * 48000);
    EXPECT_TRUE(engine.status(0).playing);

    ASSERT_TRUE(startServer(QStringLiteral(SORVANTO_PULSE_DIR)));
    const Signal rec = record(600, [&] {
        engine.StopChannel(0);
        EXPECT_TRUE(engine.PlayChannel(1, 1));
    });
    EXPECT_TRUE(engine.deviceOpen());
    const qint64 on = SoundTestKit::onsetFrame(rec, 0, 0.2f);
    ASSERT_GE(on, 0) << "the phrase loaded during the loss does not sound";
    EXPECT_NEAR(rec.at(on + 2400, 0), 0.4f, 0.01f);
    engine.StopChannel(1);
}

TEST_F(PulseDeviceTest, AServerThatAppearsAfterStartUpIsUsedAtTheNextLoadOrPlay)
{
    const QString late = dir.filePath("late");
    struct Stop
    {
        QString dir;
        ~Stop() { stopServer(dir); }
    } stop { late };
    OtherServer elsewhere(late + QStringLiteral("/native"), dir.filePath("alsa.conf"));
    const QString tone = wav("tone.wav", 2.0, 0.3f);

    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    EXPECT_FALSE(engine.InitDirectSound());
    engine.InitChannels(2, tone);
    EXPECT_FALSE(engine.status(0).Loaded);

    ASSERT_TRUE(startServer(late));
    QTest::qWait(300);
    engine.LoadFile(0, tone, 100, 50);
    EXPECT_TRUE(engine.deviceOpen()) << "the new server was not taken up";
    EXPECT_TRUE(engine.status(0).Loaded);
    EXPECT_EQ(engine.sampleRate(), 48000);
    const Signal rec = record(500, [&] { EXPECT_TRUE(engine.PlayChannel(0, 1)); });
    const qint64 on = SoundTestKit::onsetFrame(rec, 0, 0.1f);
    ASSERT_GE(on, 0) << "nothing reached the late server's sink";
    EXPECT_NEAR(rec.at(on + 2400, 0), 0.3f, 0.01f);
    engine.StopChannel(0);
}

TEST_F(PulseDeviceTest, AMissingServerIsLookedForAtMostEvery250MsByLoadsAndPlays)
{
    OtherServer none(dir.filePath("no-server"), dir.filePath("alsa.conf"));
    const QString tone = wav("tone.wav", 0.5);
    int attempts = 0;
    const DX7Sound::DeviceFactory system = DX7Sound::SystemDeviceFactory();
    DX7Sound::Engine engine([&] {
        ++attempts;
        return system();
    });
    EXPECT_FALSE(engine.InitDirectSound());
    EXPECT_EQ(attempts, 1);
    engine.InitChannels(0, tone);
    // A start-up's burst of loads right after the failure looks no further.
    EXPECT_EQ(attempts, 1);

    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000) {
        engine.LoadFile(0, tone, 100, 50);
        engine.PlayChannel(0, 1);
        QTest::qWait(10);
    }
    // One look per 250 ms at most, and they do happen.
    EXPECT_GE(attempts, 3);
    EXPECT_LE(attempts, 1 + 1000 / 250 + 1);
    // Nothing could be loaded, so nothing plays: the engine does not look by itself, and other
    // calls never look.
    const int before = attempts;
    QTest::qWait(600);
    engine.StopChannel(0);
    engine.SetChannelVolume(0, 50);
    EXPECT_EQ(attempts, before);
}

TEST_F(PulseDeviceTest, AfterALossWhileSomethingPlaysTheEngineLooksEvery250MsUntilItStops)
{
    const QString own = dir.filePath("own");
    struct Stop
    {
        QString dir;
        ~Stop() { stopServer(dir); }
    } stop { own };
    ASSERT_TRUE(startServer(own));
    OtherServer elsewhere(own + QStringLiteral("/native"), dir.filePath("alsa.conf"));
    const QString tone = wav("tone.wav", 2.0);
    int attempts = 0;
    const DX7Sound::DeviceFactory system = DX7Sound::SystemDeviceFactory();
    DX7Sound::Engine engine([&] {
        ++attempts;
        return system();
    });
    ASSERT_TRUE(engine.InitDirectSound());
    engine.InitChannels(1, tone);
    engine.PlayChannel(0, 1);
    QTest::qWait(200);

    ::kill(serverPid(own), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.deviceOpen(); }, 3000));
    // No call from here: the engine looks by itself, at most every 250 ms.
    int before = attempts;
    QTest::qWait(1000);
    EXPECT_GE(attempts, before + 3);
    EXPECT_LE(attempts, before + 1000 / 250 + 1);
    EXPECT_TRUE(engine.status(0).playing);
    // Once nothing plays, it stops looking.
    engine.StopChannel(0);
    before = attempts;
    QTest::qWait(600);
    EXPECT_EQ(attempts, before);
}
