// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer alone, without the engine in front of it: batches go in through publish(), frames
// come out of render() called by the test as the audio thread would call it.
#include "sound/Mixer.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <vector>

using namespace DX7Sound;

namespace {

// At this rate a ramp or fade lasts exactly five frames.
constexpr int kRate = 1000;
constexpr int kRamp = 5;

// A buffer of `frames` frames: the left side holds `level` everywhere, the right side holds the
// frame's own number plus one, so the right side of the output tells the position played.
SoundBuffer* counter(qint64 frames, float level = 1.0f)
{
    auto* b = new SoundBuffer(SoundBuffer::Sample::Float, 2, frames);
    float* samples = b->floatData();
    for (qint64 k = 0; k < frames; ++k) {
        samples[2 * k] = level;
        samples[2 * k + 1] = float(k + 1);
    }
    // Decoded completely, as a short file is once its load returns.
    const auto progress = b->writableProgress();
    progress->length.store(frames);
    progress->ready.store(frames);
    progress->finished.store(true);
    return b;
}

MixerCommand setBuffer(int voice, SoundBuffer* b)
{
    MixerCommand c;
    c.kind = MixerCommand::SetBuffer;
    c.voice = voice;
    c.buffer = b;
    return c;
}
MixerCommand play(int voice, bool loop)
{
    MixerCommand c;
    c.kind = MixerCommand::Play;
    c.voice = voice;
    c.loop = loop;
    return c;
}
MixerCommand stop(int voice)
{
    MixerCommand c;
    c.kind = MixerCommand::Stop;
    c.voice = voice;
    return c;
}
MixerCommand setGain(int voice, float left, float right)
{
    MixerCommand c;
    c.kind = MixerCommand::SetGain;
    c.voice = voice;
    c.gain = { left, right };
    return c;
}

class MixerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        MixerCommand table;
        table.kind = MixerCommand::NewTable;
        table.table = newVoiceTable(2);
        send({ table });
        mixer.applyPendingOffline();
    }

    // Publishes the commands as one batch.
    void send(std::initializer_list<MixerCommand> commands)
    {
        auto batch = std::make_unique<Batch>();
        batch->commands.assign(commands.begin(), commands.end());
        ASSERT_TRUE(mixer.publish(batch));
    }
    // One render call of `frames` frames, as the audio thread makes it.
    std::vector<float> render(int frames)
    {
        std::vector<float> out(size_t(frames) * 2, -99.0f);
        mixer.render(out.data(), frames);
        mixer.collectGarbage();
        return out;
    }
    static float left(const std::vector<float>& out, int frame) { return out[2 * size_t(frame)]; }
    static float right(const std::vector<float>& out, int frame)
    {
        return out[2 * size_t(frame) + 1];
    }

    Mixer mixer { kRate };
};

TEST_F(MixerTest, LoopWrapsWithoutAGapAndAOneShotEndsThenStartsOver)
{
    send({ setBuffer(0, counter(10)), play(0, true) });
    const auto looped = render(25);
    for (int k = 0; k < 25; ++k) {
        EXPECT_EQ(right(looped, k), float(k % 10 + 1)) << k;
        EXPECT_EQ(left(looped, k), 1.0f) << "a start and a wrap are unfaded: " << k;
    }

    // A new buffer starts at its first frame; played once it ends at its last frame.
    send({ stop(0) });
    render(kRamp + 1);
    send({ setBuffer(1, counter(4)), play(1, false) });
    const auto once = render(7);
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(right(once, k), k < 4 ? float(k + 1) : 0.0f) << k;
    // Played again after its end, the one-shot starts over.
    send({ play(1, false) });
    const auto again = render(3);
    EXPECT_EQ(right(again, 0), 1.0f);
    EXPECT_EQ(right(again, 2), 3.0f);
}

TEST_F(MixerTest, GainChangesOfASoundingVoiceRampAndOfASilentOneApplyAtOnce)
{
    send({ setBuffer(0, counter(100)), setGain(0, 0.5f, 0.5f), play(0, true) });
    const auto start = render(2);
    EXPECT_EQ(left(start, 0), 0.5f) << "a start takes the set gain at once";

    send({ setGain(0, 1.0f, 0.0f) });
    const auto ramp = render(kRamp + 3);
    float previous = 0.5f;
    for (int k = 0; k < kRamp; ++k) {
        EXPECT_GT(left(ramp, k), previous) << "rising on the left: " << k;
        previous = left(ramp, k);
    }
    EXPECT_FLOAT_EQ(left(ramp, kRamp - 1), 1.0f) << "the ramp ends on its target";
    EXPECT_FLOAT_EQ(left(ramp, kRamp), 1.0f);
    EXPECT_FLOAT_EQ(right(ramp, kRamp + 2), 0.0f) << "the right side ramped to silence";
    // Halfway the ramp is halfway: linear, no jump at its start.
    EXPECT_NEAR(left(ramp, 1), 0.5f + 0.5f * 2 / kRamp, 1e-6f);

    // A stopped voice takes a new gain at once; its next start sounds at it from the first frame.
    send({ stop(0) });
    render(kRamp + 1);
    send({ setGain(0, 0.25f, 0.25f), play(0, true) });
    const auto restart = render(2);
    EXPECT_EQ(left(restart, 0), 0.25f);
}

