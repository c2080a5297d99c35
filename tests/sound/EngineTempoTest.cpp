// SPDX-License-Identifier: GPL-3.0-or-later
// Tempo and key through the whole engine and its offline device: the columns stay in step to the
// frame at a processed tempo, across loop wraps and across changes; a start at a processed tempo
// begins at the phrase's first frame; phrases of different lengths keep their own scaled loops;
// the original tempo and key play the buffer sample for sample, also after a round trip.

#include "SoundEngineFixture.h"
#include "sound/Mixer.h"

#include <cmath>
#include <sndfile.h>

using DX7Sound::TempoKey;
using SoundTestKit::Signal;

namespace {

// A mono loop of `frames` frames that is silent but for one pulse of `amplitude` at `at`.
Signal pulseLoop(qint64 frames, qint64 at = 0, float amplitude = 0.9f)
{
    Signal s;
    s.rate = 44100; // the fixture's rate
    s.channels = 1;
    s.samples.assign(size_t(frames), 0.0f);
    s.samples[size_t(at)] = amplitude;
    return s;
}

// Where the pulse lies in each window [k*period + from, +period) on `channel`: the centre of
// its energy (a stretched pulse is smeared over a few milliseconds, its loudest sample is not
// a stable mark).
std::vector<qint64> peaksPerWindow(const Signal& out, int channel, qint64 period, qint64 from = 0)
{
    std::vector<qint64> peaks;
    for (qint64 start = from; start + period <= out.frames(); start += period) {
        double sum = 0, weighted = 0;
        for (qint64 k = start; k < start + period; ++k) {
            const double v = out.at(k, channel);
            sum += v * v;
            weighted += v * v * double(k);
        }
        peaks.push_back(sum > 0 ? std::llround(weighted / sum) : -1);
    }
    return peaks;
}

// peaksPerWindow over windows centred on the pulses, found from the loudest frame of
// [skip, skip + period) on `channel`.
std::vector<qint64> pulses(const Signal& out, int channel, qint64 period, qint64 skip = 0)
{
    const qint64 first = peaksPerWindow(out, channel, period, skip).front();
    return peaksPerWindow(out, channel, period, std::max<qint64>(0, first - period / 2));
}

// Left and right pulses on the same output frames. The columns' pulses differ in level, which
// moves the centre of a smeared pulse by a frame or two; a voice started or changed a period
// apart from the others would be hundreds of frames out.
void expectInStep(const std::vector<qint64>& left, const std::vector<qint64>& right)
{
    ASSERT_EQ(left.size(), right.size());
    for (size_t i = 0; i < left.size(); ++i)
        EXPECT_NEAR(double(left[i]), double(right[i]), 3.0) << "wrap " << i;
}

double meanSpacing(const std::vector<qint64>& peaks)
{
    return double(peaks.back() - peaks.front()) / double(peaks.size() - 1);
}

} // namespace

class EngineTempoTest : public OfflineEngineTest
{
protected:
    // Columns 0 and 1 hold `left` and `right`, panned fully apart, at full level, looping.
    void playApart(const Signal& left, const Signal& right)
    {
        engine->InitChannels(1, wav("silence.wav", pulseLoop(64, 0, 0.0f)));
        engine->LoadFile(0, wav("left.wav", left), 100, 0);
        engine->LoadFile(1, wav("right.wav", right), 100, 100);
        engine->SetChannelPan(1, 100);
        engine->PlayChannel(0, 1);
        engine->PlayChannel(1, 1);
    }
};

TEST_F(EngineTempoTest, ColumnsPannedApartKeepTheirPulsesOnOneFrameOverTwentyWraps)
{
    const qint64 n = 4410;
    engine->SetTempoKey({ 73, 0 });
    playApart(pulseLoop(n), pulseLoop(n, 0, 0.5f));
    const qint64 m = DX7Sound::scaledLoopFrames(n, 73);
    const Signal out = render(21 * m);
    // Windows centred on the expected pulses.
    const auto left = peaksPerWindow(out, 0, m, m / 2);
    const auto rightPeaks = peaksPerWindow(out, 1, m, m / 2);
    ASSERT_EQ(left.size(), 20u);
    expectInStep(left, rightPeaks);
    EXPECT_NEAR(meanSpacing(left), double(m), double(m) * 0.001);
    // The start at a processed tempo begins with the phrase's first frame.
    EXPECT_LT(peaksPerWindow(out, 0, m / 2).front(), qint64(rate * 0.005));
}

