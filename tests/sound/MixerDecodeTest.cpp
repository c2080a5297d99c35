// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer over a buffer that is still being filled: only frames published as ready are ever
// heard, the position runs on through what is missing, and the loop follows the length as it
// becomes the true one. The buffer's memory is filled with a stale pattern beyond `ready` so
// that reading past it would show.

#include "sound/Mixer.h"
#include "sound/WavLoader.h"

#include <gtest/gtest.h>
#include <vector>

using namespace DX7Sound;

namespace {

class MixerOverPartialBuffer : public ::testing::Test
{
protected:
    static constexpr qint64 n = 1000;

    // Frame i holds (i + 1) / n * 0.5; mono or stereo, 16-bit or float.
    SoundBuffer* makeBuffer(SoundBuffer::Sample sample, int channels)
    {
        auto* b = new SoundBuffer(sample, channels, n);
        for (qint64 i = 0; i < n; ++i) {
            for (int c = 0; c < channels; ++c) {
                const float v = value(i);
                if (sample == SoundBuffer::Sample::Int16)
                    b->int16Data()[i * channels + c] = std::int16_t(v * 32768.0f);
                else
                    b->floatData()[i * channels + c] = v;
            }
        }
        b->writableProgress()->ready.store(100);
        return b;
    }
    static float value(qint64 i) { return float(i + 1) / float(n) * 0.5f; }

    void send(std::vector<MixerCommand> commands)
    {
        auto batch = std::make_unique<Batch>();
        batch->commands = std::move(commands);
        ASSERT_TRUE(mixer.publish(batch));
    }

    std::vector<float> render(int frames)
    {
        std::vector<float> out(size_t(frames) * 2);
        for (int done = 0; done < frames; done += 64)
            mixer.render(out.data() + 2 * std::ptrdiff_t(done), std::min(64, frames - done));
        mixer.collectGarbage();
        return out;
    }

    Mixer mixer { 44100 };
};

} // namespace

TEST_F(MixerOverPartialBuffer, PlaysOnlyWhatIsReadyAndKeepsThePositionRunning)
{
    for (auto sample : { SoundBuffer::Sample::Int16, SoundBuffer::Sample::Float }) {
        for (int channels : { 1, 2 }) {
            SCOPED_TRACE(std::to_string(int(sample)) + "/" + std::to_string(channels));
            SoundBuffer* b = makeBuffer(sample, channels);
            std::shared_ptr<DecodeProgress> progress = b->writableProgress();
            MixerCommand table;
            table.kind = MixerCommand::NewTable;
            table.table = newVoiceTable(1);
            MixerCommand set;
            set.kind = MixerCommand::SetBuffer;
            set.buffer = b;
            MixerCommand play;
            play.kind = MixerCommand::Play;
            play.loop = true;
            send({ table, set, play });
            std::vector<float> out = render(300);
            const float tol = sample == SoundBuffer::Sample::Int16 ? 1.0f / 32768 : 0.0f;
            for (qint64 k = 0; k < 100; ++k) {
                ASSERT_NEAR(out[size_t(2 * k)], value(k), tol) << k;
                ASSERT_NEAR(out[size_t(2 * k + 1)], value(k), tol) << k;
            }
            for (qint64 k = 100; k < 300; ++k)
                ASSERT_EQ(out[size_t(2 * k)], 0.0f) << k;
            // More arrives: playing goes on at frame 300, not where the silence began.
            progress->ready.store(n);
            out = render(10);
            EXPECT_NEAR(out[0], value(300), tol);
            // Decoding ends short: the loop wraps at the true end.
            progress->length.store(600);
            progress->finished.store(true);
            out = render(400);
            EXPECT_NEAR(out[size_t(2 * 289)], value(599), tol);
            EXPECT_NEAR(out[size_t(2 * 290)], value(0), tol);
            EXPECT_NEAR(out[2 * 399 + 1], value(109), tol);
            // A length cut below the position wraps at once instead of reading past it.
            progress->length.store(50);
            out = render(2);
            EXPECT_NEAR(out[0], value(0), tol);
        }
    }
}
