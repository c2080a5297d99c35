// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/Mixer.h"

#include "sound/ValueMappings.h"
#include "sound/VoiceStage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace DX7Sound {

namespace {

// A linear gain ramp of both sides toward a target.
struct Ramp
{
    float cur[2] = { 1.0f, 1.0f };
    float step[2] = { 0.0f, 0.0f };
    float target[2] = { 1.0f, 1.0f };
    int left = 0;

    void jump(StereoGain g)
    {
        cur[0] = target[0] = g.left;
        cur[1] = target[1] = g.right;
        left = 0;
    }
    void toward(StereoGain g, int frames)
    {
        target[0] = g.left;
        target[1] = g.right;
        left = std::max(1, frames);
        step[0] = (target[0] - cur[0]) / float(left);
        step[1] = (target[1] - cur[1]) / float(left);
    }
};

// A buffer being played: its position, looping and gain, and the stage it plays through.
struct Playhead
{
    SoundBuffer* buffer = nullptr;
    qint64 pos = 0; // without a stage; with one, the stage keeps the position
    bool loop = false;
    Ramp gain;
    VoiceStage* stage = nullptr;
    bool sharesBuffer = false; // a tail of a stage handover: the head still holds the buffer
};

enum class RunEnd { Running, RampDone, BufferDone };

// Frame `i` of a buffer of C channels as two floats; mono goes to both sides.
template <typename T, int C> inline void frameAt(const T* s, qint64 i, float& l, float& r) noexcept
{
    const std::ptrdiff_t at = std::ptrdiff_t(i) * C;
    if constexpr (std::is_same_v<T, std::int16_t>) {
        constexpr float k = 1.0f / 32768.0f;
        l = float(s[at]) * k;
        r = C == 2 ? float(s[at + 1]) * k : l;
    } else {
        l = s[at];
        r = C == 2 ? s[at + 1] : l;
    }
}

// Adds `frames` frames of the playhead into `out`. With `endWithRamp` it returns RampDone as soon
// as the ramp reaches its target (a fade-out: the rest of the period stays silent and the position
// stays where the sound ceased). A one-shot returns BufferDone at its last frame. Frames not yet
// decoded count as silence: the position and the ramp advance over them all the same, so a voice
// never falls out of step with the others and never plays what was not written.
template <typename T, int C>
RunEnd mixRunAs(const T* s, float* out, int frames, Playhead& p, bool endWithRamp) noexcept
{
    const DecodeProgress& progress = p.buffer->progress();
    const qint64 n = progress.length.load(std::memory_order_acquire);
    Ramp& g = p.gain;
    int i = 0;
    while (i < frames) {
        if (p.pos >= n) {
            if (!p.loop)
                return RunEnd::BufferDone;
            p.pos = 0;
        }
        int chunk = int(std::min<qint64>(frames - i, n - p.pos));
        if (g.left > 0)
            chunk = std::min(chunk, g.left);
        const qint64 ready = progress.ready.load(std::memory_order_acquire);
        const bool silent = p.pos >= ready;
        if (!silent)
            chunk = int(std::min<qint64>(chunk, ready - p.pos));
        float* dst = out + 2 * std::ptrdiff_t(i);
        if (g.left > 0) {
            float l = g.cur[0], r = g.cur[1];
            const float sl = g.step[0], sr = g.step[1];
            if (silent) {
                l += sl * float(chunk);
                r += sr * float(chunk);
            } else {
                for (std::ptrdiff_t k = 0; k < chunk; ++k) {
                    l += sl;
                    r += sr;
                    float a, b;
                    frameAt<T, C>(s, p.pos + k, a, b);
                    dst[2 * k] += a * l;
                    dst[2 * k + 1] += b * r;
                }
            }
            g.cur[0] = l;
            g.cur[1] = r;
            g.left -= chunk;
            if (g.left == 0) {
                g.cur[0] = g.target[0];
                g.cur[1] = g.target[1];
            }
            i += chunk;
            p.pos += chunk;
            if (g.left == 0 && endWithRamp)
                return RunEnd::RampDone;
            continue;
        }
        const float l = g.cur[0], r = g.cur[1];
        if (!silent && (l != 0.0f || r != 0.0f)) {
            for (std::ptrdiff_t k = 0; k < chunk; ++k) {
                float a, b;
                frameAt<T, C>(s, p.pos + k, a, b);
                dst[2 * k] += a * l;
                dst[2 * k + 1] += b * r;
            }
        }
        i += chunk;
        p.pos += chunk;
    }
    if (p.pos >= n && !p.loop)
        return RunEnd::BufferDone;
    return RunEnd::Running;
}

// mixRunAs for a voice that plays through its stage: the stage renders the frames (the decoder's
// progress is its business) and the ramp applies as for any voice. A one-shot ends when the
// stage's loop comes round.
template <int C> RunEnd mixStagedAs(float* out, int frames, Playhead& p, bool endWithRamp) noexcept
{
    TimeStretch& stretch = p.stage->stretch();
    Ramp& g = p.gain;
    int i = 0;
    while (i < frames) {
        int chunk = std::min(frames - i, VoiceStage::blockFrames);
        if (g.left > 0)
            chunk = std::min(chunk, g.left);
        if (!p.loop)
            chunk = int(std::min<qint64>(chunk, stretch.loopFrames() - stretch.phase()));
        const float* s = p.stage->pull(chunk);
        float* dst = out + 2 * std::ptrdiff_t(i);
        float l = g.cur[0], r = g.cur[1];
        const float sl = g.left > 0 ? g.step[0] : 0.0f, sr = g.left > 0 ? g.step[1] : 0.0f;
        for (std::ptrdiff_t k = 0; k < chunk; ++k) {
            l += sl;
            r += sr;
            float a, b;
            frameAt<float, C>(s, k, a, b);
            dst[2 * k] += a * l;
            dst[2 * k + 1] += b * r;
        }
        i += chunk;
        if (!p.loop && stretch.phase() == 0)
            return RunEnd::BufferDone;
        if (g.left > 0) {
            g.cur[0] = l;
            g.cur[1] = r;
            g.left -= chunk;
            if (g.left == 0) {
                g.cur[0] = g.target[0];
                g.cur[1] = g.target[1];
                if (endWithRamp)
                    return RunEnd::RampDone;
            }
        }
    }
    return RunEnd::Running;
}

RunEnd mixRun(float* out, int frames, Playhead& p, bool endWithRamp) noexcept
{
    const SoundBuffer& b = *p.buffer;
    const bool stereo = b.channels() == 2;
    if (p.stage) {
        return stereo ? mixStagedAs<2>(out, frames, p, endWithRamp)
                      : mixStagedAs<1>(out, frames, p, endWithRamp);
    }
    if (b.sample() == SoundBuffer::Sample::Int16) {
        return stereo ? mixRunAs<std::int16_t, 2>(b.int16Data(), out, frames, p, endWithRamp)
                      : mixRunAs<std::int16_t, 1>(b.int16Data(), out, frames, p, endWithRamp);
    }
    return stereo ? mixRunAs<float, 2>(b.floatData(), out, frames, p, endWithRamp)
                  : mixRunAs<float, 1>(b.floatData(), out, frames, p, endWithRamp);
}

qint64 lengthOf(const SoundBuffer* b) noexcept
{
    return b->progress().length.load(std::memory_order_acquire);
}

} // namespace

