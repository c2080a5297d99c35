// SPDX-License-Identifier: GPL-3.0-or-later
// The tempo and key stage on its own, rendered offline: frames are pulled in periods as the audio
// thread would pull them, and the output is measured (pulse positions, spectral peaks, steps
// between neighbouring samples).
#include "sound/TimeStretch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

using namespace DX7Sound;

namespace {

constexpr int kRate = 48000;
constexpr int kPeriod = 256;

// A loop held in memory, interleaved.
class VectorSource : public LoopSource
{
public:
    VectorSource(int channels, std::vector<float> samples)
        : m_channels(channels)
        , m_samples(std::move(samples))
    { }
    std::int64_t frames() const override { return std::int64_t(m_samples.size()) / m_channels; }
    int channels() const override { return m_channels; }
    void readFrames(std::int64_t first, int count, float* const* out) const override
    {
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < m_channels; ++c)
                out[c][i] = m_samples[size_t((first + i) * m_channels + c)];
    }
    float at(std::int64_t frame, int channel) const
    {
        return m_samples[size_t(frame * m_channels + channel)];
    }

private:
    int m_channels;
    std::vector<float> m_samples;
};

// A loop of `frames` frames with one full-scale pulse at frame 0 on `pulseChannel`; with
// `toneOnOther`, a quiet tone on the other channel, so two stages get different content.
VectorSource pulseLoop(
    std::int64_t frames, int channels, int pulseChannel, bool toneOnOther = false)
{
    std::vector<float> s(size_t(frames * channels), 0.0f);
    s[size_t(pulseChannel)] = 1.0f;
    if (toneOnOther)
        for (std::int64_t i = 0; i < frames; ++i)
            s[size_t(i * channels + (1 - pulseChannel))]
                = 0.3f * float(std::sin(2.0 * std::numbers::pi * 300.0 * double(i) / kRate));
    return { channels, std::move(s) };
}

// Pulls `frames` frames in periods; `before` runs before each period with its first frame.
template <typename Before>
std::vector<float> render(TimeStretch& stage, int channels, std::int64_t frames, Before before)
{
    std::vector<float> out(size_t(frames * channels));
    for (std::int64_t at = 0; at < frames; at += kPeriod) {
        const int n = int(std::min<std::int64_t>(kPeriod, frames - at));
        before(at);
        stage.pull(out.data() + size_t(at * channels), n);
    }
    return out;
}
std::vector<float> render(TimeStretch& stage, int channels, std::int64_t frames)
{
    return render(stage, channels, frames, [](std::int64_t) {});
}

// Where the pulse near each expected frame lies: the centre of the energy of one channel
// within `reach` frames either side of each expected position. The stretcher spreads a pulse
// over a window, more so transposed down; its centre stays put.
std::vector<std::int64_t> pulsePositions(const std::vector<float>& out, int channels, int channel,
    const std::vector<std::int64_t>& expected, std::int64_t reach)
{
    const auto frames = std::int64_t(out.size()) / channels;
    std::vector<std::int64_t> found;
    for (const std::int64_t e : expected) {
        double sum = 0.0;
        double weighted = 0.0;
        for (std::int64_t i = std::max<std::int64_t>(0, e - reach); i < std::min(frames, e + reach);
             ++i) {
            const double v = out[size_t(i * channels + channel)];
            sum += v * v;
            weighted += v * v * double(i);
        }
        found.push_back(sum > 0.0 ? std::llround(weighted / sum) : -1);
    }
    return found;
}

// The frequency of the strongest partial of one channel: Hann window, FFT, and the peak placed
// between bins by a parabola through the log magnitudes.
double peakFrequency(const std::vector<float>& out, int channels, std::int64_t first)
{
    constexpr size_t n = 65536;
    std::vector<std::complex<double>> x(n);
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(n));
        x[i] = w * out[size_t((first + std::int64_t(i)) * channels)];
    }
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const auto step = std::polar(1.0, -2.0 * std::numbers::pi / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = x[i + k];
                const auto v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
    size_t peak = 1;
    for (size_t k = 1; k < n / 2; ++k)
        if (std::abs(x[k]) > std::abs(x[peak]))
            peak = k;
    const double a = std::log(std::abs(x[peak - 1]));
    const double b = std::log(std::abs(x[peak]));
    const double c = std::log(std::abs(x[peak + 1]));
    const double offset = 0.5 * (a - c) / (a - 2.0 * b + c);
    return (double(peak) + offset) * kRate / double(n);
}