TEST_F(EngineTempoTest, AChangeMidLoopReachesEveryColumnOnOneFrame)
{
    const qint64 n = 4410;
    playApart(pulseLoop(n), pulseLoop(n, 0, 0.5f));
    render(n + n / 2); // mid-loop at the recorded tempo
    engine->SetTempoKey({ 85, 0 });
    const qint64 m = DX7Sound::scaledLoopFrames(n, 85);
    Signal out = render(23 * m);
    auto left = pulses(out, 0, m, 2 * m);
    auto right = pulses(out, 1, m, 2 * m);
    ASSERT_GE(left.size(), 20u);
    expectInStep(left, right);
    EXPECT_NEAR(meanSpacing(left), double(m), double(m) * 0.001);

    // A key change (new stages taking over), and then a tempo change in that key, keep them
    // together too.
    for (const TempoKey setting : { TempoKey { 85, 4 }, TempoKey { 95, 4 } }) {
        SCOPED_TRACE(setting.tempoPercent);
        engine->SetTempoKey(setting);
        EXPECT_EQ(engine->tempoKey(), setting);
        const qint64 loop = DX7Sound::scaledLoopFrames(n, setting.tempoPercent);
        out = render(23 * loop);
        left = pulses(out, 0, loop, 2 * loop);
        right = pulses(out, 1, loop, 2 * loop);
        ASSERT_GE(left.size(), 20u);
        expectInStep(left, right);
        EXPECT_NEAR(meanSpacing(left), double(loop), double(loop) * 0.001);
    }
}

TEST_F(EngineTempoTest, PhrasesOfDifferentLengthsKeepTheirOwnScaledLoops)
{
    const qint64 n1 = 4410, n2 = 6615;
    engine->SetTempoKey({ 80, -3 });
    playApart(pulseLoop(n1), pulseLoop(n2));
    const qint64 m1 = DX7Sound::scaledLoopFrames(n1, 80);
    const qint64 m2 = DX7Sound::scaledLoopFrames(n2, 80);
    const Signal out = render(12 * m2);
    EXPECT_NEAR(meanSpacing(peaksPerWindow(out, 0, m1, m1 / 2)), double(m1), double(m1) * 0.001);
    EXPECT_NEAR(meanSpacing(peaksPerWindow(out, 1, m2, m2 / 2)), double(m2), double(m2) * 0.001);
}

TEST_F(EngineTempoTest, TheOriginalTempoAndKeyPlayTheBufferSampleForSample)
{
    // A loop whose every frame tells its position.
    const qint64 n = 3001;
    const Signal ramp = SoundTestKit::ramp(n, n, rate);
    const QString file = wav("ramp.wav", ramp, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    engine->InitChannels(0, file);
    engine->SetChannelVolume(0, 100);
    engine->SetTempoKey({ 100, 0 }); // asking for the original changes nothing
    engine->PlayChannel(0, 1);
    Signal out = render(2 * n);
    for (qint64 k = 0; k < out.frames(); ++k)
        ASSERT_EQ(out.at(k, 0), ramp.at(k % n, 0)) << k;

    // There and back: once the stage has faded out, the buffer plays untouched again, from the
    // frame the stage had reached.
    engine->SetTempoKey({ 90, 1 });
    render(3 * n);
    engine->SetTempoKey({ 100, 0 });
    render(n);
    out = render(3 * n, 113);
    const qint64 start = std::lround(out.at(0, 0) / 0.9 * double(n)) - 1;
    for (qint64 k = 0; k < out.frames(); ++k)
        ASSERT_EQ(out.at(k, 0), ramp.at((start + k) % n, 0)) << k;
}

TEST_F(EngineTempoTest, AStoppedColumnResumesAtTheNewSettingAndALoadStartsAtItsFirstFrame)
{
    const qint64 n = 4410;
    playApart(pulseLoop(n), pulseLoop(n));
    render(n / 2);
    engine->StopChannel(1);
    render(n);
    engine->SetTempoKey({ 120, 4 });
    render(n);
    // Column 1 comes back through a stage at the new setting, and a new phrase in column 0 starts
    // with its first frame: both pulses then come once per scaled loop.
    engine->LoadFile(0, wav("left2.wav", pulseLoop(n)), 100, 0);
    engine->PlayChannel(0, 1);
    engine->PlayChannel(1, 1);
    const qint64 m = DX7Sound::scaledLoopFrames(n, 120);
    const Signal out = render(10 * m);
    EXPECT_LT(peaksPerWindow(out, 0, m / 2).front(), qint64(rate * 0.005));
    EXPECT_NEAR(meanSpacing(peaksPerWindow(out, 0, m, m / 2)), double(m), double(m) * 0.001);
    EXPECT_NEAR(meanSpacing(pulses(out, 1, m, m / 2)), double(m), double(m) * 0.001);
}