struct Voice
{
    Playhead head; // the slot's buffer
    StereoGain set; // gains of the slot's volume and pan
    bool sounding = false;
    bool stopping = false; // fading out after a stop
    Playhead tail; // a replaced buffer, or a replaced stage, fading out
    bool tailDone = false; // faded out, waiting for room in the queue back
    VoiceStage* next = nullptr; // a stage waiting to take over at frame nextAt
    std::int64_t nextAt = 0;
};

// The voices of the channel table. Destroyed on the GUI thread only, with every buffer it holds.
struct VoiceTable
{
    std::vector<Voice> voices;
    explicit VoiceTable(size_t n)
        : voices(n)
    { }
    ~VoiceTable()
    {
        for (Voice& v : voices) {
            delete v.head.stage;
            delete v.tail.stage;
            delete v.next;
            delete v.head.buffer;
            if (!v.tail.sharesBuffer)
                delete v.tail.buffer;
        }
    }
};

VoiceTable* newVoiceTable(size_t voices)
{
    return new VoiceTable(voices);
}

void deleteVoiceTable(VoiceTable* table)
{
    delete table;
}

StereoGain gainsFor(int volume, int pan)
{
    const auto law = GainOfHundredths;
    StereoGain g;
    const float v = law(std::min(volume, 0));
    g.left = g.right = v;
    if (pan < 0)
        g.right *= law(pan);
    else if (pan > 0)
        g.left *= law(-pan);
    return g;
}

Mixer::Mixer(int rate, Loader* loader)
    : m_loader(loader)
    , m_table(new VoiceTable(0))
{
    setRate(rate);
}

Mixer::~Mixer()
{
    // No device renders any more: whatever is queued either way is freed here.
    applyPendingOffline();
    collectGarbage();
    retire(m_table);
}

