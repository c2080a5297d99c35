// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's operations rendered through the offline device: value mappings and the decibel
// law, refusals, play/stop/loop positions, failed loads, channels outside the table, device loss.

#include "SoundEngineFixture.h"
#include "sound/Mixer.h"

#include <QElapsedTimer>
#include <QFile>
#include <cmath>
#include <sndfile.h>

using SoundTestKit::Signal;

namespace {

double db(double ratio)
{
    return ratio > 0 ? 20.0 * std::log10(ratio) : -1000.0;
}

// Frames the stop fade and the gain ramps take at the test rate.
const int rampFrames = int(std::lround(44100 * DX7Sound::Mixer::rampMs / 1000.0));

} // namespace

TEST_F(OfflineEngineTest, LevelsFollowTheDecibelLawFromTheFirstFrame)
{
    const QString file = wav("dc.wav", dc(0.5f));
    engine->InitChannels(10, file);
    const struct
    {
        quint8 level;
        int volume;
        double db;
    } cases[] = { { 100, 0, 0.0 }, { 80, -1200, -12.0 }, { 40, -3600, -36.0 }, { 1, -5940, -59.4 },
        { 0, -6000, -60.0 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.level));
        engine->LoadBuffer(1, file);
        engine->SetChannelVolume(1, c.level);
        EXPECT_EQ(engine->status(1).volume, c.volume);
        engine->PlayChannel(1, 1);
        const Signal out = render(512);
        // A start is not faded in: the very first frame already has the set gain.
        EXPECT_NEAR(db(out.at(0, 0) / 0.5), c.db, 0.02);
        EXPECT_NEAR(db(out.at(0, 1) / 0.5), c.db, 0.02);
        EXPECT_NEAR(db(out.at(511, 0) / 0.5), c.db, 0.02);
        engine->StopChannel(1);
        render(rampFrames + 1);
    }
}

TEST_F(OfflineEngineTest, PanAttenuatesTheOppositeSide)
{
    const QString file = wav("dc.wav", dc(0.5f));
    engine->InitChannels(2, file);
    const struct
    {
        quint8 pan;
        int value;
        double left, right; // dB; -1000 = silent
    } cases[]
        = { { 0, -10000, 0, -1000 }, { 35, -1500, 0, -15 }, { 50, 0, 0, 0 }, { 65, 1500, -15, 0 },
              { 100, 10000, -1000, 0 }, { 1, -4900, 0, -49 }, { 99, 4900, -49, 0 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.pan));
        engine->LoadBuffer(2, file);
        engine->SetChannelPan(2, c.pan);
        EXPECT_EQ(engine->status(2).pan, c.value);
        engine->PlayChannel(2, 1);
        const Signal out = render(300);
        if (c.left <= -1000) {
            EXPECT_EQ(out.at(0, 0), 0.0f);
        } else {
            EXPECT_NEAR(db(out.at(0, 0) / 0.5), c.left, 0.02);
        }
        if (c.right <= -1000) {
            EXPECT_EQ(out.at(0, 1), 0.0f);
        } else {
            EXPECT_NEAR(db(out.at(0, 1) / 0.5), c.right, 0.02);
        }
        engine->StopChannel(2);
        render(rampFrames + 1);
    }
}

TEST_F(OfflineEngineTest, LevelAndPanCombine)
{
    engine->InitChannels(0, wav("dc.wav", dc(0.5f)));
    engine->SetChannelVolume(0, 80);
    engine->SetChannelPan(0, 35);
    engine->PlayChannel(0, 1);
    const Signal out = render(256);
    EXPECT_NEAR(db(out.at(10, 0) / 0.5), -12.0, 0.02);
    EXPECT_NEAR(db(out.at(10, 1) / 0.5), -27.0, 0.02);
}

