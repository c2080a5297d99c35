// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/WavLoader.h"

#include "app/FileNames.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sndfile.h>
#include <soxr.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace DX7Sound {

namespace {

constexpr int minRate = 1000;
constexpr int maxRate = 768000;
// Source frames per decoding step: small enough that a cancel is noticed within a millisecond
// or so, large enough that the per-call costs vanish.
constexpr qint64 chunkFrames = 8192;

std::atomic<int> g_live { 0 };
// Decoding steps a job takes before the next job's turn: about three seconds of sound,
// so that several loads and the frees between them advance together.
constexpr int stepsPerTurn = 16;

bool isWavContainer(int format)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

// Sources of 16 bits or fewer are kept as 16-bit integers: half the memory of float, and the
// same values the file holds (a converted rate rounds once, 96 dB below full scale).
bool fitsInt16(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_GSM610:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_G721_32:
    case SF_FORMAT_G723_24:
    case SF_FORMAT_G723_40:
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_DWVW_16:
        return true;
    default:
        return false;
    }
}

// libsndfile plays a file whose data ends early as far as it goes; its log tells. A declared
// size of 0xFFFFFFFF is a header a streaming writer never finished, not a damaged file.
bool dataCutShort(SNDFILE* f)
{
    std::vector<char> log(32768, '\0');
    sf_command(f, SFC_GET_LOG_INFO, log.data(), int(log.size() - 1));
    static const QRegularExpression re(
        QStringLiteral("data\\s*:\\s*(\\d+)\\s*\\(should be (\\d+)\\)"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(log.data()));
    if (!m.hasMatch())
        return false;
    const qint64 declared = m.captured(1).toLongLong();
    const qint64 present = m.captured(2).toLongLong();
    return declared > present && declared != 0xFFFFFFFFLL;
}

struct SndFileCloser
{
    void operator()(SNDFILE* f) const { sf_close(f); }
};

struct SoxrDeleter
{
    void operator()(soxr_t s) const { soxr_delete(s); }
};

// Non-finite samples become silence and floats stay within full scale, so a damaged float file
// can neither poison the mix nor exceed the level of any other phrase.
inline float clean(float x)
{
    if (!std::isfinite(x))
        return 0.0f;
    return std::clamp(x, -1.0f, 1.0f);
}

inline std::int16_t toInt16(float x)
{
    const float v = std::nearbyint(clean(x) * 32768.0f);
    return std::int16_t(std::clamp(v, -32768.0f, 32767.0f));
}

// Decodes one file into one buffer, step by step; first on the GUI thread (the first part),
// then on the worker thread, never on both at once.
class Decoder
{
public:
    Decoder(SNDFILE* file, const SF_INFO& info, int outRate, SoundBuffer* buffer)
        : m_file(file)
        , m_channels(info.channels)
        , m_sourceFrames(info.frames)
        , m_buffer(buffer)
        , m_progress(buffer->writableProgress())
    {
        if (info.samplerate == outRate)
            return;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t err = nullptr;
        m_soxr.reset(soxr_create(double(info.samplerate), double(outRate), unsigned(m_channels),
            &err, &io, &quality, nullptr));
        if (err || !m_soxr) {
            m_soxr.reset();
            m_failed = true;
            return;
        }
        const double ratio = double(outRate) / info.samplerate;
        m_in.resize(size_t(chunkFrames) * size_t(m_channels));
        m_out.resize(size_t(std::ceil(double(chunkFrames) * ratio) + 1024) * size_t(m_channels));
    }

    bool done() const { return m_done; }
    qint64 written() const { return m_written; }

    // One decoding step; ends decoding (and publishes the true length) when the source or the
    // buffer is used up.
    void step()
    {
        if (m_done)
            return;
        if (m_failed) {
            finish();
            return;
        }
        if (m_soxr)
            stepConverted();
        else
            stepDirect();
    }

    // Ends decoding where it stands (a cancel): nothing more will be written.
    void abandon()
    {
        if (!m_done) {
            m_progress->cutShort.store(true, std::memory_order_relaxed);
            m_progress->finished.store(true, std::memory_order_release);
            m_done = true;
        }
    }

private:
    void publish() { m_progress->ready.store(m_written, std::memory_order_release); }

    void stepDirect()
    {
        const qint64 want = std::min(chunkFrames, m_buffer->capacity() - m_written);
        const size_t at = size_t(m_written) * size_t(m_channels);
        sf_count_t got = 0;
        if (m_buffer->sample() == SoundBuffer::Sample::Int16) {
            got = sf_readf_short(m_file.get(), m_buffer->int16Data() + at, want);
        } else {
            float* dst = m_buffer->floatData() + at;
            got = sf_readf_float(m_file.get(), dst, want);
            for (sf_count_t i = 0; i < got * m_channels; ++i)
                dst[i] = clean(dst[i]);
        }
        if (got > 0) {
            m_written += got;
            publish();
        }
        if (got < want)
            m_sourceEnded = true;
        if (m_written >= m_buffer->capacity() || m_sourceEnded)
            finish();
    }

    void stepConverted()
    {
        if (!m_sourceEnded) {
            const qint64 want = std::min(chunkFrames, m_sourceFrames - m_read);
            const sf_count_t got = want > 0 ? sf_readf_float(m_file.get(), m_in.data(), want) : 0;
            m_read += got;
            if (got < want || m_read >= m_sourceFrames)
                m_sourceEnded = true;
            size_t used = 0;
            const float* in = m_in.data();
            size_t left = size_t(got);
            // With room for the whole converted chunk, libsoxr takes all of it at once; the loop
            // only guards against a partial take.
            do {
                size_t outDone = 0;
                if (soxr_process(m_soxr.get(), in, left, &used, m_out.data(),
                        m_out.size() / size_t(m_channels), &outDone)) {
                    m_failed = true;
                    break;
                }
                append(outDone);
                in += used * size_t(m_channels);
                left -= used;
            } while (left > 0 && used > 0);
        } else {
            // The source is used up: drain what libsoxr still holds.
            size_t outDone = 0;
            if (soxr_process(m_soxr.get(), nullptr, 0, nullptr, m_out.data(),
                    m_out.size() / size_t(m_channels), &outDone)) {
                m_failed = true;
            }
            append(outDone);
            if (outDone == 0 || m_failed)
                finish();
            return;
        }
        if (m_failed || m_written >= m_buffer->capacity())
            finish();
    }

    void append(size_t frames)
    {
        const qint64 room = m_buffer->capacity() - m_written;
        const qint64 n = std::min<qint64>(qint64(frames), room);
        if (n <= 0)
            return;
        const size_t at = size_t(m_written) * size_t(m_channels);
        const size_t count = size_t(n) * size_t(m_channels);
        if (m_buffer->sample() == SoundBuffer::Sample::Int16) {
            std::int16_t* dst = m_buffer->int16Data() + at;
            for (size_t i = 0; i < count; ++i)
                dst[i] = toInt16(m_out[i]);
        } else {
            float* dst = m_buffer->floatData() + at;
            for (size_t i = 0; i < count; ++i)
                dst[i] = clean(m_out[i]);
        }
        m_written += n;
        publish();
    }

    // The source is used up or failed. A conversion of a whole file may come out a few frames
    // short of the rounded length; those are padded with silence so the loop keeps its duration.
    // A source that ended before its header said (truncated, changed on disk, unreadable) keeps
    // what was decoded: the loop length becomes that.
    void finish()
    {
        const qint64 cap = m_buffer->capacity();
        const bool whole = !m_failed
            && (m_written >= cap || (m_soxr && m_read >= m_sourceFrames && m_written >= cap - 64));
        if (whole && m_written < cap) {
            const size_t at = size_t(m_written) * size_t(m_channels);
            const size_t count = size_t(cap - m_written) * size_t(m_channels);
            if (m_buffer->sample() == SoundBuffer::Sample::Int16)
                std::fill_n(m_buffer->int16Data() + at, count, std::int16_t(0));
            else
                std::fill_n(m_buffer->floatData() + at, count, 0.0f);
            m_written = cap;
            publish();
        }
        m_progress->cutShort.store(!whole, std::memory_order_relaxed);
        m_progress->length.store(m_written, std::memory_order_release);
        m_progress->finished.store(true, std::memory_order_release);
        m_file.reset();
        m_soxr.reset();
        m_done = true;
    }

    std::unique_ptr<SNDFILE, SndFileCloser> m_file;
    std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter> m_soxr;
    int m_channels;
    qint64 m_sourceFrames;
    SoundBuffer* m_buffer;
    std::shared_ptr<DecodeProgress> m_progress;
    std::vector<float> m_in;
    std::vector<float> m_out;
    qint64 m_read = 0; // source frames read (converted path)
    qint64 m_written = 0; // frames written into the buffer
    bool m_sourceEnded = false;
    bool m_failed = false;
    bool m_done = false;
};

} // namespace

