// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/DX7Sound.h"

#include "sound/AudioDevice.h"
#include "sound/Mixer.h"
#include "sound/VoiceStage.h"
#include "sound/WavLoader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace DX7Sound {

namespace {

// The GUI-thread view of a slot; the mixer's voice holds the sound itself.
struct Slot
{
    bool Loaded = false;
    bool playing = false;
    QString file;
    std::shared_ptr<const DecodeProgress> progress; // of the current buffer
    int volume = 0;
    int pan = 0;
    const SoundBuffer* buffer = nullptr; // the buffer the mixer holds or gets (not owned)
    bool fresh = false; // loaded and not played yet: a stage starts at its first frame
    // The setting of the stage the voice has or gets; none: it plays untouched.
    std::optional<TempoKey> staged;
    TempoKey setting() const { return staged.value_or(TempoKey {}); }
};

void freePayload(Batch& batch)
{
    for (const MixerCommand& c : batch.commands) {
        delete c.stage;
        delete c.buffer;
        deleteVoiceTable(c.table);
    }
    batch.commands.clear();
}

// A stage the loader thread builds and primes for a command of the pending batch.
struct PrimeJob
{
    size_t command = 0; // index in the pending batch
    const SoundBuffer* buffer = nullptr;
    int rate = 0;
    TempoKey setting;
    qint64 sourceFrame = -1; // -1: from the loop's first frame
    std::unique_ptr<VoiceStage> stage;
};

} // namespace

// How often a lost output is looked for while channels play.
constexpr int reconnectMs = 250;
// How far ahead of the audio thread a change that needs new stages is planned: time enough for
// the loader to prime them, short enough to be heard at once.
constexpr int handoverMs = 40;

struct Engine::Impl
{
    DeviceFactory factory;
    bool opened = false; // a device was opened once: loads work from now on
    bool initTried = false; // InitDirectSound ran: later calls may open the device
    int rate = 0;
    // Stages built ahead on the loader thread, by channel count (1, 2): building one is most of
    // what a stage costs, so a start at another tempo takes one from here and only primes it.
    // Declared before the loader, whose last tasks may use it.
    std::mutex spareMutex;
    std::array<std::vector<std::unique_ptr<VoiceStage>>, 2> spare; // under spareMutex
    Loader loader; // outlives the mixer, which hands it the buffers to free
    Mixer mixer { 44100, &loader };
    std::unique_ptr<AudioDevice> device;
    // Raised by the device's thread when the output went away; the eventfd wakes the GUI
    // thread's event loop, which closes the device. Writing it never blocks and calls no Qt.
    std::atomic<bool> lost { false };
    int lostFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    std::unique_ptr<QSocketNotifier> lostNotifier;
    std::vector<SizeRefusal> refusals;
    bool tableExists = false;
    std::vector<Slot> channels;
    std::unique_ptr<Batch> pending;
    bool publishScheduled = false;
    QElapsedTimer lastFailedReopen; // invalid until a reopen fails
    QObject context; // receives the posted publish and device-lost events on the GUI thread
    // Runs only while the mixer holds something to free, so an idle engine wakes nobody.
    QTimer garbageTimer;
    // Runs only while the output is gone and a channel plays: looks for the server again.
    QTimer reconnectTimer;
    // Tempo and key: the setting asked for, and whether a change waits for its stages.
    TempoKey wanted;
    bool handing = false;
    QTimer tempoTimer; // retries a change that waits for the audio thread to take a batch
    // Stages being primed on the loader thread for the pending batch, which waits for them.
    int holds = 0;
    std::mutex primeMutex;
    std::condition_variable primeDone;
    int primesRunning = 0; // under primeMutex
    std::vector<std::shared_ptr<PrimeJob>> primed; // under primeMutex

    explicit Impl(DecodeGate* gate)
        : loader(gate)
    {
        garbageTimer.setInterval(10);
        QObject::connect(&garbageTimer, &QTimer::timeout, &context, [this] { serviceDevice(); });
        reconnectTimer.setSingleShot(true);
        QObject::connect(&reconnectTimer, &QTimer::timeout, &context, [this] { reconnect(); });
        tempoTimer.setSingleShot(true);
        QObject::connect(&tempoTimer, &QTimer::timeout, &context, [this] { advanceTempo(); });
        if (lostFd >= 0) {
            lostNotifier = std::make_unique<QSocketNotifier>(lostFd, QSocketNotifier::Read);
            QObject::connect(lostNotifier.get(), &QSocketNotifier::activated, &context, [this] {
                quint64 count = 0;
                while (::read(lostFd, &count, sizeof count) > 0) { }
                serviceDevice();
            });
        }
    }

