// SPDX-License-Identifier: GPL-3.0-or-later
// Sound engine benchmarks: WAV loading against libsndfile's own read, the mixer's cost per voice
// and frame, and (with a PulseAudio server in PULSE_SERVER, e.g. the test run's null sink) the
// time from PlayChannel to sound at the sink and the skew between grouped starts.

#include "SinkMonitor.h"
#include "sound/DX7Sound.h"
#include "sound/Mixer.h"
#include "sound/WavLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <sndfile.h>
#include <thread>
#include <vector>

namespace {

QTemporaryDir& benchDir()
{
    static QTemporaryDir dir;
    return dir;
}

void ensureApp()
{
    static int argc = 1;
    static char name[] = "sorvanto_bench";
    static char* argv[] = { name, nullptr };
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// A stereo file of `seconds` of noise-like tones at `rate`, 16-bit PCM unless `format` says.
QString makeWav(const QString& name, int rate, double seconds, float dcValue = 0.0f,
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16)
{
    QString path = benchDir().filePath(name);
    if (QFile::exists(path))
        return path;
    const sf_count_t frames = sf_count_t(seconds * rate);
    std::vector<float> s(size_t(frames) * 2);
    for (sf_count_t i = 0; i < frames; ++i) {
        const float v = dcValue != 0.0f
            ? dcValue
            : float(0.3 * std::sin(0.01 * double(i)) + 0.2 * std::sin(0.0371 * double(i)));
        s[size_t(2 * i)] = s[size_t(2 * i + 1)] = v;
    }
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    sf_writef_float(f, s.data(), frames);
    sf_close(f);
    return path;
}

// libsndfile's own read of the whole file into float frames: the baseline of a load.
void rawRead(const QString& path)
{
    SF_INFO info {};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    std::vector<float> s(size_t(info.frames * info.channels));
    sf_readf_float(f, s.data(), info.frames);
    sf_close(f);
    benchmark::DoNotOptimize(s.data());
}

// A 30 s stereo file at the rate given by the first argument: libsndfile's own read of it, and
// the engine's load of it into a 44.1 kHz device (a plain read, or a read and a conversion). A
// load decodes the header and the first part; dropping the buffer stops its worker, so the
// figure is the time a load holds its caller.
QString thirtySeconds(int rate)
{
    return makeWav(QStringLiteral("s%1.wav").arg(rate / 1000), rate, 30);
}

void BM_RawRead_30s(benchmark::State& state)
{
    const QString path = thirtySeconds(int(state.range(0)));
    for (auto _ : state)
        rawRead(path);
}
BENCHMARK(BM_RawRead_30s)->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond);

void BM_Load_30s_into_44k(benchmark::State& state)
{
    const QString path = thirtySeconds(int(state.range(0)));
    DX7Sound::Loader loader;
    for (auto _ : state) {
        auto b = DX7Sound::loadWav(path, 44100, loader);
        benchmark::DoNotOptimize(b.get());
    }
}
BENCHMARK(BM_Load_30s_into_44k)->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond);

