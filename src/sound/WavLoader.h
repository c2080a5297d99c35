#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

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

// One sound at the device rate, in the form the mixer reads: 16-bit integers for sources of 16
// bits or fewer, float otherwise; one channel for mono sources (the mixer spreads it to both
// sides), interleaved L R for stereo. The memory is sized from the header at load; a worker
// thread fills it behind the first part. Created on the GUI thread; read by the audio thread
// while a voice holds it; destroyed on the GUI thread (the destructor stops and joins the
// worker, which takes at most one decoding step).
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

    // GUI thread: the worker that decodes the rest. Set once by the loader.
    void attachWorker(std::thread worker) { m_worker = std::move(worker); }
    // Asks the worker to stop at its next step. Any thread.
    void cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancel.load(std::memory_order_relaxed); }

    QString file;

private:
    Sample m_sample;
    int m_channels;
    qint64 m_capacity;
    void* m_data = nullptr;
    std::shared_ptr<DecodeProgress> m_progress = std::make_shared<DecodeProgress>();
    std::atomic<bool> m_cancel { false };
    std::thread m_worker;
};

// The largest decoded size a sound may take in memory; a file that would need more fails to
// load.
constexpr qint64 maxDecodedBytes = qint64(1) << 30;
// Seconds decoded (and converted) before a load returns; the worker does the rest while these
// play.
constexpr double firstPartSeconds = 1.0;

// Opens a WAV file (RIFF WAVE, WAVE_FORMAT_EXTENSIBLE, RF64; any sample format libsndfile
// decodes), checks its header, decodes and converts the first part to `deviceRate` (libsoxr, high
// quality) and returns; a worker thread of low priority decodes the rest into the same buffer.
// Null for anything that cannot be loaded: missing, not a regular file, unreadable, not a WAV
// container, no frames, data shorter than the header says, absurd header values, more than two
// channels, a decoded size above maxDecodedBytes or beyond what memory gives. GUI thread.
std::unique_ptr<SoundBuffer> loadWav(const QString& file, int deviceRate);

// For tests: workers pause before decoding past `readyFrames` frames until released. Any thread.
void holdDecodingAt(qint64 readyFrames);
// For tests: lets every paused worker go on. Any thread.
void releaseDecoding();
// Number of sound buffers alive in the process (for tests and diagnostics). Any thread.
int liveSoundBuffers();

} // namespace DX7Sound