void Mixer::setRate(int rate)
{
    m_rate = rate;
    m_rampFrames = std::max(1, int(std::lround(rate * rampMs / 1000.0)));
}

bool Mixer::publish(std::unique_ptr<Batch>& batch)
{
    size_t buffers = 0, tables = 0, stages = 0;
    for (const MixerCommand& c : batch->commands) {
        buffers += c.kind == MixerCommand::SetBuffer;
        tables += c.kind == MixerCommand::NewTable;
        // A SetBuffer may release a head stage and a tail stage, a SetStage the stage it
        // replaces, a waiting one and itself.
        stages += c.kind == MixerCommand::SetBuffer ? 3 : c.kind == MixerCommand::SetStage ? 3 : 0;
    }
    batch->releasedBuffers.reserve(2 * buffers);
    batch->releasedTables.reserve(tables);
    batch->releasedStages.reserve(stages);
    if (!m_toAudio.push(batch.get()))
        return false;
    static_cast<void>(batch.release()); // the queue owns it now
    m_published.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void Mixer::collectGarbage()
{
    Garbage g;
    while (m_toGui.pop(g)) {
        if (g.batch) {
            for (SoundBuffer* b : g.batch->releasedBuffers)
                retire(b);
            for (VoiceTable* t : g.batch->releasedTables)
                retire(t);
            for (VoiceStage* st : g.batch->releasedStages)
                delete st;
            delete g.batch;
        }
        retire(g.buffer);
        delete g.stage;
    }
}

bool Mixer::holdsGarbage(bool rendering) const
{
    if (!m_toGui.empty())
        return true;
    return rendering && (pendingBatches() > 0 || m_tails.load(std::memory_order_acquire) > 0);
}

void Mixer::retire(SoundBuffer* buffer)
{
    if (!buffer)
        return;
    if (m_loader)
        m_loader->dispose(buffer);
    else
        delete buffer;
}

void Mixer::retire(VoiceTable* table)
{
    if (!table)
        return;
    for (Voice& v : table->voices) {
        delete v.head.stage;
        delete v.tail.stage;
        delete v.next;
        v.head.stage = v.tail.stage = v.next = nullptr;
        retire(v.head.buffer);
        if (!v.tail.sharesBuffer)
            retire(v.tail.buffer);
        v.head.buffer = v.tail.buffer = nullptr;
    }
    delete table;
}

void Mixer::applyPendingOffline()
{
    Batch* b = nullptr;
    while (m_toAudio.pop(b)) {
        for (const MixerCommand& c : b->commands)
            apply(*b, c);
        m_applied.fetch_add(1, std::memory_order_relaxed);
        for (SoundBuffer* x : b->releasedBuffers)
            retire(x);
        for (VoiceTable* t : b->releasedTables)
            retire(t);
        for (VoiceStage* st : b->releasedStages)
            delete st;
        delete b;
    }
    collectGarbage();
}

size_t Mixer::pendingBatches() const
{
    return m_published.load(std::memory_order_relaxed) - m_applied.load(std::memory_order_relaxed);
}

void Mixer::applyBatches() noexcept
{
    Batch* b = nullptr;
    // A batch is applied only when there is room to send it back, so nothing is ever dropped.
    while (m_toGui.hasRoom() && m_toAudio.pop(b)) {
        for (const MixerCommand& c : b->commands)
            apply(*b, c);
        m_applied.fetch_add(1, std::memory_order_relaxed);
        m_toGui.push(Garbage { b, nullptr });
    }
}

namespace {

// Hands what a fading tail holds back with `batch`: its stage, and its buffer unless the head
// still plays it.
void releaseTail(Batch& batch, Playhead& tail) noexcept
{
    if (tail.buffer && !tail.sharesBuffer)
        batch.releasedBuffers.push_back(tail.buffer);
    if (tail.stage)
        batch.releasedStages.push_back(tail.stage);
    tail = Playhead {};
}

} // namespace

void Mixer::apply(Batch& batch, const MixerCommand& c) noexcept
{
    if (c.kind == MixerCommand::NewTable) {
        int tails = 0;
        for (const Voice& v : m_table->voices)
            tails += v.tail.buffer != nullptr;
        m_tails.fetch_sub(tails, std::memory_order_release);
        batch.releasedTables.push_back(m_table);
        m_table = c.table;
        return;
    }
    if (c.voice < 0 || size_t(c.voice) >= m_table->voices.size()) {
        if (c.kind == MixerCommand::SetBuffer && c.buffer)
            batch.releasedBuffers.push_back(c.buffer);
        if (c.stage)
            batch.releasedStages.push_back(c.stage);
        return;
    }
    Voice& v = m_table->voices[size_t(c.voice)];
    switch (c.kind) {
    case MixerCommand::SetBuffer: {
        if (v.next) {
            batch.releasedStages.push_back(v.next);
            v.next = nullptr;
        }
        if (v.sounding) {
            // The old buffer fades out as a tail instead of being cut off.
            if (v.tail.buffer)
                releaseTail(batch, v.tail);
            else
                m_tails.fetch_add(1, std::memory_order_release);
            v.tail = v.head;
            v.tail.gain.toward({ 0.0f, 0.0f }, m_rampFrames);
            v.tailDone = false;
        } else {
            if (v.tail.buffer && v.tail.sharesBuffer) {
                // The rest of a handover's fade reads the buffer that goes now: it goes too.
                releaseTail(batch, v.tail);
                v.tailDone = false;
                m_tails.fetch_sub(1, std::memory_order_release);
            }
            if (v.head.buffer)
                batch.releasedBuffers.push_back(v.head.buffer);
            if (v.head.stage)
                batch.releasedStages.push_back(v.head.stage);
        }
        v.head = Playhead {};
        v.head.buffer = c.buffer;
        v.head.stage = c.stage;
        v.set = StereoGain {};
        v.head.gain.jump(v.set);
        v.sounding = v.stopping = false;
        break;
    }
    case MixerCommand::SetStage:
        if (v.next)
            batch.releasedStages.push_back(v.next);
        v.next = nullptr;
        if (!c.stage || !v.head.buffer || c.stage->buffer() != v.head.buffer) {
            if (c.stage)
                batch.releasedStages.push_back(c.stage); // primed for a buffer since replaced
        } else if (v.sounding && !v.stopping) {
            v.next = c.stage;
            v.nextAt = c.at;
        } else {
            if (v.head.stage)
                batch.releasedStages.push_back(v.head.stage);
            v.head.stage = c.stage;
        }
        break;
    case MixerCommand::Play:
        if (!v.head.buffer)
            break;
        v.head.loop = c.loop;
        if (v.sounding) {
            if (v.stopping) {
                v.stopping = false;
                v.head.gain.toward(v.set, m_rampFrames);
            }
        } else {
            if (v.head.pos >= lengthOf(v.head.buffer))
                v.head.pos = 0;
            if (c.stepWith >= 0 && c.stepWith != c.voice
                && size_t(c.stepWith) < m_table->voices.size()) {
                // Batches are applied before any voice is mixed, so both voices render this
                // period's frames from here on: the start is exact to the frame.
                const Voice& with = m_table->voices[size_t(c.stepWith)];
                const qint64 n = lengthOf(v.head.buffer);
                if (with.sounding && !with.stopping && with.head.buffer && n > 0)
                    v.head.pos = with.head.pos % n;
            }
            v.head.gain.jump(v.set);
            v.sounding = true;
        }
        break;
    case MixerCommand::Stop:
        if (v.sounding && !v.stopping) {
            v.stopping = true;
            v.head.gain.toward({ 0.0f, 0.0f }, m_rampFrames);
        }
        break;
    case MixerCommand::SetGain:
        v.set = c.gain;
        if (v.sounding && !v.stopping)
            v.head.gain.toward(v.set, m_rampFrames);
        else if (!v.sounding)
            v.head.gain.jump(v.set);
        break;
    case MixerCommand::SetTempo:
        // On the first frame of this period, as for every voice the batch changes.
        if (v.head.stage) {
            TimeStretch& st = v.head.stage->stretch();
            st.schedule(c.setting, st.position());
        }
        break;
    case MixerCommand::NewTable:
        break;
    }
}

bool Mixer::takeOver(Voice& v) noexcept
{
    if (!v.sounding || v.stopping) {
        // Nothing to fade from: the stage simply replaces the one the voice had.
        if (v.head.stage && !m_toGui.push(Garbage { nullptr, nullptr, v.head.stage }))
            return false;
        v.head.stage = v.next;
        v.next = nullptr;
        return true;
    }
    // The voice's sound so far fades out as a tail while the stage fades in.
    if (v.tail.buffer) {
        if (!m_toGui.push(
                Garbage { nullptr, v.tail.sharesBuffer ? nullptr : v.tail.buffer, v.tail.stage }))
            return false;
    } else {
        m_tails.fetch_add(1, std::memory_order_release);
    }
    v.tail = v.head;
    v.tail.sharesBuffer = true;
    v.tail.gain.toward({ 0.0f, 0.0f }, m_rampFrames);
    v.tailDone = false;
    v.head.stage = v.next;
    v.next = nullptr;
    v.head.gain.jump({ 0.0f, 0.0f });
    v.head.gain.toward(v.set, m_rampFrames);
    return true;
}

void Mixer::render(float* out, int frames) noexcept SORVANTO_NONBLOCKING
{
    applyBatches();
    std::memset(out, 0, sizeof(float) * size_t(frames) * 2);
    const std::int64_t clock = m_clock.load(std::memory_order_relaxed);
    for (Voice& v : m_table->voices) {
        // A handover lands in the period that holds its frame: every voice handed over for the
        // same frame changes in the same period.
        if (v.next && v.nextAt < clock + frames)
            takeOver(v);
        if (v.tail.buffer && !v.tailDone) {
            if (mixRun(out, frames, v.tail, true) != RunEnd::Running)
                v.tailDone = true;
        }
        if (v.tailDone
            && m_toGui.push(
                Garbage { nullptr, v.tail.sharesBuffer ? nullptr : v.tail.buffer, v.tail.stage })) {
            v.tail = Playhead {};
            v.tailDone = false;
            m_tails.fetch_sub(1, std::memory_order_release);
        }
        if (!v.sounding)
            continue;
        const RunEnd end = mixRun(out, frames, v.head, v.stopping);
        // A stage back at the original tempo and key, faded to its untouched copy, leaves the
        // voice: the buffer plays on from the same frame without it.
        if (v.head.stage && v.head.stage->stretch().setting().original()
            && !v.head.stage->stretch().processing()
            && m_toGui.push(Garbage { nullptr, nullptr, v.head.stage })) {
            v.head.pos = v.head.stage->stretch().contentFrame();
            v.head.stage = nullptr;
        }
        if (end == RunEnd::Running)
            continue;
        if (end == RunEnd::BufferDone) {
            v.head.pos = 0;
            if (v.head.stage) // a one-shot starts over at the loop's first frame
                v.head.stage->stretch().schedule(v.head.stage->stretch().setting(), 0);
        }
        v.sounding = v.stopping = false;
        v.head.gain.jump(v.set);
    }
    publishClocks(clock + frames);
}

void Mixer::publishClocks(std::int64_t clock) noexcept
{
    const unsigned seq = m_clockSeq.load(std::memory_order_relaxed);
    m_clockSeq.store(seq + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    m_clock.store(clock, std::memory_order_relaxed);
    const size_t n = std::min<size_t>(m_table->voices.size(), clockedVoices);
    for (size_t i = 0; i < n; ++i) {
        const Voice& v = m_table->voices[i];
        ClockSlot& c = m_clocks[i];
        const bool staged = v.head.stage != nullptr;
        const std::int64_t length = v.head.buffer ? lengthOf(v.head.buffer) : 1;
        if (staged) {
            const TimeStretch& st = v.head.stage->stretch();
            c.at.store(st.phase(), std::memory_order_relaxed);
            c.loopOut.store(st.loopFrames(), std::memory_order_relaxed);
            c.loopIn.store(st.sourceFrames(), std::memory_order_relaxed);
        } else {
            c.at.store(v.head.pos, std::memory_order_relaxed);
            c.loopOut.store(std::max<std::int64_t>(1, length), std::memory_order_relaxed);
            c.loopIn.store(std::max<std::int64_t>(1, length), std::memory_order_relaxed);
        }
        c.sounding.store(v.sounding && !v.stopping, std::memory_order_relaxed);
        c.staged.store(staged, std::memory_order_relaxed);
    }
    m_clockSeq.store(seq + 2, std::memory_order_release);
}

VoiceClock Mixer::voiceClock(int voice) const
{
    VoiceClock out;
    if (voice < 0 || voice >= clockedVoices)
        return out;
    const ClockSlot& c = m_clocks[size_t(voice)];
    for (;;) {
        const unsigned before = m_clockSeq.load(std::memory_order_acquire);
        if (before & 1u)
            continue;
        out.clock = m_clock.load(std::memory_order_relaxed);
        out.at = c.at.load(std::memory_order_relaxed);
        out.loopOut = c.loopOut.load(std::memory_order_relaxed);
        out.loopIn = c.loopIn.load(std::memory_order_relaxed);
        out.sounding = c.sounding.load(std::memory_order_relaxed);
        out.staged = c.staged.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (m_clockSeq.load(std::memory_order_relaxed) == before)
            return out;
    }
}

bool Mixer::sounding() const noexcept SORVANTO_NONBLOCKING
{
    for (const Voice& v : m_table->voices)
        if (v.sounding || v.tail.buffer)
            return true;
    return false;
}

} // namespace DX7Sound