TEST_F(OfflineEngineTest, OutOfRangeValuesAreRefusedAndTheOldOneStays)
{
    engine->InitChannels(0, wav("dc.wav", dc(0.5f)));
    engine->SetChannelVolume(0, 40);
    engine->SetChannelPan(0, 35);
    for (quint8 level : { 101, 150, 255 }) {
        engine->SetChannelVolume(0, level);
        EXPECT_EQ(engine->status(0).volume, -3600) << int(level);
    }
    // 150 maps to exactly +10000, the last accepted value; 151 and above go past it.
    for (quint8 pan : { 151, 200, 255 }) {
        engine->SetChannelPan(0, pan);
        EXPECT_EQ(engine->status(0).pan, -1500) << int(pan);
    }
    engine->PlayChannel(0, 1);
    Signal out = render(256);
    EXPECT_NEAR(db(out.at(5, 0) / 0.5), -36.0, 0.02);
    EXPECT_NEAR(db(out.at(5, 1) / 0.5), -51.0, 0.02);

    engine->SetChannelPan(0, 150);
    EXPECT_EQ(engine->status(0).pan, 10000);
    out = render(rampFrames + 256);
    EXPECT_EQ(out.at(rampFrames + 100, 0), 0.0f);
}

TEST_F(OfflineEngineTest, LoadFileSetsPanOnlyBelow100AndNot50AndLevelOnlyBelow100)
{
    const QString file = wav("dc.wav", dc(0.5f));
    engine->InitChannels(2, file);
    engine->LoadFile(0, file, 100, 50);
    EXPECT_EQ(engine->status(0).volume, 0);
    EXPECT_EQ(engine->status(0).pan, 0);
    // Pan 100 through LoadFile leaves the new buffer centred, SetChannelPan(100) is full right.
    engine->LoadFile(1, file, 100, 100);
    EXPECT_EQ(engine->status(1).pan, 0);
    engine->SetChannelPan(1, 100);
    EXPECT_EQ(engine->status(1).pan, 10000);
    engine->LoadFile(2, file, 80, 35);
    EXPECT_EQ(engine->status(2).volume, -1200);
    EXPECT_EQ(engine->status(2).pan, -1500);
    // A new buffer starts centred at full volume, whatever the slot had before.
    engine->LoadFile(2, file, 200, 200);
    EXPECT_EQ(engine->status(2).volume, 0);
    EXPECT_EQ(engine->status(2).pan, 0);
    EXPECT_FALSE(engine->status(2).playing);
}

