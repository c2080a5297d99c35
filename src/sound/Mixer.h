// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/AudioDevice.h"
#include "sound/TimeStretch.h"
#include "sound/WavLoader.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace DX7Sound {

// The gains of a voice, from its volume and pan in hundredths of a decibel:
// gain = 10^(hundredths / 2000), -10000 is silence; a pan attenuates the opposite side by the
// same law and +-10000 silences it.
struct StereoGain
{
    float left = 1.0f;
    float right = 1.0f;
};
StereoGain gainsFor(int volume, int pan);

// A lock-free ring for one producer thread and one consumer thread, of trivially copyable items.
template <typename T, size_t Capacity> class SpscRing
{
public:
    // Producer side. False when full.
    bool push(const T& item)
    {
        const size_t w = m_write.load(std::memory_order_relaxed);
        if (w - m_read.load(std::memory_order_acquire) == Capacity)
            return false;
        m_items[w % Capacity] = item;
        m_write.store(w + 1, std::memory_order_release);
        return true;
    }
    // Producer side. True when push() would succeed.
    bool hasRoom() const
    {
        return m_write.load(std::memory_order_relaxed) - m_read.load(std::memory_order_acquire)
            < Capacity;
    }
    // Consumer side. False when empty.
    bool pop(T& item)
    {
        const size_t r = m_read.load(std::memory_order_relaxed);
        if (r == m_write.load(std::memory_order_acquire))
            return false;
        item = m_items[r % Capacity];
        m_read.store(r + 1, std::memory_order_release);
        return true;
    }
    // Consumer side. True when pop() would fail.
    bool empty() const
    {
        return m_read.load(std::memory_order_relaxed) == m_write.load(std::memory_order_acquire);
    }

private:
    std::array<T, Capacity> m_items {};
    alignas(64) std::atomic<size_t> m_write { 0 };
    alignas(64) std::atomic<size_t> m_read { 0 };
};

// One command to a voice. Buffers and tables travel as owning raw pointers: the GUI thread
// allocates them, the audio thread holds them, and sends them back in a Batch to be freed.
struct VoiceTable;
struct Voice;
class VoiceStage;
// A table of `voices` silent voices without buffers, for a NewTable command. GUI thread.
VoiceTable* newVoiceTable(size_t voices);
// Frees a table that was never handed to the mixer, with the buffers it holds. GUI thread.
void deleteVoiceTable(VoiceTable* table);

struct MixerCommand
{
    enum Kind { SetBuffer, Play, Stop, SetGain, NewTable, SetStage, SetTempo } kind = Play;
    int voice = 0;
    SoundBuffer* buffer = nullptr; // SetBuffer: the new buffer, owned by the mixer from now on
    VoiceTable* table = nullptr; // NewTable: the new table, owned by the mixer from now on
    // SetBuffer: the new buffer's tempo and key stage (null: plays untouched); SetStage: a stage
    // primed for the voice's buffer that takes over. Owned by the mixer from now on.
    VoiceStage* stage = nullptr;
    // SetStage: the output frame (see Mixer::clock()) at which a sounding voice hands over to
    // the stage, cross-fading; the period that holds it, or the next one when it has passed.
    std::int64_t at = -1;
    bool loop = false; // Play
    // Play: a voice that sounds now gives the start its loop phase (its position, modulo this
    // voice's loop length, when the batch is applied); -1, or a voice that does not sound, plays
    // from the voice's own position.
    int stepWith = -1;
    StereoGain gain; // SetGain
    TempoKey setting; // SetTempo: the voice's stage changes to it on the period's first frame
};

// A group of commands that the audio thread applies at the start of one period, all together.
// It travels to the audio thread and back; what the commands replaced (buffers, tables) comes
// back in it, so the GUI thread frees everything. The `released*` vectors are reserved before
// the batch is sent: the audio thread only appends within their capacity.
struct Batch
{
    std::vector<MixerCommand> commands;
    std::vector<SoundBuffer*> releasedBuffers;
    std::vector<VoiceTable*> releasedTables;
    std::vector<VoiceStage*> releasedStages;
};

// Where a voice stood after the last render call, for the GUI thread to foresee which source
// frame it plays at a later output frame: at output frame clock + d (d >= 0) a sounding voice
// plays source frame ((at + d) % loopOut) * loopIn / loopOut, a silent one at * loopIn / loopOut.
struct VoiceClock
{
    std::int64_t clock = 0; // output frames rendered so far
    std::int64_t at = 0; // the next frame: the buffer position, or a stage's loop phase
    std::int64_t loopOut = 1; // output frames per pass of the loop
    std::int64_t loopIn = 1; // source frames per pass
    bool sounding = false;
    bool staged = false; // a tempo and key stage plays the voice

