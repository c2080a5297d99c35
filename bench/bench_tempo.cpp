// SPDX-License-Identifier: GPL-3.0-or-later
// The tempo and key stage: its cost per second of stereo 48 kHz audio at 80 % and +2 semitones
// for each of Rubber Band's engines, the worst single period (what the audio thread would carry
// if the stage ran there), the cost of priming it (at a start or on leaving the original tempo),
// how long a change takes to be heard, and the memory one stage holds.

#include "sound/TimeStretch.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <ctime>
#include <malloc.h>
#include <vector>

using namespace DX7Sound;

namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;

// A 10 s stereo loop of a chord with some noise, so the stretcher has something to analyse.
class ChordLoop : public LoopSource
{
public:
    ChordLoop()
        : m_samples(size_t(kRate) * 10 * 2)
    {
        unsigned noise = 1;
        for (size_t i = 0; i < m_samples.size() / 2; ++i) {
            const double t = double(i) / kRate;
            noise = noise * 1664525u + 1013904223u;
            const double v = 0.2 * std::sin(2 * M_PI * 220 * t)
                + 0.15 * std::sin(2 * M_PI * 277.2 * t) + 0.1 * std::sin(2 * M_PI * 329.6 * t)
                + 0.02 * (double(noise >> 8) / (1 << 24) - 0.5);
            m_samples[2 * i] = float(v);
            m_samples[2 * i + 1] = float(0.9 * v);
        }
    }
    std::int64_t frames() const override { return std::int64_t(m_samples.size() / 2); }
    int channels() const override { return 2; }
    void readFrames(std::int64_t first, int count, float* const* out) const override
    {
        for (int i = 0; i < count; ++i) {
            out[0][i] = m_samples[size_t(2 * (first + i))];
            out[1][i] = m_samples[size_t(2 * (first + i) + 1)];
        }
    }

private:
    std::vector<float> m_samples;
};

const ChordLoop& chord()
{
    static const ChordLoop loop;
    return loop;
}

double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

TimeStretch::Engine engineArg(const benchmark::State& state)
{
    return TimeStretch::Engine(state.range(0));
}

void engineArgs(benchmark::internal::Benchmark* b)
{
    b->ArgName("engine"); // 0 Faster (R2), 1 Finer (R3), 2 Finer with the short window
    for (int e = 0; e <= 2; ++e)
        b->Arg(e);
}

// One second of stereo output at 80 % and +2, pulled in 256-frame periods. The time per
// iteration is the share of one core one column needs (1 s of audio per iteration); the counters
// give the worst period and how long a change takes to be heard.
void BM_TempoStage_OneSecondStereo(benchmark::State& state)
{
    TimeStretch stage(kRate, 2, kPeriod, engineArg(state));
    stage.prepare(&chord(), { 80, 2 });
    std::vector<float> out(size_t(2) * kPeriod);
    // Per period, the thread's own CPU time: on a loaded machine the wall clock would count
    // the time other processes ran.
    std::vector<double> periods;
    for (auto _ : state) {
        for (int at = 0; at < kRate; at += kPeriod) {
            const double t0 = threadCpuMs();
            stage.pull(out.data(), kPeriod);
            periods.push_back(threadCpuMs() - t0);
        }
        benchmark::DoNotOptimize(out.data());
    }
    std::sort(periods.begin(), periods.end());
    state.counters["worst_period_ms"] = periods.back();
    state.counters["p99_period_ms"] = periods[periods.size() * 99 / 100];
    // Periods that carry more than a tenth of their own length (5.3 ms) of work.
    state.counters["heavy_periods_pct"] = 100.0
        * double(periods.end()
            - std::upper_bound(periods.begin(), periods.end(), 0.1 * 1000.0 * kPeriod / kRate))
        / double(periods.size());
    state.counters["latency_ms"] = 1000.0 * stage.latencyFrames() / kRate;
}
BENCHMARK(BM_TempoStage_OneSecondStereo)->Apply(engineArgs)->Unit(benchmark::kMillisecond);

// The original tempo and key: a plain copy, the figure to compare the processed ones with.
void BM_TempoStage_OneSecondStereoOriginal(benchmark::State& state)
{
    TimeStretch stage(kRate, 2, kPeriod);
    stage.prepare(&chord(), {});
    std::vector<float> out(size_t(2) * kPeriod);
    for (auto _ : state) {
        for (int at = 0; at < kRate; at += kPeriod)
            stage.pull(out.data(), kPeriod);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_TempoStage_OneSecondStereoOriginal)->Unit(benchmark::kMillisecond);

// Priming at 80 % / +2: what a start at that tempo costs before its first frame (done before
// the start, where the buffer is prepared), and what leaving the original tempo costs the
// thread that pulls.
void BM_TempoStage_Prime(benchmark::State& state)
{
    TimeStretch stage(kRate, 2, kPeriod, engineArg(state));
    for (auto _ : state)
        stage.prepare(&chord(), { 80, 2 });
}
BENCHMARK(BM_TempoStage_Prime)->Apply(engineArgs)->Unit(benchmark::kMillisecond);

// The heap one stereo stage holds once prepared, in bytes: glibc's count of allocated bytes,
// so only meaningful in a build without AddressSanitizer, whose allocator glibc does not see.
void BM_TempoStage_Memory(benchmark::State& state)
{
    double bytes = 0.0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto stage = std::make_unique<TimeStretch>(kRate, 2, kPeriod, engineArg(state));
        stage->prepare(&chord(), { 80, 2 });
        bytes = double(mallinfo2().uordblks - before);
        benchmark::DoNotOptimize(stage.get());
    }
    state.counters["bytes"] = bytes;
}
BENCHMARK(BM_TempoStage_Memory)->Apply(engineArgs)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