TEST_F(MixerTest, StopFadesOutAndPlayGoesOnWhereTheSoundCeased)
{
    send({ setBuffer(0, counter(100)), play(0, true) });
    render(10); // frames 1..10 played
    send({ stop(0) });
    const auto fade = render(10);
    for (int k = 1; k < kRamp; ++k)
        EXPECT_LT(left(fade, k), left(fade, k - 1)) << "falling: " << k;
    EXPECT_GT(left(fade, 0), 0.0f) << "no cut at the stop";
    EXPECT_LT(left(fade, 0), 1.0f);
    for (int k = kRamp; k < 10; ++k)
        EXPECT_EQ(left(fade, k), 0.0f) << "silent once faded: " << k;

    // The fade played frames 11..15; the next start goes on with frame 16, unfaded.
    send({ play(0, true) });
    const auto resumed = render(2);
    EXPECT_EQ(right(resumed, 0), 16.0f);
    EXPECT_EQ(left(resumed, 0), 1.0f);

    // A start during a fade takes the voice back up from where the fade got to, without a jump.
    send({ stop(0) });
    const auto partial = render(2);
    send({ play(0, true) });
    const auto back = render(kRamp + 1);
    EXPECT_GT(left(back, 0), left(partial, 1));
    EXPECT_LT(left(back, 0), 1.0f);
    EXPECT_FLOAT_EQ(left(back, kRamp), 1.0f);
}

TEST_F(MixerTest, ABatchTakesEffectWholeAtTheStartOfOnePeriod)
{
    send({ setBuffer(0, counter(50)), setBuffer(1, counter(50, 0.5f)) });
    mixer.applyPendingOffline();
    // Published between two periods: neither voice sounds in the first, both start on the
    // first frame of the next.
    render(8);
    send({ play(0, true) });
    send({ play(1, true) });
    EXPECT_EQ(mixer.pendingBatches(), 2u);
    const auto both = render(8);
    EXPECT_EQ(mixer.pendingBatches(), 0u);
    EXPECT_EQ(left(both, 0), 1.5f) << "both voices on frame 0";
    EXPECT_EQ(right(both, 0), 2.0f) << "each at its own first frame";
    EXPECT_EQ(right(both, 7), 16.0f);
}

TEST_F(MixerTest, AReplacedBufferFadesOutWhileTheNewOneWaitsForItsStart)
{
    send({ setBuffer(0, counter(100)), play(0, true) });
    render(4);
    send({ setBuffer(0, counter(100, 0.5f)) });
    const auto swap = render(kRamp + 2);
    EXPECT_GT(left(swap, 0), 0.0f) << "the old buffer is not cut";
    for (int k = kRamp; k < kRamp + 2; ++k)
        EXPECT_EQ(left(swap, k), 0.0f) << "the new buffer waits: " << k;
    send({ play(0, true) });
    const auto next = render(1);
    EXPECT_EQ(left(next, 0), 0.5f);
    EXPECT_EQ(right(next, 0), 1.0f) << "from its first frame";
}

TEST_F(MixerTest, CommandsForVoicesBeyondTheTableAreDroppedAndTheirBuffersFreed)
{
    // Leak checking of the test build fails the run if the buffer were kept.
    send({ setBuffer(7, counter(10)), play(7, true), stop(-1), setGain(2, 0.0f, 0.0f) });
    const auto out = render(4);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(left(out, k), 0.0f);
}

TEST_F(MixerTest, SoundsFromTheStartUntilTheLastFadeHasEnded)
{
    send({ setBuffer(0, counter(100)) });
    render(4);
    EXPECT_FALSE(mixer.sounding()) << "a loaded voice that was not started";
    send({ play(0, true) });
    render(1);
    EXPECT_TRUE(mixer.sounding());
    // A replaced buffer fading out counts while its tail runs, and a stop's fade too.
    send({ setBuffer(0, counter(100)), stop(0) });
    render(2);
    EXPECT_TRUE(mixer.sounding());
    render(kRamp + 2);
    EXPECT_FALSE(mixer.sounding());
    // A one-shot stops sounding at its end without a stop.
    send({ setBuffer(1, counter(3)), play(1, false) });
    render(2);
    EXPECT_TRUE(mixer.sounding());
    render(2);
    EXPECT_FALSE(mixer.sounding());
}

TEST(MixerGains, DecibelLawAndPanAttenuateByTheSameRule)
{
    EXPECT_FLOAT_EQ(gainsFor(0, 0).left, 1.0f);
    EXPECT_NEAR(gainsFor(-2000, 0).left, 0.1f, 1e-6f);
    EXPECT_EQ(gainsFor(-10000, 0).right, 0.0f) << "the minimum is silence";
    EXPECT_FLOAT_EQ(gainsFor(500, 0).left, 1.0f) << "no gain above full scale";
    const StereoGain right = gainsFor(0, 2000);
    EXPECT_NEAR(right.left, 0.1f, 1e-6f);
    EXPECT_FLOAT_EQ(right.right, 1.0f);
    EXPECT_EQ(gainsFor(-600, -10000).right, 0.0f);
    EXPECT_NEAR(gainsFor(-600, -10000).left, gainsFor(-600, 0).left, 1e-7f);
}

} // namespace