TEST_F(OfflineEngineTest, LoopsWrapWithoutAGapAtOddPeriods)
{
    const qint64 n = 1009;
    const Signal ramp = SoundTestKit::ramp(n, n, rate);
    engine->InitChannels(0, wav("ramp.wav", ramp, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    engine->SetChannelVolume(0, 100);
    engine->PlayChannel(0, 1);
    for (int period : { 37, 113, 256, 1009, 2048 }) {
        SCOPED_TRACE(period);
        const Signal out = render(5 * n + 17, period);
        // Frame k plays file frame (start + k) mod n, on both sides, across every wrap.
        const qint64 start = std::lround(out.at(0, 0) / 0.9 * n) - 1;
        for (qint64 k = 0; k < out.frames(); ++k) {
            const float want = ramp.at((start + k) % n, 0);
            ASSERT_FLOAT_EQ(out.at(k, 0), want) << "frame " << k;
            ASSERT_FLOAT_EQ(out.at(k, 1), want) << "frame " << k;
        }
    }
}

TEST_F(OfflineEngineTest, PlayOnceEndsAndPlaysAgainFromTheStart)
{
    const qint64 n = 500;
    const Signal ramp = SoundTestKit::ramp(n, n, rate);
    engine->InitChannels(0, wav("ramp.wav", ramp, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    engine->SetChannelVolume(0, 100);
    engine->PlayChannel(0, 0);
    Signal out = render(1000, 64);
    EXPECT_FLOAT_EQ(out.at(0, 0), ramp.at(0, 0));
    EXPECT_FLOAT_EQ(out.at(n - 1, 0), ramp.at(n - 1, 0));
    EXPECT_EQ(out.at(n, 0), 0.0f);
    engine->PlayChannel(0, 0);
    out = render(10);
    EXPECT_FLOAT_EQ(out.at(0, 0), ramp.at(0, 0));
}

TEST_F(OfflineEngineTest, StopFadesOutKeepsThePositionAndPlayContinues)
{
    const qint64 n = 44100;
    const Signal ramp = SoundTestKit::ramp(n, n, rate);
    engine->InitChannels(0, wav("ramp.wav", ramp, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    engine->SetChannelVolume(0, 100);
    engine->PlayChannel(0, 1);
    Signal out = render(300, 100);
    EXPECT_FLOAT_EQ(out.at(299, 0), ramp.at(299, 0));

    engine->StopChannel(0);
    EXPECT_FALSE(engine->status(0).playing);
    out = render(2000, 100);
    // The fade falls steadily (no click) and ends in silence within the ramp time.
    for (int k = 1; k < rampFrames; ++k)
        ASSERT_LE(out.at(k, 0), out.at(k - 1, 0) + 1e-6f) << k;
    EXPECT_LT(out.at(rampFrames - 2, 0), 0.01f);
    for (qint64 k = rampFrames; k < out.frames(); ++k)
        ASSERT_EQ(out.at(k, 0), 0.0f) << k;

    // Play goes on from where the sound ceased: the end of the fade.
    engine->PlayChannel(0, 1);
    EXPECT_TRUE(engine->status(0).playing);
    out = render(10);
    EXPECT_FLOAT_EQ(out.at(0, 0), ramp.at(300 + rampFrames, 0));

    // A new buffer starts at its first frame.
    engine->LoadBuffer(0, wav("ramp2.wav", ramp, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    engine->PlayChannel(0, 1);
    out = render(rampFrames + 10);
    EXPECT_FLOAT_EQ(out.at(rampFrames + 5, 0), ramp.at(rampFrames + 5, 0));
}

TEST_F(OfflineEngineTest, AStopFadesFromTheLevelBeforeItRatherThanCutting)
{
    engine->InitChannels(0, wav("dc.wav", dc(0.5f)));
    engine->SetChannelVolume(0, 100);
    for (int period : { 1, 64, 256 }) {
        SCOPED_TRACE(period);
        engine->PlayChannel(0, 1);
        render(1000, period);
        engine->StopChannel(0);
        const Signal out = render(rampFrames + 50, period);
        // The first frames after the stop are still near the level before it, and the level then
        // falls by about the same step each frame over the whole fade: a cut, a jump or a fade
        // much shorter than the ramp all fail here.
        for (int k = 0; k < 5; ++k)
            ASSERT_GT(out.at(k, 0), 0.5f * (1.0f - float(k + 2) / float(rampFrames))) << k;
        ASSERT_GT(out.at(rampFrames / 2, 0), 0.2f);
        ASSERT_LT(out.at(rampFrames / 2, 0), 0.3f);
        for (int k = 1; k < rampFrames; ++k) {
            const float step = out.at(k - 1, 0) - out.at(k, 0);
            ASSERT_NEAR(step, 0.5f / float(rampFrames), 1e-4f) << k;
        }
        EXPECT_EQ(out.at(rampFrames + 10, 0), 0.0f);
    }
}

TEST_F(OfflineEngineTest, ReplacingAPlayingBufferSilencesItWithoutAClick)
{
    const QString file = wav("dc.wav", dc(0.5f));
    engine->InitChannels(0, file);
    engine->SetChannelVolume(0, 100);
    engine->PlayChannel(0, 1);
    render(100);
    engine->LoadBuffer(0, wav("dc2.wav", dc(0.25f)));
    EXPECT_FALSE(engine->status(0).playing);
    Signal out = render(1000);
    EXPECT_GT(out.at(0, 0), 0.45f);
    for (int k = 1; k < rampFrames; ++k)
        ASSERT_LE(std::fabs(out.at(k, 0) - out.at(k - 1, 0)), 0.5f / rampFrames + 1e-4f) << k;
    for (qint64 k = rampFrames; k < out.frames(); ++k)
        ASSERT_EQ(out.at(k, 0), 0.0f) << k;
    // The new buffer plays only when asked, at full volume from its first frame.
    engine->PlayChannel(0, 1);
    out = render(10);
    EXPECT_FLOAT_EQ(out.at(0, 0), 0.25f);
}

TEST_F(OfflineEngineTest, LevelChangesOfASoundingVoiceRamp)
{
    engine->InitChannels(0, wav("dc.wav", dc(0.5f)));
    engine->SetChannelVolume(0, 100);
    engine->PlayChannel(0, 1);
    render(100);
    engine->SetChannelVolume(0, 0);
    const Signal out = render(1000);
    const float step = 0.5f / rampFrames + 1e-4f;
    EXPECT_LT(out.at(0, 0), 0.5f);
    EXPECT_GT(out.at(0, 0), 0.5f - 2 * step);
    for (int k = 1; k < rampFrames; ++k)
        ASSERT_LE(std::fabs(out.at(k, 0) - out.at(k - 1, 0)), step) << k;
    EXPECT_NEAR(db(out.at(rampFrames + 10, 0) / 0.5), -60.0, 0.02);
}

TEST_F(OfflineEngineTest, AFailedLoadKeepsTheOldBufferAndPlayPlaysIt)
{
    const QString good = wav("good.wav", dc(0.5f));
    engine->InitChannels(1, good);
    engine->SetChannelVolume(1, 100);
    engine->SetChannelPan(1, 35);

    // Damaged and foreign files, each made beside the good one.
    const QString text = dir.filePath("text.wav");
    QFile t(text);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("this is not a sound at all, only some words in a file");
    t.close();
    const QString truncated = wav("truncated.wav", dc(0.25f));
    ASSERT_TRUE(QFile::resize(truncated, QFileInfo(truncated).size() / 2));
    const QString empty = wav("empty.wav", dc(0.25f, 0));
    const QString aiff = wav("aiff.wav", dc(0.25f), SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const QString flac = wav("flac.wav", dc(0.25f), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const QString three = wav("three.wav", dc(0.25f, 1000, 3));
    const QString headerOnly = dir.filePath("header.wav");
    {
        QFile g(good), h(headerOnly);
        ASSERT_TRUE(g.open(QIODevice::ReadOnly) && h.open(QIODevice::WriteOnly));
        h.write(g.read(30));
    }

    for (const QString& bad : { dir.filePath("missing.wav"), text, truncated, empty, aiff, flac,
             three, headerOnly, dir.path() }) {
        SCOPED_TRACE(bad.toStdString());
        engine->LoadBuffer(1, bad);
        const DX7Sound::ChannelStatus st = engine->status(1);
        EXPECT_EQ(st.file.toStdString(), good.toStdString());
        EXPECT_EQ(st.volume, 0);
        EXPECT_EQ(st.pan, -1500);
    }
    // PlayFile with a file that fails plays what the channel held, with its values.
    EXPECT_TRUE(engine->PlayFile(1, dir.filePath("missing.wav"), 100, 50, 1));
    const Signal out = render(256);
    EXPECT_FLOAT_EQ(out.at(0, 0), 0.5f);
    EXPECT_NEAR(db(out.at(0, 1) / 0.5), -15.0, 0.02);
}

TEST_F(OfflineEngineTest, ASlotThatNeverLoadedStaysEmpty)
{
    engine->InitChannels(3, dir.filePath("missing.wav"));
    for (qint16 ch = 0; ch <= 3; ++ch) {
        const DX7Sound::ChannelStatus st = engine->status(ch);
        EXPECT_TRUE(st.exists);
        EXPECT_FALSE(st.Loaded);
        EXPECT_EQ(st.volume, 0) << "SetChannelVolume ignores an empty slot";
        EXPECT_TRUE(engine->PlayChannel(ch, 1)) << "nothing to play is not an error";
        EXPECT_TRUE(engine->StopChannel(ch));
        EXPECT_FALSE(engine->status(ch).playing);
    }
    const Signal out = render(256);
    EXPECT_EQ(SoundTestKit::peak(out, 0), 0.0f);
    // Loaded is never cleared once set, even by a later failed load.
    engine->LoadBuffer(2, wav("dc.wav", dc(0.5f)));
    engine->LoadBuffer(2, dir.filePath("missing.wav"));
    EXPECT_TRUE(engine->status(2).Loaded);
}

TEST_F(OfflineEngineTest, ChannelsOutsideTheTableAreErrorsOrIgnored)
{
    const QString file = wav("dc.wav", dc(0.5f));
    // Before the table exists every channel is outside it.
    EXPECT_FALSE(engine->PlayChannel(0, 1));
    EXPECT_FALSE(engine->status(0).exists);
    engine->InitChannels(10, file);
    for (qint16 ch : { qint16(-1), qint16(11), qint16(32767), qint16(-32768) }) {
        SCOPED_TRACE(ch);
        engine->LoadBuffer(ch, file);
        engine->LoadFile(ch, file, 40, 20);
        engine->SetChannelVolume(ch, 10);
        engine->SetChannelPan(ch, 10);
        EXPECT_FALSE(engine->PlayChannel(ch, 1));
        EXPECT_FALSE(engine->StopChannel(ch));
        EXPECT_FALSE(engine->PlayFile(ch, file, 50, 50, 1));
        EXPECT_FALSE(engine->status(ch).exists);
    }
    const Signal out = render(256);
    EXPECT_EQ(SoundTestKit::peak(out, 0), 0.0f);
    // Re-creating the table discards every slot.
    engine->InitChannels(1, dir.filePath("missing.wav"));
    EXPECT_FALSE(engine->status(0).Loaded);
    EXPECT_FALSE(engine->status(2).exists);
    // A negative highest index gives an empty table.
    engine->InitChannels(-1, file);
    EXPECT_FALSE(engine->status(0).exists);
    EXPECT_FALSE(engine->PlayChannel(0, 1));
}

TEST_F(OfflineEngineTest, StartUpPreloadsElevenChannelsAtLevel80)
{
    const QString file = wav("default.wav", dc(0.5f, 100));
    engine->InitChannels(10, file);
    for (qint16 ch = 0; ch <= 10; ++ch) {
        const DX7Sound::ChannelStatus st = engine->status(ch);
        EXPECT_TRUE(st.Loaded) << ch;
        EXPECT_EQ(st.volume, -1200) << ch;
        EXPECT_EQ(st.frames, 100) << ch;
        EXPECT_FALSE(st.playing) << ch;
    }
}

TEST_F(OfflineEngineTest, MonoPlaysEquallyOnBothSides)
{
    engine->InitChannels(0, wav("mono.wav", dc(0.5f, 1000, 1)));
    engine->SetChannelVolume(0, 100);
    engine->PlayChannel(0, 1);
    const Signal out = render(256);
    EXPECT_FLOAT_EQ(out.at(3, 0), 0.5f);
    EXPECT_FLOAT_EQ(out.at(3, 1), 0.5f);
}

TEST_F(OfflineEngineTest, OtherRatesAreConvertedOnceAtLoad)
{
    const Signal tone = SoundTestKit::sine(1000, 1.0, 48000, 2, 0.5);
    engine->InitChannels(0, wav("tone48.wav", tone, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    EXPECT_EQ(engine->status(0).frames, 44100);
    engine->SetChannelVolume(0, 100);
    engine->PlayChannel(0, 0);
    const Signal out = render(44100);
    for (int side : { 0, 1 }) {
        EXPECT_NEAR(SoundTestKit::toneFrequency(out, side, 1000, 43000), 1000.0, 0.5);
        EXPECT_NEAR(
            SoundTestKit::rmsDb(out, side, 1000, 43000), 20 * std::log10(0.5 / M_SQRT2), 0.05);
    }
}

TEST_F(OfflineEngineTest, ALostDeviceIsReopenedByTheNextPlayWithItsChannelsKept)
{
    engine->InitChannels(1, wav("dc.wav", dc(0.5f)));
    engine->SetChannelPan(1, 35);
    engine->PlayChannel(1, 1);
    render(100);
    device->simulateLoss();
    // The engine notices at its next call and closes the lost device.
    engine->SetChannelVolume(1, 40);
    EXPECT_FALSE(engine->deviceOpen());
    EXPECT_EQ(devicesMade, 1);
    EXPECT_TRUE(engine->PlayChannel(1, 1));
    EXPECT_TRUE(engine->deviceOpen());
    EXPECT_EQ(devicesMade, 2);
    const DX7Sound::ChannelStatus st = engine->status(1);
    EXPECT_TRUE(st.playing);
    EXPECT_EQ(st.volume, -3600);
    EXPECT_EQ(st.pan, -1500);
    // The voice was sounding when the device went: the new level ramps in as on any voice.
    const Signal out = render(rampFrames + 256);
    EXPECT_NEAR(db(out.at(0, 0) / 0.5), -12.0, 0.5);
    EXPECT_NEAR(db(out.at(rampFrames + 10, 0) / 0.5), -36.0, 0.02);
    EXPECT_NEAR(db(out.at(rampFrames + 10, 1) / 0.5), -51.0, 0.02);
}

TEST(SoundEngineWithoutDevice, ComesUpAndEveryOperationDoesNothing)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("dc.wav");
    ASSERT_TRUE(SoundTestKit::writeWav(file, SoundTestKit::sine(440, 0.1)));
    int attempts = 0;
    DX7Sound::Engine engine([&attempts] {
        ++attempts;
        return std::unique_ptr<DX7Sound::AudioDevice>();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(engine.InitDirectSound());
    engine.InitChannels(10, file);
    engine.SetChannelVolume(0, 80);
    for (qint16 ch = 0; ch <= 10; ++ch)
        EXPECT_FALSE(engine.status(ch).Loaded) << ch;
    engine.LoadFile(0, file, 80, 35);
    EXPECT_FALSE(engine.status(0).Loaded);
    EXPECT_TRUE(engine.PlayFile(0, file, 80, 35, 1));
    EXPECT_TRUE(engine.PlayChannel(1, 1));
    EXPECT_TRUE(engine.StopChannel(2));
    EXPECT_FALSE(engine.PlayChannel(11, 1));
    EXPECT_FALSE(engine.status(0).playing);
    // Loads and plays look for a device again, but a burst of them not more than every 250 ms.
    EXPECT_GE(attempts, 1);
    EXPECT_LE(attempts, 1 + int(clock.elapsed() / 250)) << "a device is looked for too often";
}

// A start in step takes the loop phase of the voice it follows on the frame the start takes
// effect: its position modulo the started buffer's own loop length. A ramp's value tells the
// position of each frame; the followed voice sounds only left, the started one only right.
TEST_F(OfflineEngineTest, AStartInStepTakesTheOtherVoicesLoopPhase)
{
    constexpr double amplitude = 0.9;
    const auto valueAt = [](qint64 position, qint64 period) {
        return float(double(position % period + 1) / double(period) * amplitude);
    };
    const QString longLoop = wav("long.wav", SoundTestKit::ramp(3000, 3000, rate));
    const QString shortLoop = wav("short.wav", SoundTestKit::ramp(1000, 1000, rate));
    engine->InitChannels(2, shortLoop);
    engine->LoadFile(0, longLoop, 100, 0);
    engine->PlayChannel(0, 1);
    render(2500);

    engine->LoadFile(1, shortLoop, 100, 50);
    engine->SetChannelPan(1, 100);
    ASSERT_TRUE(engine->PlayChannelInStep(1, 1, 0));
    Signal out = render(600);
    EXPECT_NEAR(out.at(0, 0), valueAt(2500, 3000), 2e-4);
    EXPECT_NEAR(out.at(0, 1), valueAt(2500, 1000), 2e-4) << "2500 modulo the short loop";
    // Both wrap together from here on: the short one at 3000, as the long one does.
    EXPECT_NEAR(out.at(499, 1), valueAt(2999, 1000), 2e-4);
    EXPECT_NEAR(out.at(500, 1), valueAt(0, 1000), 2e-4);
    EXPECT_NEAR(out.at(500, 0), valueAt(0, 3000), 2e-4);

    // A voice that does not sound gives no phase: the start is at the buffer's first frame.
    engine->StopChannel(1);
    render(rampFrames + 10);
    engine->LoadFile(1, shortLoop, 100, 50);
    engine->SetChannelPan(1, 100);
    ASSERT_TRUE(engine->PlayChannelInStep(1, 1, 2));
    out = render(10);
    EXPECT_NEAR(out.at(0, 1), valueAt(0, 1000), 2e-4);
}
