// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/TimeStretch.h"
#include "sound/ValueMappings.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

// The channel engine: numbered channels, each holding one whole WAV file, with looping play,
// stop, level and pan. All operations are called from the GUI thread; the audio device renders
// on its own thread. Nothing here ever shows a message.
//
// Grouped commands: every operation's effect on the sound is collected in a pending batch, and
// the batch is handed to the audio thread as one unit when control returns to the Qt event loop
// (a zero-time event posted on the GUI thread; also inside a nested processEvents()). The audio
// thread applies a whole batch at the start of one period. So commands issued one right after
// the other without returning to the event loop (the three starts of a phrase set) take effect
// on the same output frame, whatever the timing of the audio thread. flush() hands the batch
// over at once, for callers that run no event loop. The engine's QObject helpers need a
// QCoreApplication; it never uses QtWidgets.
//
// Each load decodes the rest of its file on the engine's one loader thread at low priority;
// replaced buffers are freed there too (their decoding stopped first), collected from the audio
// thread by a timer that runs only while something waits to come back.
//
// A lost sound server is noticed on the audio thread, which raises a flag and wakes the GUI
// thread's event loop; the stream is closed there, and the channels keep their buffers,
// positions and values. While a channel plays, the engine then looks for the server every
// 250 ms by itself, and once it is back the playing channels go on from where they were, in
// step. Otherwise the next load or play reopens the device; a server missing when
// InitDirectSound ran is looked for the same way, at most every 250 ms. No engine call waits on
// a sound server longer than a bounded time.
//
// Tempo and key: one setting for every channel. At the original tempo and key a channel plays its
// buffer untouched; otherwise through a tempo and key stage, built and primed on the loader
// thread and handed to the audio thread with the commands that need it (the batch waits for
// it). A new buffer's stage starts at its first frame. A change reaches every playing channel on
// the same output frame: a tempo change by a command applied at the start of one period, a key
// change or a change away from the original by stages primed for a frame a little ahead, which
// take over together in the period that holds it, cross-faded.
namespace DX7Sound {

class AudioDevice;
class DecodeGate;

// Makes the audio device when the engine opens it (and again when it reopens a lost one); the
// engine then calls its open(). Null, or a device whose open() fails, means no output. Called on
// the GUI thread.
using DeviceFactory = std::function<std::unique_ptr<AudioDevice>()>;

// The system's default output: PulseAudio (or PipeWire's PulseAudio service) first, then ALSA.
// Once one of its devices has used a server, the factory's later devices wait for that server
// and never take the card directly.
DeviceFactory SystemDeviceFactory();

// What a channel holds, for diagnostics and tests.
struct ChannelStatus
{
    bool exists = false; // the slot is in the table
    bool Loaded = false; // a buffer was loaded once; never cleared
    bool playing = false; // the engine was told to play and not to stop
    QString file; // file of the current buffer ("" when none)
    qint64 frames = 0; // loop length of the current buffer at the device rate
    bool decoding = false; // the current buffer's file is still being decoded behind the start
    int volume = 0; // hundredths of a dB, -10000..0
    int pan = 0; // hundredths of a dB, -10000..10000
};

// A load refused because the phrase needs more memory than one sound may take.
struct SizeRefusal
{
    qint16 channel = 0;
    QString file;
    qint64 frames = 0; // its length at the device rate
    int rate = 0; // the device rate
    qint64 bytes = 0; // the memory it would need
};

class Engine
{
public:
    // The engine opens the device through `factory` in InitDirectSound. Its loader consults
    // `gate` (when given; it must outlive the engine) before every decoding step.
    explicit Engine(DeviceFactory factory, DecodeGate* gate = nullptr);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Opens the default output device. False when there is none: loads fail until a later load
    // or play finds one.
    bool InitDirectSound();
    // Re-creates the table with slots 0..highest, each loaded with `file` at level 80.
    void InitChannels(qint16 highest, const QString& file);
    // Loads `file` into the slot; any failure leaves the slot exactly as it was. Only the header
    // and the first seconds are decoded before it returns; a worker thread decodes the rest while
    // the slot already plays. A file that ends early or fails part-way loops on what decoded.
    void LoadBuffer(qint16 channel, const QString& file);
    // LoadBuffer, then pan when below 100 and not 50, then level when below 100. Does not play.
    void LoadFile(qint16 channel, const QString& file, quint8 level, quint8 pan);
    // LoadFile's steps, then plays the slot when it is Loaded. False when the play step failed.
    bool PlayFile(qint16 channel, const QString& file, quint8 level, quint8 pan, quint8 flags);
    // Plays the slot's buffer from its current position (flags 1 = loop). False on failure.
    // Starts issued one after the other without returning to the event loop begin on the same
    // output frame.
    bool PlayChannel(qint16 channel, quint8 flags);
    // PlayChannel, but a stopped slot starts at the loop phase of the slot `with` when that one
    // sounds: at its position, modulo this slot's loop length, on the output frame the start
    // takes effect. So a part restarted while the others of its set play joins them in step.
    bool PlayChannelInStep(qint16 channel, quint8 flags, qint16 with);
    // Stops the slot's buffer, keeping its position. False on failure.
    bool StopChannel(qint16 channel);
    // volume = level * 60 - 6000 (16-bit); values above 0 are refused and the old one stays.
    void SetChannelVolume(qint16 channel, quint8 level);
    // pan 0 -> -10000, 100 -> +10000, else pan * 100 - 5000; above +10000 refused.
    void SetChannelPan(qint16 channel, quint8 pan);

    // The state of one channel (exists false outside the table).
    ChannelStatus status(qint16 channel) const;
    // Hands the pending commands to the audio thread now instead of at the next event-loop turn.
    void flush();
    // Frames per second of the output (0 before a device was opened). Buffers are kept at it.
    int sampleRate() const;
    // Whether an output device is open and running now (false with none, or after it was lost
    // and not yet reopened).
    bool deviceOpen() const;
    // The loads refused for their size since the last call, oldest first; the list is emptied.
    // The engine itself tells nobody.
    std::vector<SizeRefusal> takeRefusals();

    // Sets the tempo and key of everything that plays (clamped to their ranges). Loads and plays
    // issued after it in the same event-loop turn already start at it; playing channels change
    // together as soon as their stages are ready (a few periods).
    void SetTempoKey(TempoKey setting);
    // The tempo and key last set. Any time.
    TempoKey tempoKey() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace DX7Sound
