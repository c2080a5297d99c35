// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace DX7Sound {

// Tempo and key of what plays: tempo in percent of the recorded tempo, key in semitones.
struct TempoKey
{
    static constexpr int minTempo = 50;
    static constexpr int maxTempo = 200;
    static constexpr int minSemitones = -12;
    static constexpr int maxSemitones = 12;

    int tempoPercent = 100;
    int semitones = 0;

    // The recorded tempo and key, which plays the source untouched. Any thread.
    bool original() const { return tempoPercent == 100 && semitones == 0; }
    // This value with both fields clamped to their ranges. Any thread.
    TempoKey clamped() const;
    friend bool operator==(const TempoKey&, const TempoKey&) = default;
};

// The output length of a loop of `loopFrames` source frames at `tempoPercent`:
// round(loopFrames * 100 / tempoPercent), at least 1. Any thread.
std::int64_t scaledLoopFrames(std::int64_t loopFrames, int tempoPercent);

// Where a stage reads its source: a loop of frames(), channels() channels, read a stretch at a
// time. The stage calls it from whichever thread pulls frames from the stage (the audio thread
// in the player), so readFrames() must neither block nor allocate.
class LoopSource
{
public:
    virtual ~LoopSource() = default;
    // Frames in one pass of the loop (> 0). Stage's pulling thread.
    virtual std::int64_t frames() const = 0;
    // Channels per frame, as the stage was built for. Stage's pulling thread.
    virtual int channels() const = 0;
    // Writes `count` frames starting at `first` (first + count <= frames()) into the
    // de-interleaved arrays `out[channel]`. Stage's pulling thread.
    virtual void readFrames(std::int64_t first, int count, float* const* out) const = 0;
};

// One voice's tempo and key stage: plays a source loop at a tempo and key, producing output
// frames on demand, for the thread that renders (the audio thread) to mix.
//
// At the original tempo and key it copies the source as it is, sample for sample, with no
// processing. Otherwise Rubber Band's real-time stretcher runs in the pulling thread, fed with
// the source loop round and round (so the seam at the wrap is processed like any other frame),
// primed in advance with silence so that the first output frame is the source's first frame.
//
// The output-domain loop is M = scaledLoopFrames(N, tempo) frames: phase() counts output frames
// modulo M, and the stretcher runs at the time ratio M / N, so the content comes round once per
// M output frames on average, with no drift. Stages with the same loop length that are driven
// with the same calls produce their content on the same output frames whatever the content is:
// the stretcher's hop timing depends on the ratio alone.
//
// A change of tempo or key takes effect at a chosen output frame: into and out of the original
// tempo the stage cross-fades over fadeFrames() between the source and the stretcher, starting
// the stretcher at the content position of the phase; between two processed settings the
// stretcher glides to the new ratio without a gap. Leaving the original tempo by schedule()
// primes the stretcher in the pulling thread, and a key change there can make Rubber Band's
// resampler allocate a new filter; prepareTakeover() does either beforehand, in a second stage
// that replaces the first on the frame of the change. Tempo changes between processed settings
// by schedule() neither allocate nor prime.
//
// Memory: everything is allocated by the constructor and prepare(); pull() itself does not
// allocate, lock or call the system, and Rubber Band's real-time mode processes in buffers sized
// at construction (with the block size passed to setMaxProcessSize), except for the resampler
// filter that a key change may rebuild (see above).
class TimeStretch
{
public:
    // Rubber Band's engines; the player uses the default, the benchmarks compare them.
    enum class Engine {
        Faster, // R2: the older phase vocoder
        Finer, // R3 with its standard (multi-resolution) windows
        FinerShort // R3 with a single short window: lower latency and far less work
    };
    static constexpr Engine defaultEngine = Engine::FinerShort;

    // A stage for `channels` channels at `rate` frames per second, pulled typically in blocks of
    // `maxBlock` frames (larger pulls are split). Allocates the stretcher and all working buffers.
    // Any thread but the one that pulls; the stage is then handed over (it owns no thread).
    TimeStretch(int rate, int channels, int maxBlock, Engine engine = defaultEngine);
    ~TimeStretch();
    TimeStretch(const TimeStretch&) = delete;
    TimeStretch& operator=(const TimeStretch&) = delete;

