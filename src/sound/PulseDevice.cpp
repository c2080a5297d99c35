// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/PulseDevice.h"
#include "sound/RealtimeKit.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <pulse/pulseaudio.h>
#include <thread>
#include <unistd.h>

namespace DX7Sound {

namespace {

constexpr size_t frameBytes = 2 * sizeof(float);
// Longest single render: keeps the mixer's batches applied at a fine grain when the server asks
// for a large block at once (a start fills the whole buffer).
constexpr size_t maxRenderFrames = 512;
// How often the GUI thread looks at what the playing audio thread asked for.
constexpr int requestsMs = 50;

const char* const appName = "Vorn's Sorvanto";
// The installed desktop file's and icon's name, so mixers show the menu entry's icon.
const char* const appId = "org.vorn.Sorvanto";

// The buffer for a target latency: the server asks for more once a quarter of it has played,
// and starts (or restarts after an underrun) only with a full buffer.
pa_buffer_attr bufferFor(int frames)
{
    pa_buffer_attr attr {};
    const uint32_t target = uint32_t(frames) * frameBytes;
    attr.tlength = target;
    attr.minreq = target / 4;
    attr.prebuf = target;
    attr.maxlength = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    return attr;
}

void unrefOp(pa_operation* op)
{
    if (op)
        pa_operation_unref(op);
}

} // namespace

PulseDevice::PulseDevice()
    : PulseDevice(Tuning {})
{ }

PulseDevice::PulseDevice(Tuning tuning)
    : m_tuning(tuning)
{
    m_requests.setInterval(requestsMs);
    QObject::connect(&m_requests, &QTimer::timeout, [this] { serviceRequests(); });
}

PulseDevice::~PulseDevice()
{
    m_requests.stop();
    if (!m_loop)
        return;
    bool draining = false;
    pa_threaded_mainloop_lock(m_loop);
    // A healthy, sounding stream plays out what it holds (the fade of a last stop); a corked,
    // failed or frozen one does not hold up the end.
    if (m_stream && m_ready && !m_failed && !m_corked && m_started) {
        pa_operation* op = pa_stream_drain(m_stream, &PulseDevice::onDrained, this);
        draining = op != nullptr;
        unrefOp(op);
    }
    pa_threaded_mainloop_unlock(m_loop);
    if (draining)
        waitUntil(m_tuning.drainMs, [this] { return m_drained.load() || m_failed.load(); });

    pa_threaded_mainloop_lock(m_loop);
    if (m_stream) {
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    pa_threaded_mainloop_unlock(m_loop);
    // The loop's thread only ever waits in poll(), which stop() interrupts: this never waits on
    // the server.
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
}

// The audio thread only raises atomics, so the GUI thread looks at them in short sleeps: a few
// times at open and close, never while the stream plays.
template <typename Pred> bool PulseDevice::waitUntil(int ms, Pred done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool PulseDevice::open(int preferredRate)
{
    if (m_loop)
        return false;
    m_rate = preferredRate > 0 ? preferredRate : 0;
    m_result = OpenResult::Failed;
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return false;
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, appName);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, appId);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, appId);
    m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), appName, props);
    pa_proplist_free(props);
    if (!m_context)
        return false;
    pa_context_set_state_callback(m_context, &PulseDevice::onContextState, this);
    // The server named by PULSE_SERVER or the session's; never start one of our own.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        m_result = OpenResult::NoServer;
        return false;
    }
    pa_threaded_mainloop_lock(m_loop);
    if (pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_unlock(m_loop);
        return false;
    }
    pa_mainloop_api_once(pa_threaded_mainloop_get_api(m_loop), &PulseDevice::onOnce, this);
    pa_threaded_mainloop_unlock(m_loop);

    const bool rateKnown = m_rate > 0;
    const bool answered = waitUntil(rateKnown ? m_tuning.reopenAnswerMs : m_tuning.answerMs,
        [this] { return m_ready.load() || m_failed.load(); });
    if (m_ready) {
        m_result = OpenResult::Opened;
        return true;
    }
    if (answered) {
        // Failed before the stream was ready: nobody listening, or the server said no.
        m_result = m_serverSeen ? OpenResult::Failed : OpenResult::NoServer;
        return false;
    }
    // A server that does not answer (stopped, overloaded) holds up neither the caller nor the
    // sound for good: the stream is set up whenever it answers, and `lost` tells if it never does.
    pa_threaded_mainloop_lock(m_loop);
    if (m_rate == 0)
        m_rate = m_tuning.fallbackRate;
    const bool failed = m_failed;
    pa_threaded_mainloop_unlock(m_loop);
    if (failed) {
        m_result = m_serverSeen ? OpenResult::Failed : OpenResult::NoServer;
        return false;
    }
    m_result = OpenResult::Pending;
    return true;
}

