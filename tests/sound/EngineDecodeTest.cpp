// SPDX-License-Identifier: GPL-3.0-or-later
// The engine while files are still being decoded behind their first part: grouped starts, what
// plays where decoding lags, stop and restart, loop length at the true end, files cut short on
// disk, and buffers replaced (and freed) while they are being decoded.

#include "SoundEngineFixture.h"
#include "sound/Mixer.h"
#include "sound/WavLoader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>
#include <sndfile.h>

using SoundTestKit::Signal;

namespace {

const int rampFrames = int(std::lround(44100 * DX7Sound::Mixer::rampMs / 1000.0));

const qint64 firstPart = qint64(DX7Sound::firstPartSeconds * 44100);

} // namespace

class DecodingEngineTest : public OfflineEngineTest
{
protected:
    // Seconds of a float ramp whose every frame tells its position: frame i holds (i+1)/n * 0.9.
    QString longRamp(const QString& name, double seconds, Signal* signal = nullptr)
    {
        const qint64 n = qint64(seconds * rate);
        const Signal r = SoundTestKit::ramp(n, n, rate);
        if (signal)
            *signal = r;
        return wav(name, r, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    }

    // Lets the workers run and waits until none of `channels` is decoding any more.
    bool waitDecoded(std::initializer_list<qint16> channels)
    {
        gate.release();
        for (int i = 0; i < 6000; ++i) {
            bool busy = false;
            for (qint16 c : channels)
                busy = busy || engine->status(c).decoding;
            if (!busy)
                return true;
            QTest::qWait(10);
        }
        return false;
    }
};

TEST_F(DecodingEngineTest, GroupedStartsShareTheirFirstFrameAndLaggingDecodeIsSilenceInStep)
{
    Signal ramp;
    const QString a = longRamp("a.wav", 6, &ramp);
    const QString b = wav("b.wav", dc(0.25f, qint64(6) * rate));
    engine->InitChannels(2, dir.filePath("missing.wav"));
    DecodeHold::Scope hold(gate, firstPart);
    engine->LoadFile(0, a, 100, 0);
    engine->LoadFile(1, b, 100, 100);
    engine->SetChannelPan(1, 100);
    ASSERT_TRUE(engine->status(0).decoding);
    ASSERT_TRUE(engine->status(1).decoding);
    EXPECT_EQ(engine->status(0).frames, qint64(6) * rate) << "the length comes from the header";
    engine->PlayChannel(0, 1);
    engine->PlayChannel(1, 1);
    // Both start on the very first frame, each at full level.
    Signal out = render(qint64(4) * rate, 509);
    EXPECT_FLOAT_EQ(out.at(0, 0), ramp.at(0, 0));
    EXPECT_FLOAT_EQ(out.at(0, 1), 0.25f);
    // Then the decoded part, then exact silence where the workers are held: never stale data.
    const qint64 gap = SoundTestKit::onsetFrame(out, 1, 0.1f, 0) < 0 ? -1 : [&] {
        qint64 k = 0;
        while (k < out.frames() && out.at(k, 1) != 0.0f)
            ++k;
        return k;
    }();
    ASSERT_GE(gap, qint64(DX7Sound::firstPartSeconds * rate));
    ASSERT_LT(gap, qint64(3) * rate);
    for (qint64 k = 0; k < gap; ++k)
        ASSERT_FLOAT_EQ(out.at(k, 0), ramp.at(k, 0)) << k;
    for (qint64 k = gap; k < out.frames(); ++k) {
        ASSERT_EQ(out.at(k, 0), 0.0f) << k;
        ASSERT_EQ(out.at(k, 1), 0.0f) << k;
    }
    // Once decoded, each voice is where it would have been: positions advanced through silence.
    ASSERT_TRUE(waitDecoded({ 0, 1 }));
    out = render(rate / 2, 256);
    for (qint64 k = 0; k < out.frames(); ++k)
        ASSERT_FLOAT_EQ(out.at(k, 0), ramp.at(qint64(4) * rate + k, 0)) << k;
    EXPECT_FLOAT_EQ(out.at(100, 1), 0.25f);
}

TEST_F(DecodingEngineTest, StopAndPlayBeforeDecodingEndsKeepThePosition)
{
    Signal ramp;
    engine->InitChannels(0, dir.filePath("missing.wav"));
    DecodeHold::Scope hold(gate, firstPart);
    engine->LoadFile(0, longRamp("a.wav", 5, &ramp), 100, 50);
    engine->PlayChannel(0, 1);
    render(1000, 100);
    engine->StopChannel(0);
    render(rampFrames + 100);
    engine->PlayChannel(0, 1);
    Signal out = render(100);
    EXPECT_FLOAT_EQ(out.at(0, 0), ramp.at(1000 + rampFrames, 0));
    // Stopped in the part not yet decoded, then played again once it is.
    render(qint64(3) * rate);
    engine->StopChannel(0);
    render(rampFrames);
    ASSERT_TRUE(waitDecoded({ 0 }));
    engine->PlayChannel(0, 1);
    out = render(10);
    EXPECT_FLOAT_EQ(
        out.at(0, 0), ramp.at(1000 + rampFrames + 100 + qint64(3) * rate + rampFrames, 0));
}

TEST_F(DecodingEngineTest, ALongLoopWrapsExactlyAtItsTrueEnd)
{
    Signal ramp;
    const QString whole = longRamp("whole.wav", 7, &ramp);
    const QString cut = longRamp("cut.wav", 7);
    engine->InitChannels(1, dir.filePath("missing.wav"));
    const qint64 keep = qint64(5) * rate + 123;
    {
        DecodeHold::Scope hold(gate, firstPart);
        engine->LoadFile(0, whole, 100, 50);
        engine->LoadFile(1, cut, 100, 50);
        // Cut short on disk while decoding: the loop becomes what was there.
        const qint64 header = QFileInfo(cut).size() - qint64(7) * rate * 8;
        ASSERT_TRUE(QFile::resize(cut, header + keep * 8));
    }
    ASSERT_TRUE(waitDecoded({ 0, 1 }));
    EXPECT_EQ(engine->status(0).frames, qint64(7) * rate);
    EXPECT_EQ(engine->status(1).frames, keep);
    for (qint16 ch : { qint16(0), qint16(1) }) {
        SCOPED_TRACE(ch);
        const qint64 n = engine->status(ch).frames;
        engine->PlayChannel(ch, 1);
        const Signal out = render(n + n / 2, 997);
        engine->StopChannel(ch);
        render(rampFrames);
        for (qint64 k = n - 3000; k < n + 3000; ++k)
            ASSERT_FLOAT_EQ(out.at(k, 0), ramp.at(k % n, 0)) << "frame " << k;
        // The other channel was never started: its voice stays silent.
        engine->LoadBuffer(ch, dir.filePath("missing.wav"));
    }
}

TEST_F(DecodingEngineTest, ABufferReplacedWhileDecodingIsFreedPromptlyWithoutACall)
{
    engine->InitChannels(0, dir.filePath("missing.wav"));
    const QString first = longRamp("first.wav", 10);
    const QString second = longRamp("second.wav", 10);
    const int before = DX7Sound::liveSoundBuffers();
    DecodeHold::Scope hold(gate, firstPart);
    engine->LoadFile(0, first, 100, 50);
    engine->PlayChannel(0, 1);
    render(1000);
    EXPECT_EQ(DX7Sound::liveSoundBuffers(), before + 1);
    engine->LoadFile(0, second, 100, 50);
    EXPECT_TRUE(engine->status(0).decoding);
    // The old one fades out, goes back, and is freed with its worker stopped, by the event loop
    // alone: no engine call after the render.
    render(rampFrames + 256);
    bool freed = false;
    for (int i = 0; i < 200 && !freed; ++i) {
        QTest::qWait(5);
        freed = DX7Sound::liveSoundBuffers() == before + 1;
    }
    EXPECT_TRUE(freed) << DX7Sound::liveSoundBuffers() - before << " buffers alive";
    // The new one is untouched by the other's cancel and decodes to the end.
    ASSERT_TRUE(waitDecoded({ 0 }));
    EXPECT_EQ(engine->status(0).frames, qint64(10) * rate);
}