    // Starts the loop over at its first frame with `setting`: the next pulled frame is source
    // frame 0 as heard at that tempo and key. `source` is not owned and must outlive its use by
    // the stage; its channel count must match the stage's. At a processed setting this feeds the
    // stretcher its start pad and discards its start delay, so the work happens here, not in
    // the first pull. Any one thread at a time, before pulls or in the pulling thread.
    void prepare(const LoopSource* source, TempoKey setting);
    // Prepares the stage to take over a voice that plays `source` at its frame `sourceFrame`
    // (see contentFrame()): the next pulled frame is that frame at `setting`, with the
    // stretcher already primed on the frames before it; phase() starts at that content
    // position. With `fadeFromSource` the stage cross-fades from the untouched copy into the
    // setting over fadeFrames() (a voice leaving the original tempo); without it the caller
    // cross-fades from the stage it replaces. This is how a voice leaves the original tempo or
    // changes key without priming in the pulling thread (a few milliseconds of work per
    // stage) and without Rubber Band's resampler building a new filter there (it allocates on
    // some key changes). Threads as for prepare().
    void prepareTakeover(const LoopSource* source, TempoKey setting, std::int64_t sourceFrame,
        bool fadeFromSource = true);

    // Schedules `setting` to take effect at output frame `atFrame` (counted from prepare(),
    // see position()); an earlier frame than the next one pulled means the next one. A
    // schedule() replaces one not yet reached. Pulling thread.
    void schedule(TempoKey setting, std::int64_t atFrame) noexcept;

    // Writes exactly `frames` interleaved output frames to `out`, overwriting it.
    // Without a source, writes silence. Pulling thread. The stage's own code never allocates or
    // locks here; Rubber Band may on a key change (see above).
    void pull(float* out, int frames) noexcept;

    // Output frames pulled since prepare(). Pulling thread.
    std::int64_t position() const noexcept { return m_position; }
    // The output-domain loop phase: output frames since the loop's last wrap, in [0, loopFrames()).
    // Pulling thread.
    std::int64_t phase() const noexcept { return m_phase; }
    // The source frame whose sound the next pulled frame carries: the phase mapped back into
    // the source loop (within the stretcher's placement of a few milliseconds). Pulling thread.
    std::int64_t contentFrame() const noexcept { return m_phase * m_loopIn / m_loopOut; }
    // Source frames per pass of the loop (N). Pulling thread.
    std::int64_t sourceFrames() const noexcept { return m_loopIn; }
    // The output-domain loop length at the setting in force. Pulling thread.
    std::int64_t loopFrames() const noexcept { return m_loopOut; }
    // The setting in force for the next pulled frame. Pulling thread.
    TempoKey setting() const noexcept { return m_setting; }
    // Whether the stretcher still makes (or fades) the output; false once the stage is a plain
    // copy again after a change to the original tempo and key. Pulling thread.
    bool processing() const noexcept { return m_stretching; }
    // Length of the cross-fade into and out of the original tempo and key, in frames. Any thread.
    int fadeFrames() const noexcept { return m_fadeFrames; }
    // Output frames the stretcher holds back: how long a processed change takes to be heard,
    // beyond the block it lands in. Pulling thread (or any, while none pulls).
    int latencyFrames() const noexcept;

private:
    void reset(const LoopSource* source, TempoKey setting, std::int64_t sourceFrame);
    void apply(TempoKey setting) noexcept;
    void startStretcher(std::int64_t sourceFrame, bool silenceBefore) noexcept;
    void feed(int frames) noexcept;
    void pullStretched(int frames) noexcept;
    void pullDirect(int frames) noexcept;
    void advance(int frames) noexcept;

    int m_channels;
    int m_fadeFrames;
    std::unique_ptr<RubberBand::RubberBandStretcher> m_stretcher;
    const LoopSource* m_source = nullptr;
    std::int64_t m_loopIn = 1; // N: source frames per pass
    std::int64_t m_loopOut = 1; // M: output frames per pass at the setting in force
    TempoKey m_setting;
    bool m_stretching = false; // the stretcher produces the output
    std::int64_t m_position = 0; // output frames since prepare()
    std::int64_t m_phase = 0; // output frames since the last wrap, < m_loopOut
    std::int64_t m_feedPos = 0; // next source frame to feed the stretcher
    std::int64_t m_directPos = 0; // next source frame of the untouched copy
    // Cross-fade: frames left, and whether the stretcher fades in (else out).
    int m_fadeLeft = 0;
    bool m_fadeIn = false;
    // A scheduled change.
    bool m_pending = false;
    TempoKey m_pendingSetting;
    std::int64_t m_pendingAt = 0;
    // Working buffers, de-interleaved, m_scratchFrames frames per channel.
    int m_scratchFrames;
    std::vector<float> m_in;
    std::vector<float> m_out;
    std::vector<float> m_direct;
    std::vector<float*> m_inPtr;
    std::vector<float*> m_outPtr;
    std::vector<float*> m_directPtr;
};

} // namespace DX7Sound