double cents(double measured, double expected)
{
    return 1200.0 * std::log2(measured / expected);
}

// The largest step between neighbouring samples of channel 0 within [from, to).
float largestStep(const std::vector<float>& out, int channels, std::int64_t from, std::int64_t to)
{
    float step = 0.0f;
    for (std::int64_t i = std::max<std::int64_t>(1, from); i < to; ++i)
        step
            = std::max(step, std::abs(out[size_t(i * channels)] - out[size_t((i - 1) * channels)]));
    return step;
}

std::vector<std::int64_t> wraps(std::int64_t loop, int count)
{
    std::vector<std::int64_t> at;
    at.reserve(size_t(count));
    for (int k = 0; k < count; ++k)
        at.push_back(k * loop);
    return at;
}

// The stretcher places a pulse to within some milliseconds of its place in the output loop, not
// to the sample (its windows spread it, the more so transposed down); what must hold is that it
// never drifts away from that place.
constexpr std::int64_t kPlacement = kRate * 10 / 1000;

} // namespace

TEST(TempoKey, ScaledLoopLengthRoundsAndClamps)
{
    EXPECT_EQ(scaledLoopFrames(48000, 100), 48000);
    EXPECT_EQ(scaledLoopFrames(48000, 73), 65753); // 65753.42
    EXPECT_EQ(scaledLoopFrames(48000, 137), 35036); // 35036.50: the half rounds up
    EXPECT_EQ(scaledLoopFrames(1, 200), 1); // 0.5 rounds up, and never below one frame
    // Ten minutes of 48 kHz at the slowest tempo: no overflow, exact.
    EXPECT_EQ(scaledLoopFrames(28'800'000, 50), 57'600'000);
    EXPECT_EQ((TempoKey { 20, 30 }.clamped()), (TempoKey { 50, 12 }));
    EXPECT_EQ((TempoKey { 300, -13 }.clamped()), (TempoKey { 200, -12 }));
    EXPECT_TRUE(TempoKey {}.original());
    EXPECT_FALSE((TempoKey { 100, 1 }.original()));
}

TEST(TimeStretch, OriginalTempoAndKeyIsTheSourceSampleForSample)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> samples(size_t(2) * 1001);
    for (float& s : samples)
        s = noise(random);
    const VectorSource source(2, samples);
    TimeStretch stage(kRate, 2, kPeriod);
    stage.prepare(&source, {});
    // Odd pull sizes, so the wraps fall inside pulls.
    std::vector<float> out;
    for (int n : { 1, 255, 999, 256, 1500 }) {
        std::vector<float> block(size_t(2 * n));
        stage.pull(block.data(), n);
        out.insert(out.end(), block.begin(), block.end());
    }
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], samples[i % samples.size()]) << "sample " << i;
    EXPECT_EQ(stage.position(), 3011);
    EXPECT_EQ(stage.phase(), 3011 % 1001);
}

