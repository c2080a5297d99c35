// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace DX7Sound {

// How far the decoding of one sound has come. Shared by the buffer (written by its worker, read
// by the audio thread) and by whoever wants to watch it from the GUI thread. Any thread reads it.
struct DecodeProgress
{
    // Frames at the device rate that hold decoded sound; only grows, published with release
    // after the samples are written.
    std::atomic<qint64> ready { 0 };
    // The loop length: the length the header promises until decoding ends, then the true length
    // (shorter when the file ended early or a read failed part-way).
    std::atomic<qint64> length { 0 };
    // Decoding has ended, whether complete, cut short or cancelled.
    std::atomic<bool> finished { false };
    // Decoding ended before the length the header promised (a truncated or unreadable file).
    std::atomic<bool> cutShort { false };
};

// The largest decoded size one sound may take in memory: a quarter of the machine's physical
// memory, so that the three columns and a set being replaced still fit together (on 8 GB, 2 GB:
// four hours of mono 8-bit at 48 kHz, kept as 16-bit mono, is 1.4 GB). A file that would need
// more fails to load and says so through LoadRefusal. Any thread.
qint64 maxDecodedBytes();

// Why a load was refused for its size: the phrase needs more memory than maxDecodedBytes()
// allows, or than the system gives.
struct LoadRefusal
{
    bool tooLarge = false; // set when the load failed for its size
    qint64 frames = 0; // its length at the device rate
    int rate = 0; // the device rate it would be kept at
    qint64 bytes = 0; // the memory it would take
};
class Loader;

// One sound at the device rate, in the form the mixer reads: 16-bit integers for sources of 16
// bits or fewer, float otherwise; one channel for mono sources (the mixer spreads it to both
// sides), interleaved L R for stereo. The memory is sized from the header at load; the loader
// thread fills it behind the first part. It owns no thread. Created on the GUI thread; read by the
// audio thread while a voice holds it; destroyed on the GUI thread or the loader thread.
// Destroying one whose decoding has not ended waits at most for the loader's current turn; the
// engine never does that on the GUI thread (it hands replaced buffers to the loader to free).
class SoundBuffer
{
public:
    enum class Sample { Int16, Float };

    // `frames` frames of `channels` (1 or 2) channels of `sample`. Throws std::bad_alloc.
    SoundBuffer(Sample sample, int channels, qint64 frames);
    ~SoundBuffer();
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    Sample sample() const { return m_sample; }
    int channels() const { return m_channels; }
    // Frames the memory holds (the length the header promised). Any thread.
    qint64 capacity() const { return m_capacity; }
    // Bytes of sample memory. Any thread.
    qint64 bytes() const;
    const std::int16_t* int16Data() const { return static_cast<const std::int16_t*>(m_data); }
    const float* floatData() const { return static_cast<const float*>(m_data); }
    std::int16_t* int16Data() { return static_cast<std::int16_t*>(m_data); }
    float* floatData() { return static_cast<float*>(m_data); }
    // One sample as float in [-1, 1] (for tests and diagnostics; not the mixer's path). Any
    // thread, for frames below progress().ready.
    float at(qint64 frame, int side) const;

    // Frames decoded so far and the loop length. Any thread.
    const DecodeProgress& progress() const { return *m_progress; }
    std::shared_ptr<const DecodeProgress> sharedProgress() const { return m_progress; }
    std::shared_ptr<DecodeProgress> writableProgress() { return m_progress; }

    // Asks its decoding to stop at the next step. Any thread.
    void cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancel.load(std::memory_order_relaxed); }

private:
    friend class Loader;
    friend std::unique_ptr<SoundBuffer> loadWav(const QString&, int, Loader&, LoadRefusal*);
    Sample m_sample;
    int m_channels;
    qint64 m_capacity;
    void* m_data = nullptr;
    std::shared_ptr<DecodeProgress> m_progress = std::make_shared<DecodeProgress>();
    std::atomic<bool> m_cancel { false };
    // The loader that decodes the rest, until its job ends (written under the loader's lock).
    std::atomic<Loader*> m_decoder { nullptr };
};

// Decides, before each decoding step, whether a buffer may decode further: lets a caller hold
// decoding at a point of its choosing. Consulted on the loader thread; a job held back waits
// without costing the thread anything, and the other jobs go on.
class DecodeGate
{
public:
    virtual ~DecodeGate() = default;
    // Loader thread: whether a buffer that holds `written` decoded frames may decode more.
    virtual bool allows(qint64 written) const = 0;

protected:
    // Any thread: the answer of allows() may have changed; held jobs are looked at again.
    void reopened();

private:
    friend class Loader;
    std::function<void()> m_wake; // set by the loader that consults the gate
};

// The one loader thread of an engine (low priority) and its job queue: it decodes and converts
// what follows the first part of each load, in steps, taking turns between buffers, and it frees
// the buffers the engine no longer needs, so that neither costs the GUI thread a wait. A
// cancelled decoding is dropped at its next step. Created and destroyed on the GUI thread; the
// destructor drops the decodings still queued and frees what waits to be freed.
class Loader
{
public:
    // `gate`, when given, is consulted before every decoding step and must outlive the loader.
    explicit Loader(DecodeGate* gate = nullptr);
    ~Loader();
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    // GUI thread: frees `buffer` on the loader thread, after stopping its decoding. Never waits.
    void dispose(SoundBuffer* buffer);
    // Jobs queued or running (decodings and frees). Any thread.
    int pendingJobs() const;
    // GUI thread: runs `task` on the loader thread ahead of every queued decoding and free
    // (after the step that runs now). Tasks run in the order given, also when the loader is
    // being destroyed. Never waits.
    void runFirst(std::function<void()> task);
    // Any thread: takes the first task given to runFirst() that has not started yet, for the
    // caller to run itself instead (so two run at once); empty when there is none.
    std::function<void()> takeFirstTask();
    // Any thread: runs `task` on the loader thread after every job queued so far.
    void runLater(std::function<void()> task);

private:
    friend std::unique_ptr<SoundBuffer> loadWav(const QString&, int, Loader&, LoadRefusal*);
    friend class SoundBuffer;
    friend class DecodeGate;
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Seconds decoded (and converted) before a load returns; the worker does the rest while these
// play.
constexpr double firstPartSeconds = 1.0;

// Opens a WAV file (RIFF WAVE, WAVE_FORMAT_EXTENSIBLE, RF64; any sample format libsndfile
// decodes), checks its header, decodes and converts the first part to `deviceRate` (libsoxr, high
// quality) and returns; `loader` decodes the rest into the same buffer. The buffer may outlive
// the loader (its decoding then ends where it stands).
// Null for anything that cannot be loaded: missing, not a regular file, unreadable, not a WAV
// container, no frames, data shorter than the header says, absurd header values, more than two
// channels, a decoded size above maxDecodedBytes() or beyond what memory gives; for the last two
// `refusal` (when given) says so. GUI thread.
std::unique_ptr<SoundBuffer> loadWav(
    const QString& file, int deviceRate, Loader& loader, LoadRefusal* refusal = nullptr);
// Number of sound buffers alive in the process (for tests and diagnostics). Any thread.
int liveSoundBuffers();

} // namespace DX7Sound