bool PulseDevice::start(RenderSource* source, std::function<void()> lost)
{
    if (!m_loop || (m_result != OpenResult::Opened && m_result != OpenResult::Pending))
        return false;
    pa_threaded_mainloop_lock(m_loop);
    m_lost = std::move(lost);
    m_source.store(source);
    m_started = true;
    const bool failed = m_failed;
    pa_threaded_mainloop_unlock(m_loop);
    if (failed)
        return false;
    waitUntil(50, [this] { return m_tid.load() != 0; });
    if (const long tid = m_tid.load())
        requestRealtime(tid);
    m_requests.start();
    return true;
}

void PulseDevice::wake()
{
    if (!m_loop)
        return;
    // Counted before the look at the cork: a cork asked for before these commands came is
    // dropped (serviceRequests runs on this thread too).
    m_wakes.fetch_add(1, std::memory_order_acq_rel);
    if (!m_corked.load(std::memory_order_acquire))
        return; // the running stream renders the new commands at its next request
    ++m_lockedWakes;
    pa_threaded_mainloop_lock(m_loop);
    if (m_stream && m_ready && m_corked) {
        m_corked = false;
        m_silentFrames = 0;
        // Back to the playing latency; the buffer holds silence by now: drop it, so the new sound
        // does not queue behind it. The server takes these in order.
        applyLatency();
        unrefOp(pa_stream_flush(m_stream, nullptr, nullptr));
        unrefOp(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    }
    pa_threaded_mainloop_unlock(m_loop);
    m_requests.start();
}

void PulseDevice::serviceRequests()
{
    const bool cork = m_corkAsked.load(std::memory_order_acquire);
    const bool latency = m_latencyAsked.exchange(false, std::memory_order_acq_rel);
    if (!m_loop || (!cork && !latency))
        return;
    pa_threaded_mainloop_lock(m_loop);
    if (m_stream && m_ready && !m_corked) {
        if (latency)
            applyLatency();
        // Only when no command came since the audio thread found everything silent.
        if (cork && m_corkAskedAt.load(std::memory_order_acquire) == m_wakes.load()) {
            m_corked = true;
            ++m_corks;
            unrefOp(pa_stream_cork(m_stream, 1, nullptr, nullptr));
            // A corked stream's short latency would still keep the sink waking every few
            // milliseconds.
            const pa_buffer_attr rest
                = bufferFor(int(int64_t(m_tuning.restLatencyMs) * m_rate / 1000));
            unrefOp(pa_stream_set_buffer_attr(m_stream, &rest, nullptr, nullptr));
        }
    }
    // The audio thread may ask again (under the lock it is not running).
    if (cork)
        m_corkAsked.store(false, std::memory_order_release);
    pa_threaded_mainloop_unlock(m_loop);
    if (m_corked)
        m_requests.stop();
}

void PulseDevice::onOnce(pa_mainloop_api*, void* self)
{
    auto* d = static_cast<PulseDevice*>(self);
    d->m_tid.store(long(::gettid()));
}

void PulseDevice::onContextState(pa_context* c, void* self)
{
    auto* d = static_cast<PulseDevice*>(self);
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_AUTHORIZING:
    case PA_CONTEXT_SETTING_NAME:
        d->m_serverSeen = true;
        break;
    case PA_CONTEXT_READY:
        d->m_serverSeen = true;
        if (d->m_rate > 0) {
            d->createStream();
        } else {
            // The rate of the default sink, so that the server does not resample.
            pa_operation* op = pa_context_get_sink_info_by_name(
                c, "@DEFAULT_SINK@", &PulseDevice::onSinkInfo, self);
            if (!op)
                d->fail();
            unrefOp(op);
        }
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        d->fail();
        break;
    default:
        break;
    }
}

void PulseDevice::onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* self)
{
    auto* d = static_cast<PulseDevice*>(self);
    if (info && d->m_rate == 0)
        d->m_rate = int(info->sample_spec.rate);
    if (eol == 0)
        return;
    if (d->m_rate <= 0) {
        d->fail(); // no default sink
        return;
    }
    d->createStream();
}