    ~Impl()
    {
        // Stages being primed finish (a few milliseconds each) and join the pending batch.
        waitPrimes();
        takePrimed();
        // Stops issued just before the end (closing the window) still fade out: the last batch
        // goes to the audio thread, which gets the time of the fade before the stream closes.
        serviceDevice();
        if (device && pending && !pending->commands.empty() && mixer.publish(pending)) {
            device->wake();
            // The audio thread applies the batch at its next request, however late a loaded
            // machine lets it run (within a bound), and renders the fade with it.
            QElapsedTimer waited;
            waited.start();
            while (mixer.pendingBatches() > 0 && waited.elapsed() < 200)
                QThread::msleep(1);
            QThread::msleep(ulong(Mixer::rampMs) + 15);
        }
        // The audio thread ends first; then nothing reads the mixer and the rest is freed.
        device.reset();
        if (pending)
            freePayload(*pending);
        lostNotifier.reset();
        if (lostFd >= 0)
            ::close(lostFd);
    }

    // Any thread, the audio thread included: no lock, no allocation, no Qt.
    void reportLoss() noexcept
    {
        lost.store(true, std::memory_order_release);
        const quint64 one = 1;
        if (lostFd >= 0) [[maybe_unused]]
            const ssize_t written = ::write(lostFd, &one, sizeof one);
    }

    bool anyPlaying() const
    {
        for (const Slot& s : channels)
            if (s.playing)
                return true;
        return false;
    }

    // After a loss, and while the output stays away with something playing, the server is
    // looked for every reconnectMs; the channels then go on from where they were, in step,
    // since the mixer kept their positions.
    void watchReconnect()
    {
        const bool wanted = initTried && !device && anyPlaying();
        if (!wanted) {
            reconnectTimer.stop();
            return;
        }
        if (reconnectTimer.isActive())
            return;
        // The next look at most reconnectMs after the last one that failed.
        const qint64 since = lastFailedReopen.isValid() ? lastFailedReopen.elapsed() : 0;
        reconnectTimer.start(int(std::clamp<qint64>(reconnectMs - since, 0, reconnectMs)));
    }

    void reconnect()
    {
        serviceDevice();
        const bool due = !lastFailedReopen.isValid() || lastFailedReopen.elapsed() >= reconnectMs;
        if (due && initTried && !device && anyPlaying()) {
            if (openDevice()) {
                opened = true;
                lastFailedReopen.invalidate();
            } else {
                lastFailedReopen.start();
            }
        }
        watchReconnect();
    }

    Slot* slot(qint16 channel)
    {
        if (!tableExists || channel < 0 || size_t(channel) >= channels.size())
            return nullptr;
        return &channels[size_t(channel)];
    }

    void queue(const MixerCommand& c)
    {
        if (!pending)
            pending = std::make_unique<Batch>();
        pending->commands.push_back(c);
        schedulePublish(0);
    }

    // The channel's gains after its volume or pan changed.
    void queueGain(qint16 channel, const Slot& s)
    {
        MixerCommand c;
        c.kind = MixerCommand::SetGain;
        c.voice = channel;
        c.gain = gainsFor(s.volume, s.pan);
        queue(c);
    }

    void schedulePublish(int ms)
    {
        if (publishScheduled)
            return;
        publishScheduled = true;
        QTimer::singleShot(ms, &context, [this] {
            publishScheduled = false;
            publish();
        });
    }

    void publish()
    {
        serviceDevice();
        if (holds > 0) {
            helpPrime();
            takePrimed();
            if (holds > 0)
                return; // goes when its stages are primed
        }
        if (pending && !pending->commands.empty()) {
            if (!mixer.publish(pending)) {
                // The audio thread is behind; the batch stays whole and goes with the next try.
                schedulePublish(5);
                return;
            }
            if (device)
                device->wake();
        }
        pending.reset();
        if (!device)
            mixer.applyPendingOffline();
        watchGarbage();
    }

    // Closes a device the audio thread reported lost, and frees what the mixer sent back.
    void serviceDevice()
    {
        if (lost.exchange(false) && device) {
            device.reset();
            // The next call that needs the device reopens it; the timer's first look waits a
            // round, as the server has only just gone.
            watchReconnect();
        }
        mixer.collectGarbage();
        watchGarbage();
    }

    // Keeps the garbage timer running exactly while something waits to be freed: replaced
    // buffers are freed within a few periods, not only at the next engine call.
    void watchGarbage()
    {
        const bool holds = mixer.holdsGarbage(device != nullptr);
        if (holds && !garbageTimer.isActive())
            garbageTimer.start();
        else if (!holds && garbageTimer.isActive())
            garbageTimer.stop();
    }

