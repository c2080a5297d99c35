// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/AudioDevice.h"
#include "sound/Realtime.h"

#include <QTimer>
#include <atomic>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_sink_info;
struct pa_mainloop_api;

namespace DX7Sound {

// The default sink of a PulseAudio server (or PipeWire's PulseAudio service), through libpulse's
// asynchronous API on a threaded main loop. Stereo float32 at the sink's rate.
//
// The main loop's thread is the audio thread: it renders in the server's write requests. It asks
// RealtimeKit for real-time scheduling once it runs. No call waits on the server without a
// deadline: open() waits a short time for the stream, and when a server is there but does not
// answer in time, it returns with the stream still being set up in the background (at the asked
// rate, or fallbackRate when none was asked), which sounds once the server answers. The destructor
// plays out the buffered sound for at most drainMs, then closes whatever the server does.
//
// The stream starts with a small buffer; every underrun the server reports raises it by a step,
// up to maxLatencyMs, never below the start. After corkAfterMs of nothing sounding (the source
// says so) the stream is corked, so that neither this process nor the server works while all is
// silent; wake() resumes it.
//
// The audio thread only decides: it renders, counts, and raises atomic flags. Corking and the
// latency changes, which make libpulse allocate, are carried out on the GUI thread by a timer
// that runs while the stream plays (never while it is corked). wake() takes the main loop's lock
// only to uncork a corked stream; while the stream runs, new commands reach the source's own
// lock-free queue and the next write request renders them.
//
// GUI thread for everything but the callbacks and the statistics, which any thread may read.
class PulseDevice : public AudioDevice
{
public:
    // The buffer and timing choices, in milliseconds.
    struct Tuning
    {
        int startLatencyMs = 20; // target latency of a new stream
        int stepLatencyMs = 10; // raise after an underrun
        int maxLatencyMs = 60; // never raised above this
        int corkAfterMs = 3000; // silence before the stream is corked
        int restLatencyMs = 2000; // asked while corked, so that the sink may sleep
        int answerMs = 1000; // open(0): wait this long for the server's rate
        int reopenAnswerMs = 200; // open(rate): wait this long for the stream
        int fallbackRate = 48000; // open(0) without an answer: the rate to ask for
        int drainMs = 400; // destructor: longest play-out of the buffered sound
    };

    // How the last open() ended.
    enum class OpenResult {
        NotTried,
        Opened, // the stream is ready
        Pending, // a server is there but has not answered yet: the stream comes when it does
        NoServer, // nothing listens: another output may be tried
        Failed, // the server refused the connection or the stream (no sink)
    };

    // A device with the usual tuning, or with `tuning` (tests and benchmarks).
    PulseDevice();
    explicit PulseDevice(Tuning tuning);
    ~PulseDevice() override;
    PulseDevice(const PulseDevice&) = delete;
    PulseDevice& operator=(const PulseDevice&) = delete;

    bool open(int preferredRate) override;
    int sampleRate() const override { return m_rate; }
    bool start(RenderSource* source, std::function<void()> lost) override;
    // Uncorks a corked stream; its buffer (silence by then) is dropped so that the next sound
    // is heard at once.
    void wake() override;

    // GUI thread, after open().
    OpenResult lastOpen() const { return m_result; }
    // Underruns the server reported since open(). Any thread.
    int underruns() const { return m_underruns.load(); }
    // Target latency of the stream now, in frames. Any thread.
    int latencyFrames() const { return m_latencyFrames.load(); }
    // Whether the stream is corked now (silence). Any thread.
    bool corked() const { return m_corked.load(); }
    // Times the stream was corked since open(). Any thread.
    int corks() const { return m_corks.load(); }
    // Whether the stream is connected and ready. Any thread.
    bool streamReady() const { return m_ready.load(); }
    // The kernel thread id of the audio thread (0 until it is known). Any thread.
    long audioThreadId() const { return m_tid.load(); }
    // Times wake() took the main loop's lock (to uncork the stream). Any thread.
    int lockedWakes() const { return m_lockedWakes.load(); }

private:
    static void onContextState(pa_context* c, void* self);
    static void onSinkInfo(pa_context* c, const pa_sink_info* info, int eol, void* self);
    static void onStreamState(pa_stream* s, void* self);
    static void onWrite(pa_stream* s, size_t bytes, void* self) SORVANTO_NONBLOCKING;
    static void onUnderflow(pa_stream* s, void* self) SORVANTO_NONBLOCKING;
    static void onOnce(pa_mainloop_api* api, void* self);
    static void onDrained(pa_stream* s, int success, void* self);

    // Audio thread (main loop lock held).
    void createStream();
    void fail();
    // Main loop lock held, GUI or audio thread.
    void applyLatency();
    // GUI thread: carries out what the audio thread asked for (cork, latency).
    void serviceRequests();

    // Waits without the main loop lock until `done` or the deadline. GUI thread.
    template <typename Pred> bool waitUntil(int ms, Pred done);

    Tuning m_tuning;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    int m_rate = 0;
    OpenResult m_result = OpenResult::NotTried;
    std::function<void()> m_lost;

    std::atomic<RenderSource*> m_source { nullptr };
    std::atomic<bool> m_ready { false };
    std::atomic<bool> m_failed { false };
    std::atomic<bool> m_serverSeen { false }; // the connection got past the socket
    std::atomic<bool> m_started { false };
    std::atomic<bool> m_lostSent { false };
    std::atomic<bool> m_corked { false };
    std::atomic<bool> m_drained { false };
    std::atomic<int> m_underruns { 0 };
    std::atomic<int> m_corks { 0 };
    std::atomic<int> m_latencyFrames { 0 };
    std::atomic<long> m_tid { 0 };
    std::atomic<int> m_lockedWakes { 0 };
    long m_silentFrames = 0; // audio thread; GUI thread only under the lock while corked

    // Asked by the audio thread, carried out by the GUI thread's timer.
    std::atomic<bool> m_corkAsked { false };
    std::atomic<unsigned> m_corkAskedAt { 0 }; // m_wakes when the cork was asked for
    std::atomic<bool> m_latencyAsked { false };
    std::atomic<unsigned> m_wakes { 0 }; // wake() calls: commands that came since
    QTimer m_requests; // GUI thread; runs while the stream is started and not corked
};

} // namespace DX7Sound
