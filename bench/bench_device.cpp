// SPDX-License-Identifier: GPL-3.0-or-later
// Output device benchmarks, against a PulseAudio server in PULSE_SERVER started by
// tests/pulse_server.sh (its pid file beside the socket gives the server's CPU time):
//  - CPU of this process and of the server over 20 s with nothing sounding, once the stream had
//    time to cork, and the same for a stream that is never corked;
//  - underruns in 60 s of playback beside `pacat` at the same start latency, both at once;
//  - PlayChannel to the first sound at the sink when the stream was corked (the uncork counted).

#include "SinkMonitor.h"
#include "sound/AudioDevice.h"
#include "sound/DX7Sound.h"
#include "sound/PulseDevice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <ctime>
#include <sndfile.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void ensureApp()
{
    static int argc = 1;
    static char name[] = "sorvanto_bench";
    static char* argv[] = { name, nullptr };
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// Lets the event loop run for `ms` milliseconds, as the program's GUI thread does between
// gestures: it waits in poll() until a timer or a socket needs it. The engine and the device
// carry out there what the audio thread asks for (corking, latency, a lost server).
void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QTemporaryDir& benchDir()
{
    static QTemporaryDir dir;
    return dir;
}

// A stereo 48 kHz 16-bit file of a constant level.
QString levelWav(const QString& name, double seconds, float value)
{
    const QString path = benchDir().filePath(name);
    SF_INFO info {};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    std::vector<float> s(size_t(seconds * 48000) * 2, value);
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    sf_writef_float(f, s.data(), sf_count_t(s.size() / 2));
    sf_close(f);
    return path;
}

// The directory of the server's socket (PULSE_SERVER=unix:DIR/native), where its pid file is.
QString serverDir()
{
    QString server = QString::fromLocal8Bit(qgetenv("PULSE_SERVER"));
    if (!server.startsWith(QStringLiteral("unix:")))
        return {};
    server.remove(0, 5);
    return server.left(server.lastIndexOf(QLatin1Char('/')));
}

// CPU seconds used so far by process `pid` (user + system), or -1.
double processCpu(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold spaces: state is field 3, utime 14, stime 15.
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13)
        return -1;
    return double(f[11].toLongLong() + f[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

pid_t serverPid()
{
    QFile f(serverDir() + QStringLiteral("/pid"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return pid_t(f.readAll().trimmed().toLong());
}

double ownCpu()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Sleeps `seconds` and gives the CPU share (percent of one core) of this process and the server.
void measureIdle(benchmark::State& state, double seconds)
{
    const pid_t server = serverPid();
    const double own0 = ownCpu(), server0 = server > 0 ? processCpu(server) : -1;
    const auto t0 = Clock::now();
    runEvents(int(seconds * 1000));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    state.counters["cpu_percent"] = 100.0 * (ownCpu() - own0) / wall;
    if (server > 0)
        state.counters["server_cpu_percent"] = 100.0 * (processCpu(server) - server0) / wall;
}

// The engine as the program uses it: a phrase plays for a second and stops; after the stream
// had time to cork, nothing should work for 20 s.
void BM_IdleCpu_AfterSilence_20s(benchmark::State& state)
{
    ensureApp();
    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    if (!engine.InitDirectSound()) {
        state.SkipWithError("no PulseAudio server in PULSE_SERVER");
        return;
    }
    engine.InitChannels(2, levelWav(QStringLiteral("idle.wav"), 1.0, 0.2f));
    for (auto _ : state) {
        engine.PlayChannel(0, 1);
        engine.flush();
        runEvents(1000);
        engine.StopChannel(0);
        engine.flush();
        runEvents(4000);
        measureIdle(state, 20.0);
    }
}
BENCHMARK(BM_IdleCpu_AfterSilence_20s)->Iterations(1)->Unit(benchmark::kSecond);

// A source that never sounds.
class Silence : public DX7Sound::RenderSource
{
public:
    void render(float* out, int frames) noexcept override
    {
        std::fill(out, out + 2 * frames, 0.0f);
    }
    bool sounding() const noexcept override { return false; }
};

// For comparison: the same silence through a stream that is never corked.
void BM_IdleCpu_NeverCorked_20s(benchmark::State& state)
{
    ensureApp();
    DX7Sound::PulseDevice::Tuning tuning;
    tuning.corkAfterMs = 1 << 30;
    Silence silence;
    DX7Sound::PulseDevice device(tuning);
    if (!device.open(0) || !device.start(&silence, [] {})) {
        state.SkipWithError("no PulseAudio server in PULSE_SERVER");
        return;
    }
    for (auto _ : state) {
        runEvents(1000);
        measureIdle(state, 20.0);
    }
}
BENCHMARK(BM_IdleCpu_NeverCorked_20s)->Iterations(1)->Unit(benchmark::kSecond);

// Three one-second impulse loops, as a set of three click tracks: a short burst every 1/3 s.
class Impulses : public DX7Sound::RenderSource
{
public:
    void render(float* out, int frames) noexcept override
    {
        for (int i = 0; i < frames; ++i, ++m_frame) {
            const float v = (m_frame % 16000) < 48 ? 0.5f : 0.0f;
            out[2 * i] = out[2 * i + 1] = v;
        }
    }

private:
    long m_frame = 0;
};

void BM_Underruns_60s_BesidePacat(benchmark::State& state)
{
    ensureApp();
    Impulses impulses;
    DX7Sound::PulseDevice device;
    if (!device.open(0)) {
        state.SkipWithError("no PulseAudio server in PULSE_SERVER");
        return;
    }
    const int startMs = int(std::lround(device.latencyFrames() * 1000.0 / device.sampleRate()));
    QProcess pacat;
    pacat.setProcessChannelMode(QProcess::SeparateChannels);
    pacat.start(QStringLiteral("pacat"),
        { QStringLiteral("-v"), QStringLiteral("--raw"), QStringLiteral("--format=float32le"),
            QStringLiteral("--rate=48000"), QStringLiteral("--channels=2"),
            QStringLiteral("--latency-msec=%1").arg(startMs), QStringLiteral("/dev/zero") });
    if (!pacat.waitForStarted(3000)) {
        state.SkipWithError("pacat does not start");
        return;
    }
    for (auto _ : state) {
        device.start(&impulses, [] {});
        runEvents(60000);
    }
    pacat.terminate();
    pacat.waitForFinished(3000);
    const QByteArray log = pacat.readAllStandardError();
    state.counters["start_latency_ms"] = startMs;
    state.counters["underruns_per_min"] = device.underruns();
    state.counters["final_latency_ms"] = device.latencyFrames() * 1000.0 / device.sampleRate();
    state.counters["pacat_underruns_per_min"] = double(log.count("Stream underrun"));
}
BENCHMARK(BM_Underruns_60s_BesidePacat)->Iterations(1)->Unit(benchmark::kSecond);

// The same beside pacat, but the engine plays three looping stereo 48 kHz columns of 30 s tones
// through the server, at 100 % / 0 and at 80 % / +2 (the stages working on the audio thread).
void BM_EngineUnderruns_60s_BesidePacat(benchmark::State& state)
{
    ensureApp();
    const int tempo = int(state.range(0));
    QStringList phrases;
    for (int n = 0; n < 3; ++n) {
        const QString path = benchDir().filePath(QStringLiteral("tone_%1.wav").arg(n));
        SF_INFO info {};
        info.samplerate = 48000;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        std::vector<float> s(size_t(30 * 48000) * 2);
        for (size_t i = 0; i < s.size() / 2; ++i)
            s[2 * i] = s[2 * i + 1]
                = float(0.2 * std::sin(2 * M_PI * (220.0 * (n + 2)) * double(i) / 48000.0));
        SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        sf_writef_float(f, s.data(), sf_count_t(s.size() / 2));
        sf_close(f);
        phrases << path;
    }
    DX7Sound::PulseDevice* device = nullptr;
    DX7Sound::Engine engine([&device] {
        auto d = std::make_unique<DX7Sound::PulseDevice>();
        device = d.get();
        return std::unique_ptr<DX7Sound::AudioDevice>(std::move(d));
    });
    if (!engine.InitDirectSound() || !device) {
        state.SkipWithError("no PulseAudio server in PULSE_SERVER");
        return;
    }
    engine.InitChannels(2, QString());
    engine.SetTempoKey({ tempo, tempo == 100 ? 0 : 2 });
    for (int n = 0; n < 3; ++n)
        engine.LoadFile(qint16(n), phrases[n], 80, 50);
    for (int n = 0; n < 3; ++n)
        engine.PlayChannel(qint16(n), 1);
    engine.flush();
    const int startMs = int(std::lround(device->latencyFrames() * 1000.0 / device->sampleRate()));
    QProcess pacat;
    pacat.setProcessChannelMode(QProcess::SeparateChannels);
    pacat.start(QStringLiteral("pacat"),
        { QStringLiteral("-v"), QStringLiteral("--raw"), QStringLiteral("--format=float32le"),
            QStringLiteral("--rate=48000"), QStringLiteral("--channels=2"),
            QStringLiteral("--latency-msec=%1").arg(std::max(startMs, 1)),
            QStringLiteral("/dev/zero") });
    if (!pacat.waitForStarted(3000)) {
        state.SkipWithError("pacat does not start");
        return;
    }
    const int before = device->underruns();
    for (auto _ : state) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < until) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    pacat.terminate();
    pacat.waitForFinished(3000);
    const QByteArray log = pacat.readAllStandardError();
    state.counters["start_latency_ms"] = startMs;
    state.counters["underruns_per_min"] = device->underruns() - before;
    state.counters["pacat_underruns_per_min"] = double(log.count("Stream underrun"));
}
BENCHMARK(BM_EngineUnderruns_60s_BesidePacat)
    ->ArgName("tempo")
    ->Arg(100)
    ->Arg(80)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Whether the server reports a corked playback stream (ours: the monitor is a recording).
bool sinkInputCorked()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), { QStringLiteral("list"), QStringLiteral("sink-inputs") });
    pactl.waitForFinished(3000);
    return pactl.readAllStandardOutput().contains("Corked: yes");
}

void BM_PlayToSink_FromCorked(benchmark::State& state)
{
    ensureApp();
    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    SinkMonitor monitor;
    if (!engine.InitDirectSound() || !monitor.start()) {
        state.SkipWithError("no PulseAudio server with the sorvanto_null sink in PULSE_SERVER");
        return;
    }
    engine.InitChannels(0, levelWav(QStringLiteral("corked.wav"), 1.0, 0.5f));
    engine.SetChannelVolume(0, 100);
    engine.flush();
    std::vector<double> ms;
    int corked = 0;
    for (auto _ : state) {
        for (int round = 0; round < 7; ++round) {
            // Past the cork delay with nothing sounding.
            runEvents(3400);
            monitor.drain(300);
            corked += sinkInputCorked() ? 1 : 0;
            const auto t0 = Clock::now();
            engine.PlayChannel(0, 1);
            engine.flush();
            const bool heard = monitor.waitForSound(2000);
            ms.push_back(heard
                    ? std::chrono::duration<double, std::milli>(Clock::now() - t0).count()
                    : 2000.0);
            runEvents(200);
            engine.StopChannel(0);
            engine.flush();
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["rounds_corked"] = corked;
    state.counters["rounds"] = double(ms.size());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["max_ms"] = ms.back();
}
BENCHMARK(BM_PlayToSink_FromCorked)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