// Eleven looping voices at different gains, rendered in 256-frame periods.
void BM_MixerRender_11Voices(benchmark::State& state)
{
    using namespace DX7Sound;
    const int voices = 11, period = 256;
    Mixer mixer(44100);
    auto batch = std::make_unique<Batch>();
    MixerCommand table;
    table.kind = MixerCommand::NewTable;
    table.table = newVoiceTable(voices);
    batch->commands.push_back(table);
    for (int v = 0; v < voices; ++v) {
        const qint64 frames = 44100 + v * 97;
        auto buffer = std::make_unique<SoundBuffer>(SoundBuffer::Sample::Int16, 2, frames);
        std::fill_n(buffer->int16Data(), frames * 2, std::int16_t(8192));
        buffer->writableProgress()->ready.store(frames);
        buffer->writableProgress()->finished.store(true);
        MixerCommand c;
        c.voice = v;
        c.kind = MixerCommand::SetBuffer;
        c.buffer = buffer.release();
        batch->commands.push_back(c);
        c.buffer = nullptr;
        c.kind = MixerCommand::SetGain;
        c.gain = gainsFor(-100 * v, 500 * v - 2500);
        batch->commands.push_back(c);
        c.kind = MixerCommand::Play;
        c.loop = true;
        batch->commands.push_back(c);
    }
    mixer.publish(batch);
    std::vector<float> out(size_t(period) * 2);
    for (auto _ : state) {
        mixer.render(out.data(), period);
        benchmark::DoNotOptimize(out.data());
        mixer.collectGarbage();
    }
    state.counters["ns_per_voice_frame"]
        = benchmark::Counter(double(state.iterations()) * voices * period * 1e-9,
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MixerRender_11Voices);

// Index of the first frame whose left or right sample is not silent, or -1.
qint64 firstSound(const std::vector<float>& f, size_t from = 0)
{
    for (size_t i = from / 2 * 2; i + 1 < f.size(); i += 2)
        if (std::fabs(f[i]) > 1e-3f || std::fabs(f[i + 1]) > 1e-3f)
            return qint64(i / 2);
    return -1;
}

void BM_PlayToSink_Median20(benchmark::State& state)
{
    ensureApp();
    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    SinkMonitor monitor;
    if (!engine.InitDirectSound() || !monitor.start()) {
        state.SkipWithError("no PulseAudio server with the sorvanto_null sink in PULSE_SERVER");
        return;
    }
    engine.InitChannels(0, makeWav("dc48.wav", 48000, 2.0, 0.5f));
    engine.SetChannelVolume(0, 100);
    engine.flush();
    std::vector<double> ms;
    for (auto _ : state) {
        ms.clear();
        for (int round = 0; round < 20; ++round) {
            monitor.drain();
            std::vector<float> f;
            const auto t0 = std::chrono::steady_clock::now();
            engine.PlayChannel(0, 1);
            engine.flush();
            while (firstSound(f) < 0
                && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(2)
                && monitor.read(f, 1000)) { }
            const auto t1 = std::chrono::steady_clock::now();
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            engine.StopChannel(0);
            engine.flush();
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = (ms[9] + ms[10]) / 2;
    state.counters["max_ms"] = ms.back();
}
BENCHMARK(BM_PlayToSink_Median20)->Iterations(1)->Unit(benchmark::kMillisecond);

// Three channels started one after the other: frames between the first sound at the sink and
// the first frame holding all three (0 = the same frame).
void BM_GroupedStartSkew(benchmark::State& state)
{
    ensureApp();
    DX7Sound::Engine engine(DX7Sound::SystemDeviceFactory());
    SinkMonitor monitor;
    if (!engine.InitDirectSound() || !monitor.start()) {
        state.SkipWithError("no PulseAudio server with the sorvanto_null sink in PULSE_SERVER");
        return;
    }
    engine.InitChannels(2, makeWav("dc48a.wav", 48000, 2.0, 0.1f));
    engine.LoadFile(0, makeWav("dc48a.wav", 48000, 2.0, 0.1f), 100, 0);
    engine.LoadFile(1, makeWav("dc48b.wav", 48000, 2.0, 0.4f), 100, 100);
    engine.SetChannelPan(1, 100);
    engine.LoadFile(2, makeWav("dc48c.wav", 48000, 2.0, 0.2f), 100, 50);
    engine.flush();
    qint64 worst = 0;
    for (auto _ : state) {
        for (int round = 0; round < 20; ++round) {
            monitor.drain();
            std::vector<float> f;
            engine.PlayChannel(0, 1);
            engine.PlayChannel(1, 1);
            engine.PlayChannel(2, 1);
            engine.flush();
            while (monitor.read(f, 1000)
                && (firstSound(f) < 0 || f.size() / 2 < size_t(firstSound(f) + 64))) { }
            const qint64 on = firstSound(f);
            qint64 full = on;
            while (full >= 0 && size_t(full) < f.size() / 2
                && !(std::fabs(f[size_t(2 * full)] - 0.3f) < 0.002f
                    && std::fabs(f[size_t(2 * full + 1)] - 0.6f) < 0.002f))
                ++full;
            worst = std::max(worst, on < 0 ? 1000000 : full - on);
            for (int c = 0; c < 3; ++c)
                engine.StopChannel(qint16(c));
            engine.flush();
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
        }
    }
    state.counters["max_skew_frames"] = double(worst);
}
BENCHMARK(BM_GroupedStartSkew)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