void PulseDevice::createStream()
{
    if (m_stream)
        return;
    pa_sample_spec spec {};
    spec.format = PA_SAMPLE_FLOAT32NE;
    spec.rate = uint32_t(m_rate);
    spec.channels = 2;
    pa_channel_map map;
    pa_channel_map_init_stereo(&map);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    pa_proplist_sets(props, PA_PROP_MEDIA_ICON_NAME, appId);
    m_stream = pa_stream_new_with_proplist(m_context, "Phrases", &spec, &map, props);
    pa_proplist_free(props);
    if (!m_stream) {
        fail();
        return;
    }
    pa_stream_set_state_callback(m_stream, &PulseDevice::onStreamState, this);
    pa_stream_set_write_callback(m_stream, &PulseDevice::onWrite, this);
    pa_stream_set_underflow_callback(m_stream, &PulseDevice::onUnderflow, this);
    m_latencyFrames = int(int64_t(m_tuning.startLatencyMs) * m_rate / 1000);
    const pa_buffer_attr attr = bufferFor(m_latencyFrames);
    // ADJUST_LATENCY: the target is the whole way to the speaker, the sink's own buffer included.
    if (pa_stream_connect_playback(
            m_stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr)
        < 0)
        fail();
}

void PulseDevice::onStreamState(pa_stream* s, void* self)
{
    auto* d = static_cast<PulseDevice*>(self);
    switch (pa_stream_get_state(s)) {
    case PA_STREAM_READY:
        d->m_ready = true;
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        d->fail();
        break;
    default:
        break;
    }
}

void PulseDevice::fail()
{
    m_ready = false;
    m_failed = true;
    if (m_started && !m_lostSent.exchange(true) && m_lost)
        m_lost();
}

void PulseDevice::onWrite(pa_stream* s, size_t bytes, void* self) SORVANTO_NONBLOCKING
{
    auto* d = static_cast<PulseDevice*>(self);
    RenderSource* source = d->m_source.load(std::memory_order_acquire);
    while (bytes >= frameBytes) {
        void* data = nullptr;
        size_t n = std::min(bytes, maxRenderFrames * frameBytes);
        {
            // libpulse's zero-copy write: the only way to hand it the block is through its own
            // buffer, which it takes from its memory pool.
            [[maybe_unused]] LibraryCallScope library;
            if (pa_stream_begin_write(s, &data, &n) < 0 || !data)
                return;
        }
        const size_t frames = std::min(n, bytes) / frameBytes;
        if (frames == 0) {
            [[maybe_unused]] LibraryCallScope library; // gives that buffer back
            pa_stream_cancel_write(s);
            return;
        }
        auto* out = static_cast<float*>(data);
        bool sounding = false;
        // A corked stream's requests fill its resting buffer, which the next wake drops: the
        // source is not pulled, so that what it starts meanwhile is not lost with that buffer.
        if (source && !d->m_corked.load(std::memory_order_acquire)) {
            source->render(out, int(frames));
            sounding = source->sounding();
        } else {
            std::memset(out, 0, frames * frameBytes);
        }
        {
            // The write itself: queues the block for the server (the main loop sends it).
            [[maybe_unused]] LibraryCallScope library;
            pa_stream_write(s, data, frames * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
        }
        bytes -= frames * frameBytes;
        d->m_silentFrames = sounding ? 0 : d->m_silentFrames + long(frames);
    }
    if (d->m_silentFrames >= long(d->m_tuning.corkAfterMs) * d->m_rate / 1000
        && !d->m_corked.load(std::memory_order_acquire)
        && !d->m_corkAsked.load(std::memory_order_acquire)) {
        // Decided here, carried out on the GUI thread, unless commands came meanwhile.
        d->m_corkAskedAt.store(
            d->m_wakes.load(std::memory_order_acquire), std::memory_order_release);
        d->m_corkAsked.store(true, std::memory_order_release);
    }
}

void PulseDevice::onUnderflow(pa_stream*, void* self) SORVANTO_NONBLOCKING
{
    auto* d = static_cast<PulseDevice*>(self);
    ++d->m_underruns;
    const int cap = int(int64_t(d->m_tuning.maxLatencyMs) * d->m_rate / 1000);
    const int step = int(int64_t(d->m_tuning.stepLatencyMs) * d->m_rate / 1000);
    const int now = d->m_latencyFrames.load();
    if (now >= cap)
        return;
    // Decided here, set on the GUI thread.
    d->m_latencyFrames = std::min(cap, now + step);
    d->m_latencyAsked.store(true, std::memory_order_release);
}

void PulseDevice::applyLatency()
{
    const pa_buffer_attr attr = bufferFor(m_latencyFrames);
    unrefOp(pa_stream_set_buffer_attr(m_stream, &attr, nullptr, nullptr));
}

void PulseDevice::onDrained(pa_stream*, int, void* self)
{
    auto* d = static_cast<PulseDevice*>(self);
    d->m_drained = true;
}

} // namespace DX7Sound