// One job of the loader thread: the rest of a buffer to decode, a buffer to free, or a task.
struct LoaderJob
{
    SoundBuffer* buffer = nullptr;
    std::unique_ptr<Decoder> decoder; // empty: free the buffer (or run the task)
    std::function<void()> task;
    bool first = false; // given to runFirst()
};

struct Loader::Impl
{
    DecodeGate* gate = nullptr;
    mutable std::mutex mutex;
    std::condition_variable wake; // the thread: new jobs, a gate opened, the end
    std::condition_variable stepDone; // a buffer being destroyed: its running step ended
    std::deque<LoaderJob> jobs; // under mutex
    std::deque<LoaderJob> held; // decodings the gate holds back; under mutex
    SoundBuffer* running = nullptr; // the buffer whose step runs now; under mutex
    bool runningFree = false; // the running job frees; under mutex
    bool stopping = false; // under mutex
    std::thread thread;

    void run()
    {
        // Low priority: decoding ahead never competes with the window or the audio thread.
        setpriority(PRIO_PROCESS, id_t(::gettid()), 10);
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty())
                return; // stopping, and nothing is left to free
            LoaderJob job = std::move(jobs.front());
            jobs.pop_front();
            running = job.buffer;
            runningFree = !job.decoder;
            lock.unlock();
            bool again = false;
            if (job.task)
                job.task();
            else if (job.decoder)
                again = decodeTurn(job);
            else
                delete job.buffer; // its decoding ended before this job ran
            lock.lock();
            running = nullptr;
            runningFree = false;
            if (job.decoder) {
                if (again && stopping) {
                    job.decoder->abandon();
                    again = false;
                }
                if (again) {
                    const bool allowed
                        = !gate || gate->allows(job.decoder->written()) || job.buffer->cancelled();
                    (allowed ? jobs : held).push_back(std::move(job));
                } else {
                    job.buffer->m_decoder.store(nullptr, std::memory_order_release);
                    Decoder* done = job.decoder.release();
                    lock.unlock();
                    delete done; // closes the file: not under the lock
                    lock.lock();
                }
            }
            stepDone.notify_all();
        }
    }

    // A few steps of one decoding. True when it is to go on later.
    bool decodeTurn(LoaderJob& job)
    {
        Decoder& decoder = *job.decoder;
        for (int i = 0; i < stepsPerTurn && !decoder.done(); ++i) {
            if (job.buffer->cancelled()) {
                decoder.abandon();
                return false;
            }
            if (gate && !gate->allows(decoder.written()))
                return true;
            decoder.step();
        }
        return !decoder.done();
    }

    // Held decodings go back to the queue (the gate may allow them now). Under mutex.
    void recheckHeld()
    {
        while (!held.empty()) {
            jobs.push_back(std::move(held.front()));
            held.pop_front();
        }
        wake.notify_one();
    }

    // The decoding job of `buffer`, taken out of the queue, after its running step (if any)
    // ended. Under mutex (through `lock`).
    std::unique_ptr<Decoder> takeDecoding(SoundBuffer* buffer, std::unique_lock<std::mutex>& lock)
    {
        stepDone.wait(lock, [&] { return running != buffer || runningFree; });
        for (auto* queue : { &jobs, &held }) {
            for (auto it = queue->begin(); it != queue->end(); ++it) {
                if (it->buffer == buffer && it->decoder) {
                    std::unique_ptr<Decoder> d = std::move(it->decoder);
                    queue->erase(it);
                    return d;
                }
            }
        }
        return nullptr;
    }
};