    // The source frame the voice plays `ahead` output frames after `clock`. Any thread.
    std::int64_t sourceFrameAfter(std::int64_t ahead) const
    {
        const std::int64_t out = sounding ? (at + ahead) % loopOut : at;
        return out * loopIn / loopOut;
    }
};

// The mixer: a table of voices, one per channel slot, rendered on the audio thread and driven
// from the GUI thread through batches. A buffer still being decoded plays as far as it is ready:
// a voice that catches up with its decoder plays silence while its position advances, and a loop
// wraps at the buffer's loop length, which becomes the true length once decoding ends. Level and
// pan changes of a sounding voice ramp over rampMs; a stop, and a buffer replaced while sounding,
// fade out over rampMs; a start plays its first frame at the full set gain. A stopped voice keeps
// its position where its sound ceased (the end of the fade) and plays on from there; a new buffer
// starts at its first frame; a one-shot that ran to its end plays again from the start.
//
// A voice with a tempo and key stage (VoiceStage) renders through it: its loop lasts the stage's
// scaled length and a SetTempo command reaches every stage at the start of the same period. A
// stage handed over by SetStage takes over at its frame with a cross-fade of rampMs; a stage
// back at the original tempo and key is dropped once it has faded to the untouched copy, and the
// voice plays on from the same source frame without it, sample for sample as if it never had one.
class Mixer : public RenderSource
{
public:
    // Length of every gain ramp and fade-out, in milliseconds.
    static constexpr double rampMs = 5.0;

    // `rate`: frames per second of the output (for the ramp length). Replaced buffers are freed
    // by `loader`, which must outlive the mixer; without one, on the GUI thread.
    explicit Mixer(int rate, Loader* loader = nullptr);
    ~Mixer() override;
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Frames per second the mixer was set up for. Any thread.
    int rate() const { return m_rate; }
    // GUI thread, only while no device renders (between devices): changes the ramp length.
    void setRate(int rate);

    // GUI thread. Hands a batch to the audio thread; it applies the whole batch at the start of
    // one render call. False when the queue is full (the caller keeps the batch and retries).
    bool publish(std::unique_ptr<Batch>& batch);
    // GUI thread. Frees whatever the audio thread sent back (applied batches, faded-out buffers);
    // the buffers go to the loader, which stops their decoding and frees them, so the GUI thread
    // never waits for either.
    void collectGarbage();
    // GUI thread. Whether something still waits to be collected: what the audio thread sent back,
    // or (with `rendering`, a device pulling frames) batches and fading buffers that it has yet
    // to send back. Callers poll collectGarbage() only while this holds.
    bool holdsGarbage(bool rendering) const;
    // GUI thread, only while no device renders: applies every published batch at once, as a
    // render call would, and frees what they replaced.
    void applyPendingOffline();

    // Audio thread.
    void render(float* interleaved, int frames) noexcept SORVANTO_NONBLOCKING override;
    // Audio thread: whether a voice sounds or fades out.
    bool sounding() const noexcept SORVANTO_NONBLOCKING override;

    // Number of batches published and not yet applied (for tests).
    size_t pendingBatches() const;
    // Where voice `voice` stood after the last render call (a consistent snapshot). GUI thread.
    VoiceClock voiceClock(int voice) const;

    // Voices whose clock the audio thread publishes.
    static constexpr int clockedVoices = 32;

private:
    struct Garbage
    {
        Batch* batch = nullptr;
        SoundBuffer* buffer = nullptr;
        VoiceStage* stage = nullptr;
    };
    struct ClockSlot
    {
        std::atomic<std::int64_t> at { 0 };
        std::atomic<std::int64_t> loopOut { 1 };
        std::atomic<std::int64_t> loopIn { 1 };
        std::atomic<bool> sounding { false };
        std::atomic<bool> staged { false };
    };
    void publishClocks(std::int64_t clock) noexcept;
    bool takeOver(Voice& v) noexcept;
    void applyBatches() noexcept;
    void apply(Batch& batch, const MixerCommand& c) noexcept;
    void retire(SoundBuffer* buffer);
    void retire(VoiceTable* table);

    Loader* m_loader;
    int m_rate;
    int m_rampFrames;
    VoiceTable* m_table; // audio thread's; GUI thread only while no device renders
    SpscRing<Batch*, 256> m_toAudio;
    SpscRing<Garbage, 1024> m_toGui;
    std::atomic<size_t> m_published { 0 };
    std::atomic<size_t> m_applied { 0 };
    std::atomic<int> m_tails { 0 }; // replaced buffers fading out in the table (audio thread)
    // Voice clocks, written by the audio thread after each render under a sequence count (odd
    // while it writes), read by the GUI thread.
    std::atomic<unsigned> m_clockSeq { 0 };
    std::atomic<std::int64_t> m_clock { 0 };
    std::array<ClockSlot, clockedVoices> m_clocks;
};

} // namespace DX7Sound