    // Queues a command whose stage the loader thread builds and primes for `buffer` at
    // `setting`, from the loop's first frame or taking over at `sourceFrame`. The pending batch
    // waits for it.
    void queueWithStage(
        MixerCommand c, const SoundBuffer* buffer, TempoKey setting, qint64 sourceFrame)
    {
        queue(c);
        auto job = std::make_shared<PrimeJob>();
        job->command = pending->commands.size() - 1;
        job->buffer = buffer;
        job->rate = mixer.rate();
        job->setting = setting;
        job->sourceFrame = sourceFrame;
        ++holds;
        {
            std::lock_guard lock(primeMutex);
            ++primesRunning;
        }
        loader.runFirst([this, job] {
            try {
                job->stage = takeSpare(job->buffer->channels(), job->rate);
                job->stage->attach(job->buffer);
                if (job->sourceFrame < 0)
                    job->stage->primeAtStart(job->setting);
                else
                    job->stage->primeAt(job->setting, job->sourceFrame);
            } catch (const std::exception&) {
                job->stage.reset(); // no memory: the voice plays untouched
            }
            std::lock_guard lock(primeMutex);
            primed.push_back(job);
            --primesRunning;
            primeDone.notify_all();
            QMetaObject::invokeMethod(
                &context, [this] { takePrimed(); }, Qt::QueuedConnection);
        });
    }

    // Loader thread (or the GUI thread helping it): a built stage for `channels` channels at
    // `rate`, from the spares when there is one; the spares are built up again afterwards.
    std::unique_ptr<VoiceStage> takeSpare(int channels, int rate)
    {
        std::unique_ptr<VoiceStage> stage;
        {
            std::lock_guard lock(spareMutex);
            auto& pool = spare[size_t(channels - 1)];
            if (!pool.empty() && pool.back()->rate() == rate) {
                stage = std::move(pool.back());
                pool.pop_back();
            }
        }
        if (!stage)
            stage = std::make_unique<VoiceStage>(channels, rate);
        loader.runLater([this, channels, rate] { buildSpare(channels, rate); });
        return stage;
    }

    // Loader thread: builds one more spare stage, up to one per column.
    void buildSpare(int channels, int rate)
    {
        {
            std::lock_guard lock(spareMutex);
            auto& pool = spare[size_t(channels - 1)];
            std::erase_if(pool, [rate](const auto& s) { return s->rate() != rate; });
            if (pool.size() >= 3)
                return;
        }
        std::unique_ptr<VoiceStage> stage;
        try {
            stage = std::make_unique<VoiceStage>(channels, rate);
        } catch (const std::exception&) {
            return; // no memory: stages are built when needed
        }
        {
            std::lock_guard lock(spareMutex);
            spare[size_t(channels - 1)].push_back(std::move(stage));
        }
        loader.runLater([this, channels, rate] { buildSpare(channels, rate); });
    }

    // The GUI thread primes the stages the loader has not started on yet, beside it: a start
    // waits for half the priming.
    void helpPrime()
    {
        while (std::function<void()> task = loader.takeFirstTask())
            task();
    }

    void waitPrimes()
    {
        helpPrime();
        std::unique_lock lock(primeMutex);
        primeDone.wait(lock, [this] { return primesRunning == 0; });
    }

    // Puts the primed stages into their commands; the batch goes once all are there.
    void takePrimed()
    {
        std::vector<std::shared_ptr<PrimeJob>> done;
        {
            std::lock_guard lock(primeMutex);
            done.swap(primed);
        }
        if (done.empty())
            return;
        for (const auto& job : done) {
            pending->commands[job->command].stage = job->stage.release();
            --holds;
        }
        if (holds == 0) {
            schedulePublish(0);
            if (handing) {
                handing = false;
                tempoTimer.start(0); // a change asked for meanwhile
            }
        }
    }