void DecodeGate::reopened()
{
    if (m_wake)
        m_wake();
}

Loader::Loader(DecodeGate* gate)
    : d(std::make_unique<Impl>())
{
    d->gate = gate;
    if (gate) {
        gate->m_wake = [impl = d.get()] {
            std::lock_guard lock(impl->mutex);
            impl->recheckHeld();
        };
    }
    d->thread = std::thread([impl = d.get()] { impl->run(); });
}

Loader::~Loader()
{
    std::deque<LoaderJob> dropped;
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
        // Decodings end where they stand; frees still run.
        std::deque<LoaderJob> frees;
        for (auto* queue : { &d->jobs, &d->held }) {
            for (LoaderJob& job : *queue) {
                // Its buffer may be freed by a queued free as soon as the lock is let go.
                if (job.decoder)
                    job.buffer->m_decoder.store(nullptr, std::memory_order_release);
                (job.decoder ? dropped : frees).push_back(std::move(job));
            }
        }
        d->jobs = std::move(frees);
        d->held.clear();
        d->wake.notify_one();
    }
    d->thread.join();
    // Their buffers' progress ends where it stands (the decoder holds that, not the buffer).
    for (LoaderJob& job : dropped)
        job.decoder->abandon();
    if (d->gate)
        d->gate->m_wake = nullptr;
}

