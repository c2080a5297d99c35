// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/TimeStretch.h"
#include "sound/WavLoader.h"

#include <cstdint>
#include <vector>

namespace DX7Sound {

// The tempo and key stage of one voice: a TimeStretch that reads the voice's SoundBuffer, and the
// scratch it renders a period into before the mixer applies the voice's gains. Built ahead (its
// construction is most of its cost), attached and primed on the loader thread, handed to the
// audio thread in a batch, freed on the GUI thread. It does not own the buffer, which must
// outlive it (the voice that holds both frees the stage first or with it).
class VoiceStage
{
public:
    // Frames the stage renders per pull at most; longer periods are pulled in turns.
    static constexpr int blockFrames = 1024;

    // A stage for `channels` channels at `rate` frames per second, not attached to a buffer
    // yet. Allocates everything it will use. Loader thread (any thread but the audio thread).
    VoiceStage(int channels, int rate);
    VoiceStage(const VoiceStage&) = delete;
    VoiceStage& operator=(const VoiceStage&) = delete;

    // Makes `buffer` (of channels() channels) the stage's source: a loop of the length its
    // header promises, or its true length once decoded. Loader thread, before priming.
    void attach(const SoundBuffer* buffer);
    // Primes the stage to start the loop at its first frame at `setting`. Loader thread.
    void primeAtStart(TempoKey setting);
    // Primes the stage to take over a voice whose next frame is source frame `sourceFrame`,
    // output at `setting` from its first pulled frame (the mixer cross-fades from what played).
    // Loader thread.
    void primeAt(TempoKey setting, std::int64_t sourceFrame);

    // The buffer the stage reads. Any thread.
    const SoundBuffer* buffer() const { return m_source.buffer; }
    // Channels of the buffer, and of what pull() writes. Any thread.
    int channels() const { return m_channels; }
    // Frames per second it was built for. Any thread.
    int rate() const { return m_rate; }
    // The stretch itself. Audio thread once handed over.
    TimeStretch& stretch() { return m_stretch; }
    const TimeStretch& stretch() const { return m_stretch; }
    // Renders `frames` (<= blockFrames) interleaved frames into scratch() and returns it. Audio
    // thread. Neither allocates nor locks (see TimeStretch::pull for Rubber Band's share).
    const float* pull(int frames) noexcept;

private:
    // The voice's buffer as a loop: its length as the header promises (the true length once
    // decoding ends, if that came first), and silence for frames not decoded yet, so the stage
    // never reads what the loader has still to write.
    struct BufferSource : LoopSource
    {
        const SoundBuffer* buffer = nullptr;
        std::int64_t length = 1;
        std::int64_t frames() const override { return length; }
        int channels() const override { return buffer->channels(); }
        void readFrames(std::int64_t first, int count, float* const* out) const override;
    };

    int m_channels;
    int m_rate;
    BufferSource m_source;
    TimeStretch m_stretch;
    std::vector<float> m_scratch;
};

} // namespace DX7Sound