    // Brings the playing channels to the wanted tempo and key: a tempo change between processed
    // settings of one key by command, a key change and a change away from the original by
    // stages that take over on one frame a little ahead. Channels not playing follow at their
    // next play.
    void advanceTempo()
    {
        if (handing)
            return;
        bool handover = false;
        for (const Slot& s : channels) {
            if (s.buffer && s.setting() != wanted && s.playing && !retunable(s))
                handover = true;
        }
        if (handover
            && ((pending && !pending->commands.empty())
                || (device && mixer.pendingBatches() > 0))) {
            // The voices' clocks must show every command already sent: wait for the audio
            // thread to take them.
            if (!tempoTimer.isActive())
                tempoTimer.start(5);
            return;
        }
        const qint64 ahead = qint64(mixer.rate()) * handoverMs / 1000;
        for (size_t i = 0; i < channels.size(); ++i) {
            Slot& s = channels[i];
            if (!s.buffer || s.setting() == wanted)
                continue;
            MixerCommand c;
            c.voice = int(i);
            if (retunable(s)) {
                c.kind = MixerCommand::SetTempo;
                c.setting = wanted;
                queue(c);
                s.staged = wanted.original() ? std::nullopt : std::optional(wanted);
            } else if (s.playing && i < size_t(Mixer::clockedVoices)) {
                const VoiceClock vc = mixer.voiceClock(int(i));
                c.kind = MixerCommand::SetStage;
                c.at = vc.clock + ahead;
                queueWithStage(c, s.buffer, wanted, vc.sourceFrameAfter(ahead));
                s.staged = wanted;
                handing = true;
            }
        }
    }

    // Whether a slot's stage reaches the wanted setting by a tempo command alone: it has one,
    // and the key stays (or everything goes back to the original).
    bool retunable(const Slot& s) const
    {
        return s.staged && (wanted.original() || wanted.semitones == s.staged->semitones);
    }

    bool openDevice()
    {
        std::unique_ptr<AudioDevice> dev = factory ? factory() : nullptr;
        if (!dev || !dev->open(opened ? rate : 0))
            return false;
        // No device renders here: the mixer may be changed and drained directly.
        if (dev->sampleRate() != mixer.rate())
            mixer.setRate(dev->sampleRate());
        mixer.applyPendingOffline();
        lost.store(false);
        if (!dev->start(&mixer, [this] { reportLoss(); }))
            return false;
        rate = dev->sampleRate();
        device = std::move(dev);
        return true;
    }

    // The device for a call that needs it: reopened when it was lost, opened when there was
    // none at start-up and a server has come since.
    void ensureDevice()
    {
        serviceDevice();
        if (!initTried || device)
            return;
        // While the server stays away, a burst of calls (a start-up's eleven loads, a set's
        // three) probes it once rather than once per call.
        if (lastFailedReopen.isValid() && lastFailedReopen.elapsed() < 250)
            return;
        if (openDevice()) {
            opened = true;
            lastFailedReopen.invalidate();
        } else {
            lastFailedReopen.start();
        }
        watchReconnect();
    }
};

Engine::Engine(DeviceFactory factory, DecodeGate* gate)
    : d(std::make_unique<Impl>(gate))
{
    d->factory = std::move(factory);
}

Engine::~Engine() = default;

bool Engine::InitDirectSound()
{
    d->serviceDevice();
    d->initTried = true;
    if (d->device)
        return true;
    if (!d->openDevice()) {
        d->lastFailedReopen.start();
        return false;
    }
    d->opened = true;
    return true;
}

void Engine::InitChannels(qint16 highest, const QString& file)
{
    d->serviceDevice();
    const size_t count = highest < 0 ? 0 : size_t(highest) + 1;
    d->channels.assign(count, Slot {});
    d->tableExists = true;
    MixerCommand c;
    c.kind = MixerCommand::NewTable;
    c.table = newVoiceTable(count);
    d->queue(c);
    if (d->opened) {
        // Stereo stages for the three columns, built while nothing waits for them.
        const int rate = d->mixer.rate();
        d->loader.runLater([impl = d.get(), rate] { impl->buildSpare(2, rate); });
    }
    for (int i = 0; i <= int(highest); ++i) {
        LoadBuffer(qint16(i), file);
        SetChannelVolume(qint16(i), 80);
    }
}

void Engine::LoadBuffer(qint16 channel, const QString& file)
{
    d->ensureDevice();
    Slot* s = d->slot(channel);
    if (!d->opened || !s)
        return;
    LoadRefusal refusal;
    std::unique_ptr<SoundBuffer> buffer = loadWav(file, d->mixer.rate(), d->loader, &refusal);
    if (!buffer) {
        if (refusal.tooLarge)
            d->refusals.push_back(
                SizeRefusal { channel, file, refusal.frames, refusal.rate, refusal.bytes });
        return;
    }
    s->Loaded = true;
    s->playing = false;
    s->file = file;
    s->progress = buffer->sharedProgress();
    s->volume = 0;
    s->pan = 0;
    s->buffer = buffer.get();
    s->fresh = true;
    MixerCommand c;
    c.kind = MixerCommand::SetBuffer;
    c.voice = channel;
    c.buffer = buffer.release();
    if (d->wanted.original()) {
        s->staged.reset();
        d->queue(c);
    } else {
        s->staged = d->wanted;
        d->queueWithStage(c, s->buffer, d->wanted, -1);
    }
}