void Loader::dispose(SoundBuffer* buffer)
{
    if (!buffer)
        return;
    buffer->cancel();
    std::lock_guard lock(d->mutex);
    // Behind its own decoding job, which the cancel ends at its next turn.
    d->recheckHeld();
    d->jobs.push_back(LoaderJob { buffer, nullptr, {} });
}

void Loader::runFirst(std::function<void()> task)
{
    std::lock_guard lock(d->mutex);
    // Behind the tasks already waiting at the front, ahead of the decodings and frees.
    auto it = d->jobs.begin();
    while (it != d->jobs.end() && it->first)
        ++it;
    LoaderJob job;
    job.task = std::move(task);
    job.first = true;
    d->jobs.insert(it, std::move(job));
    d->wake.notify_one();
}

std::function<void()> Loader::takeFirstTask()
{
    std::lock_guard lock(d->mutex);
    if (d->jobs.empty() || !d->jobs.front().first)
        return {};
    std::function<void()> task = std::move(d->jobs.front().task);
    d->jobs.pop_front();
    return task;
}

void Loader::runLater(std::function<void()> task)
{
    std::lock_guard lock(d->mutex);
    LoaderJob job;
    job.task = std::move(task);
    d->jobs.push_back(std::move(job));
    d->wake.notify_one();
}

int Loader::pendingJobs() const
{
    std::lock_guard lock(d->mutex);
    return int(d->jobs.size() + d->held.size()) + (d->running ? 1 : 0);
}

SoundBuffer::SoundBuffer(Sample sample, int channels, qint64 frames)
    : m_sample(sample)
    , m_channels(channels)
    , m_capacity(frames)
{
    // Not zeroed: pages are touched only as decoding fills them, and a load costs no more for a
    // long phrase than for a short one.
    m_data = std::malloc(size_t(std::max<qint64>(bytes(), 1)));
    if (!m_data)
        throw std::bad_alloc();
    m_progress->length.store(frames, std::memory_order_relaxed);
    g_live.fetch_add(1, std::memory_order_relaxed);
}

SoundBuffer::~SoundBuffer()
{
    cancel();
    if (Loader* loader = m_decoder.load(std::memory_order_acquire)) {
        // Destroyed while the loader still decodes it (a buffer never given to the mixer):
        // wait for the running step, if any, and drop the job.
        std::unique_ptr<Decoder> rest;
        {
            std::unique_lock lock(loader->d->mutex);
            rest = loader->d->takeDecoding(this, lock);
            m_decoder.store(nullptr, std::memory_order_release);
        }
        if (rest)
            rest->abandon();
    }
    std::free(m_data);
    g_live.fetch_sub(1, std::memory_order_relaxed);
}

