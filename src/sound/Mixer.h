#pragma once

#include "sound/AudioDevice.h"
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
// A table of `voices` silent voices without buffers, for a NewTable command. GUI thread.
VoiceTable* newVoiceTable(size_t voices);
// Frees a table that was never handed to the mixer, with the buffers it holds. GUI thread.
void deleteVoiceTable(VoiceTable* table);

struct MixerCommand
{
    enum Kind { SetBuffer, Play, Stop, SetGain, NewTable } kind = Play;
    int voice = 0;
    SoundBuffer* buffer = nullptr; // SetBuffer: the new buffer, owned by the mixer from now on
    VoiceTable* table = nullptr; // NewTable: the new table, owned by the mixer from now on
    bool loop = false; // Play
    // Play: a voice that sounds now gives the start its loop phase (its position, modulo this
    // voice's loop length, when the batch is applied); -1, or a voice that does not sound, plays
    // from the voice's own position.
    int stepWith = -1;
    StereoGain gain; // SetGain
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
};

// The mixer: a table of voices, one per channel slot, rendered on the audio thread and driven
// from the GUI thread through batches. A buffer still being decoded plays as far as it is ready:
// a voice that catches up with its decoder plays silence while its position advances, and a loop
// wraps at the buffer's loop length, which becomes the true length once decoding ends. Level and
// pan changes of a sounding voice ramp over rampMs; a stop, and a buffer replaced while sounding,
// fade out over rampMs; a start plays its first frame at the full set gain. A stopped voice keeps
// its position where its sound ceased (the end of the fade) and plays on from there; a new buffer
// starts at its first frame; a one-shot that ran to its end plays again from the start.
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

private:
    struct Garbage
    {
        Batch* batch = nullptr;
        SoundBuffer* buffer = nullptr;
    };
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
};

} // namespace DX7Sound