void Engine::LoadFile(qint16 channel, const QString& file, quint8 level, quint8 pan)
{
    LoadBuffer(channel, file);
    if (pan < 100 && pan != 50)
        SetChannelPan(channel, pan);
    if (level < 100)
        SetChannelVolume(channel, level);
}

bool Engine::PlayFile(qint16 channel, const QString& file, quint8 level, quint8 pan, quint8 flags)
{
    LoadFile(channel, file, level, pan);
    return PlayChannel(channel, flags);
}

bool Engine::PlayChannel(qint16 channel, quint8 flags)
{
    return PlayChannelInStep(channel, flags, -1);
}

bool Engine::PlayChannelInStep(qint16 channel, quint8 flags, qint16 with)
{
    d->ensureDevice();
    Slot* s = d->slot(channel);
    if (!s)
        return false;
    if (!s->Loaded)
        return true;
    s->playing = true;
    if (s->buffer && s->setting() != d->wanted) {
        MixerCommand t;
        t.voice = channel;
        if (d->retunable(*s)) {
            t.kind = MixerCommand::SetTempo;
            t.setting = d->wanted;
            d->queue(t);
            s->staged = d->wanted.original() ? std::nullopt : std::optional(d->wanted);
        } else if (channel < Mixer::clockedVoices) {
            // From where the voice stopped; a buffer never played starts at its first frame.
            t.kind = MixerCommand::SetStage;
            const qint64 from = s->fresh ? -1 : d->mixer.voiceClock(channel).sourceFrameAfter(0);
            d->queueWithStage(t, s->buffer, d->wanted, from);
            s->staged = d->wanted;
        }
    }
    s->fresh = false;
    MixerCommand c;
    c.kind = MixerCommand::Play;
    c.voice = channel;
    c.loop = (flags & 1) != 0;
    c.stepWith = with;
    d->queue(c);
    d->watchReconnect();
    return d->device != nullptr;
}

bool Engine::StopChannel(qint16 channel)
{
    d->serviceDevice();
    Slot* s = d->slot(channel);
    if (!s)
        return false;
    if (!s->Loaded)
        return true;
    s->playing = false;
    MixerCommand c;
    c.kind = MixerCommand::Stop;
    c.voice = channel;
    d->queue(c);
    d->watchReconnect();
    return d->device != nullptr || !d->opened;
}

void Engine::SetChannelVolume(qint16 channel, quint8 level)
{
    d->serviceDevice();
    const qint16 volume = qint16(VolumeOfLevel(level));
    Slot* s = d->slot(channel);
    // The device accepts -10000..0; anything else is refused and the old volume stays.
    if (!s || !s->Loaded || volume > 0 || volume < -10000)
        return;
    s->volume = volume;
    d->queueGain(channel, *s);
}

void Engine::SetChannelPan(qint16 channel, quint8 pan)
{
    d->serviceDevice();
    const auto value = qint16(PanOfValue(pan));
    Slot* s = d->slot(channel);
    if (!s || !s->Loaded || value > 10000 || value < -10000)
        return;
    s->pan = value;
    d->queueGain(channel, *s);
}

ChannelStatus Engine::status(qint16 channel) const
{
    ChannelStatus st;
    const Slot* s = d->slot(channel);
    if (!s)
        return st;
    st.exists = true;
    st.Loaded = s->Loaded;
    st.playing = s->playing;
    st.file = s->file;
    if (s->progress) {
        st.frames = s->progress->length.load();
        st.decoding = !s->progress->finished.load();
    }
    st.volume = s->volume;
    st.pan = s->pan;
    return st;
}

void Engine::flush()
{
    if (d->tempoTimer.isActive()) {
        d->tempoTimer.stop();
        d->advanceTempo();
    }
    d->waitPrimes();
    d->takePrimed();
    d->publish();
}

void Engine::SetTempoKey(TempoKey setting)
{
    d->serviceDevice();
    d->wanted = setting.clamped();
    // When control returns to the event loop: loads and plays issued after this call in the
    // same turn start at the new setting themselves, and only what plays on needs new stages.
    d->tempoTimer.start(0);
}

TempoKey Engine::tempoKey() const
{
    return d->wanted;
}

int Engine::sampleRate() const
{
    return d->opened ? d->rate : 0;
}

bool Engine::deviceOpen() const
{
    return d->device != nullptr && !d->lost.load();
}

std::vector<SizeRefusal> Engine::takeRefusals()
{
    return std::exchange(d->refusals, {});
}

} // namespace DX7Sound