TEST(TimeStretch, ChangeTakesEffectOnItsFrameInsideAPull)
{
    std::vector<float> samples(4000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(std::sin(0.05 * double(i)));
    const VectorSource source(1, samples);
    TimeStretch stage(kRate, 1, kPeriod);
    stage.prepare(&source, {});
    stage.schedule({ 80, 0 }, 1000);
    const auto out = render(stage, 1, 1300);
    // Up to the change's frame the source plays untouched; from it on, the fade has begun.
    for (size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(out[i], samples[i]) << "frame " << i;
    EXPECT_NE(out[1000 + size_t(stage.fadeFrames()) - 1], samples[1000 + stage.fadeFrames() - 1]);
    EXPECT_EQ(stage.setting(), (TempoKey { 80, 0 }));
    EXPECT_EQ(stage.loopFrames(), 5000);
    // The phase kept its content position: frame 1000 of 4000 is frame 1250 of 5000.
    EXPECT_EQ(stage.phase(), 1250 + 300);
}

TEST(TimeStretch, PulsesComeRoundOncePerScaledLoopWithoutDrift)
{
    constexpr std::int64_t n = 24000;
    for (const int tempo : { 73, 100, 137 }) {
        SCOPED_TRACE(tempo);
        const auto source = pulseLoop(n, 1, 0);
        TimeStretch stage(kRate, 1, kPeriod);
        stage.prepare(&source, { tempo, 0 });
        const std::int64_t m = scaledLoopFrames(n, tempo);
        EXPECT_EQ(stage.loopFrames(), m);
        const auto out = render(stage, 1, 21 * m);
        const auto pulses = pulsePositions(out, 1, 0, wraps(m, 21), m / 4);
        // The start is the source's first frame.
        EXPECT_LE(std::abs(pulses[0]), kPlacement);
        for (size_t k = 0; k < pulses.size(); ++k)
            EXPECT_LE(std::abs(pulses[k] - std::int64_t(k) * m), kPlacement) << "wrap " << k;
        // Over 20 wraps the mean spacing is the scaled loop length within 0.1 %.
        const double spacing = double(pulses[20] - pulses[0]) / 20.0;
        EXPECT_NEAR(spacing, double(m), 0.001 * double(m));
        if (tempo == 100) { // untouched: exact
            EXPECT_EQ(pulses, wraps(m, 21));
        }
    }
}

TEST(TimeStretch, NoDriftAfterTenMinutes)
{
    constexpr std::int64_t n = 96000;
    const auto source = pulseLoop(n, 1, 0);
    TimeStretch stage(kRate, 1, kPeriod);
    stage.prepare(&source, { 73, 2 });
    const std::int64_t m = scaledLoopFrames(n, 73);
    const std::int64_t total = std::int64_t(kRate) * 600;
    const auto out = render(stage, 1, total);
    const std::int64_t last = total / m - 1;
    const auto pulses = pulsePositions(out, 1, 0, { (last - 1) * m, last * m }, m / 4);
    EXPECT_LE(std::abs(pulses[0] - (last - 1) * m), kPlacement);
    EXPECT_LE(std::abs(pulses[1] - last * m), kPlacement);
    EXPECT_EQ(stage.phase(), total % m);
}

TEST(TimeStretch, KeyChangesPitchAndKeepsLength)
{
    constexpr std::int64_t n = 48000; // 440 Hz repeats exactly within it
    std::vector<float> samples(static_cast<size_t>(n));
    for (std::int64_t i = 0; i < n; ++i)
        samples[size_t(i)]
            = 0.5f * float(std::sin(2.0 * std::numbers::pi * 440.0 * double(i) / kRate));
    const VectorSource source(1, samples);
    for (const auto& [semitones, expected] :
        { std::pair { 2, 440.0 * std::pow(2.0, 2.0 / 12.0) }, std::pair { -12, 220.0 } }) {
        SCOPED_TRACE(semitones);
        TimeStretch stage(kRate, 1, kPeriod);
        stage.prepare(&source, { 100, semitones });
        EXPECT_EQ(stage.loopFrames(), n);
        const auto out = render(stage, 1, 3 * n);
        EXPECT_NEAR(cents(peakFrequency(out, 1, n / 2), expected), 0.0, 2.0);
    }
    // The length: a pulse loop transposed still comes round every n frames.
    const auto pulses = pulseLoop(n, 1, 0);
    for (const int semitones : { 2, -12 }) {
        SCOPED_TRACE(semitones);
        TimeStretch stage(kRate, 1, kPeriod);
        stage.prepare(&pulses, { 100, semitones });
        const auto out = render(stage, 1, 11 * n);
        const auto found = pulsePositions(out, 1, 0, wraps(n, 11), n / 4);
        for (size_t k = 0; k < found.size(); ++k)
            EXPECT_LE(std::abs(found[k] - std::int64_t(k) * n), kPlacement) << "wrap " << k;
    }
}

TEST(TimeStretch, StagesOfOneLoopLengthStayInStepWhateverTheirContent)
{
    // Two columns panned apart: the pulse on the left in one, on the right in the other, which
    // also carries a tone; their pulses must land on the very same output frames.
    constexpr std::int64_t n = 30000;
    const auto left = pulseLoop(n, 2, 0);
    const auto right = pulseLoop(n, 2, 1, true);
    const auto both = [&](TempoKey start, auto before, std::int64_t frames) {
        TimeStretch a(kRate, 2, kPeriod);
        TimeStretch b(kRate, 2, kPeriod);
        a.prepare(&left, start);
        b.prepare(&right, start);
        const auto outA = render(a, 2, frames, [&](std::int64_t at) { before(a, at); });
        const auto outB = render(b, 2, frames, [&](std::int64_t at) { before(b, at); });
        return std::pair { outA, outB };
    };
    {
        SCOPED_TRACE("73 %");
        const std::int64_t m = scaledLoopFrames(n, 73);
        const auto [outA, outB] = both(
            { 73, 0 }, [](TimeStretch&, std::int64_t) {}, 21 * m);
        EXPECT_EQ(pulsePositions(outA, 2, 0, wraps(m, 21), m / 4),
            pulsePositions(outB, 2, 1, wraps(m, 21), m / 4));
    }
    {
        SCOPED_TRACE("100 % to 85 % mid-loop");
        const std::int64_t m = scaledLoopFrames(n, 85);
        const std::int64_t change = n / 2 + 77; // inside a period
        const auto [outA, outB] = both(
            {},
            [&](TimeStretch& s, std::int64_t at) {
                if (at == 0)
                    s.schedule({ 85, 0 }, change);
            },
            n + 21 * m);
        // After the change the phase keeps its content position and wraps at m.
        std::vector<std::int64_t> expected { 0 };
        for (int k = 0; k < 20; ++k)
            expected.push_back(change + m - change * m / n + k * m);
        const auto pulsesA = pulsePositions(outA, 2, 0, expected, m / 4);
        EXPECT_EQ(pulsesA, pulsePositions(outB, 2, 1, expected, m / 4));
        // The first loop after the change is shorter or longer by what the stretcher still held
        // at the old tempo; from then on the loops last m frames, within 0.1 % on average.
        EXPECT_NEAR(double(pulsesA[20] - pulsesA[1]) / 19.0, double(m), 0.001 * double(m));
        for (size_t k = 1; k < pulsesA.size(); ++k)
            EXPECT_LE(std::abs(pulsesA[k] - expected[k]), kPlacement) << "wrap " << k;
    }
}

TEST(TimeStretch, NoClickAtTheSeamOrAtATempoChange)
{
    // Two partials that both repeat exactly within the loop, so the source itself is seamless.
    constexpr std::int64_t n = 48000;
    std::vector<float> samples(static_cast<size_t>(n));
    for (std::int64_t i = 0; i < n; ++i)
        samples[size_t(i)]
            = float(0.4 * std::sin(2.0 * std::numbers::pi * 300.0 * double(i) / kRate)
                + 0.2 * std::sin(2.0 * std::numbers::pi * 1100.0 * double(i) / kRate));
    const VectorSource source(1, samples);
    {
        SCOPED_TRACE("the seam at 80 %");
        TimeStretch stage(kRate, 1, kPeriod);
        stage.prepare(&source, { 80, 0 });
        const std::int64_t m = scaledLoopFrames(n, 80);
        const auto out = render(stage, 1, 4 * m);
        const std::int64_t near = kRate / 100; // 10 ms either side of a wrap
        for (int k = 1; k < 4; ++k) {
            const float seam = largestStep(out, 1, k * m - near, k * m + near);
            const float elsewhere = largestStep(out, 1, k * m - m / 2 - near, k * m - m / 2 + near);
            EXPECT_LE(seam, elsewhere * 1.05f) << "wrap " << k;
        }
    }
    {
        SCOPED_TRACE("into and out of the original tempo");
        TimeStretch stage(kRate, 1, kPeriod);
        stage.prepare(&source, {});
        const std::int64_t into = 10'000 + 33;
        const std::int64_t back = 40'000 + 201;
        const auto out = render(stage, 1, 60'000, [&](std::int64_t at) {
            if (at == 0)
                stage.schedule({ 80, 0 }, into);
            if (at == 30'000 - 30'000 % kPeriod)
                stage.schedule({}, back);
        });
        const float reference = largestStep(out, 1, 1, 10'000);
        const std::int64_t near = stage.fadeFrames() + kRate / 100;
        EXPECT_LE(largestStep(out, 1, into - near, into + near), reference * 1.1f);
        EXPECT_LE(largestStep(out, 1, back - near, back + near), reference * 1.1f);
        EXPECT_EQ(stage.setting(), TempoKey {});
        // Once the fade back is over, the source plays untouched again.
        const std::int64_t phase = stage.phase();
        const auto rest = render(stage, 1, 1000);
        for (std::int64_t i = 0; i < 1000; ++i)
            ASSERT_EQ(rest[size_t(i)], source.at((phase + i) % n, 0)) << "frame " << i;
    }
}

TEST(TimeStretch, TakeoverContinuesTheUntouchedCopyWithoutAStep)
{
    constexpr std::int64_t n = 48000;
    std::vector<float> samples(static_cast<size_t>(n));
    for (std::int64_t i = 0; i < n; ++i)
        samples[size_t(i)]
            = float(0.5 * std::sin(2.0 * std::numbers::pi * 300.0 * double(i) / kRate));
    const VectorSource source(1, samples);
    // A voice played untouched up to frame 30000 of its loop; a second stage, prepared
    // beforehand, takes over there at 80 % and +2.
    TimeStretch before(kRate, 1, kPeriod);
    before.prepare(&source, {});
    auto out = render(before, 1, 30'000);
    TimeStretch after(kRate, 1, kPeriod);
    after.prepareTakeover(&source, { 80, 2 }, 30'000);
    EXPECT_EQ(after.loopFrames(), 60'000);
    EXPECT_EQ(after.phase(), 37'500); // the same content position in the longer loop
    const auto rest = render(after, 1, 20'000);
    out.insert(out.end(), rest.begin(), rest.end());
    // Transposed up, the tone itself steps further from sample to sample: the reference is the
    // larger of the two sides.
    const float reference
        = std::max(largestStep(out, 1, 1, 29'000), largestStep(out, 1, 35'000, 50'000));
    EXPECT_LE(largestStep(out, 1, 29'000, 31'000), reference * 1.1f);
    // Nor a dip: the stretcher was primed on the frames before, so it is at full level as soon
    // as it fades in (the tone's RMS is 0.35).
    for (std::int64_t at = 30'000; at < 33'000; at += 48) {
        double energy = 0.0;
        for (std::int64_t i = at; i < at + 480; ++i)
            energy += double(out[size_t(i)]) * double(out[size_t(i)]);
        EXPECT_GT(std::sqrt(energy / 480.0), 0.3) << "frame " << at;
    }
    // And it took over at the frame it was given: the first frame is mostly the source's.
    EXPECT_NEAR(rest[0], samples[30'000], 0.01f);
    EXPECT_EQ(after.phase(), 57'500);
}

TEST(TimeStretch, KeyChangeByAPreparedStageKeepsThePhaseAndReachesTheNewKey)
{
    constexpr std::int64_t n = 48000;
    std::vector<float> samples(static_cast<size_t>(n));
    for (std::int64_t i = 0; i < n; ++i)
        samples[size_t(i)]
            = float(0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * double(i) / kRate));
    const VectorSource source(1, samples);
    TimeStretch old(kRate, 1, kPeriod);
    old.prepare(&source, { 80, 2 });
    render(old, 1, 70'001);
    // +2 to +5 at 80 %: the new stage starts where the old one's content is, in the same loop.
    TimeStretch next(kRate, 1, kPeriod);
    next.prepareTakeover(&source, { 80, 5 }, old.contentFrame(), false);
    EXPECT_EQ(next.loopFrames(), old.loopFrames());
    EXPECT_LE(std::abs(next.phase() - old.phase()), 1);
    EXPECT_EQ(next.setting(), (TempoKey { 80, 5 }));
    const auto out = render(next, 1, 70'000);
    EXPECT_NEAR(cents(peakFrequency(out, 1, 2000), 440.0 * std::pow(2.0, 5.0 / 12.0)), 0.0, 2.0);
}

TEST(TimeStretch, WithoutASourceItIsSilent)
{
    TimeStretch stage(kRate, 2, kPeriod);
    stage.prepare(nullptr, { 80, 3 });
    std::vector<float> out(size_t(2) * 300, 1.0f);
    stage.pull(out.data(), 300);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; }));
}