qint64 SoundBuffer::bytes() const
{
    return m_capacity * m_channels * (m_sample == Sample::Int16 ? 2 : 4);
}

float SoundBuffer::at(qint64 frame, int side) const
{
    const size_t i = size_t(frame) * size_t(m_channels) + size_t(m_channels == 2 ? side : 0);
    return m_sample == Sample::Int16 ? float(int16Data()[i]) / 32768.0f : floatData()[i];
}

std::unique_ptr<SoundBuffer> loadWav(
    const QString& file, int deviceRate, Loader& loader, LoadRefusal* refusal)
{
    if (deviceRate < minRate || deviceRate > maxRate)
        return nullptr;
    // Non-blocking, so a FIFO or a device node in the sound directory cannot hang the window;
    // only regular files are sounds.
    const int fd
        = ::open(Commands::NativePath(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    SF_INFO info {};
    std::unique_ptr<SNDFILE, SndFileCloser> f(sf_open_fd(fd, SFM_READ, &info, SF_TRUE));
    if (!f)
        return nullptr;
    if (!isWavContainer(info.format) || info.channels < 1 || info.channels > 2 || info.frames <= 0
        || info.samplerate < minRate || info.samplerate > maxRate || dataCutShort(f.get()))
        return nullptr;

    // The output length is the input length scaled by the rate ratio, rounded, so a loop keeps
    // its duration. Lengths no memory could hold stop here, before the sums could overflow.
    constexpr double absurdFrames = double(qint64(1) << 50);
    if (double(info.frames) * deviceRate / info.samplerate > absurdFrames)
        return nullptr;
    const qint64 frames = info.samplerate == deviceRate
        ? qint64(info.frames)
        : qint64(std::llround(double(info.frames) * deviceRate / info.samplerate));
    if (frames <= 0)
        return nullptr;
    const SoundBuffer::Sample sample
        = fitsInt16(info.format) ? SoundBuffer::Sample::Int16 : SoundBuffer::Sample::Float;
    const qint64 bytes = frames * info.channels * (sample == SoundBuffer::Sample::Int16 ? 2 : 4);
    const auto refuse = [&] {
        if (refusal)
            *refusal = LoadRefusal { true, frames, deviceRate, bytes };
        return nullptr;
    };
    // A damaged or hostile header that promises days of sound ends here too, before any memory
    // is taken: the size is the header's promise.
    if (bytes > maxDecodedBytes())
        return refuse();

    std::unique_ptr<SoundBuffer> buffer;
    std::unique_ptr<Decoder> decoder;
    try {
        buffer = std::make_unique<SoundBuffer>(sample, info.channels, frames);
        decoder = std::make_unique<Decoder>(f.release(), info, deviceRate, buffer.get());
    } catch (const std::bad_alloc&) {
        return refuse();
    }

    const qint64 firstPart = qint64(firstPartSeconds * deviceRate);
    while (!decoder->done() && decoder->written() < firstPart)
        decoder->step();
    const DecodeProgress& p = buffer->progress();
    // A file found short already in its first part is refused as a whole (the slot keeps what
    // it had); one that ends early later plays what was decoded.
    if (p.ready.load() == 0 || (p.finished.load() && p.cutShort.load()))
        return nullptr;
    if (!decoder->done()) {
        std::lock_guard lock(loader.d->mutex);
        buffer->m_decoder.store(&loader, std::memory_order_release);
        loader.d->jobs.push_back(LoaderJob { buffer.get(), std::move(decoder), {} });
        loader.d->wake.notify_one();
    }
    return buffer;
}

qint64 maxDecodedBytes()
{
    static const qint64 limit = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        if (pages <= 0 || pageSize <= 0)
            return qint64(1) << 30;
        return qint64(pages) * qint64(pageSize) / 4;
    }();
    return limit;
}

int liveSoundBuffers()
{
    return g_live.load();
}

} // namespace DX7Sound
