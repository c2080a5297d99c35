// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Test helpers for sound: synthesising and writing WAV test signals, recording what the test
// run's PulseAudio null sink plays, and measuring levels, onsets and frequencies in the result.
// Everything here runs on the calling (test) thread; nothing is shared between calls except the
// recorder's child process. The recorder talks to the server named by PULSE_SERVER (tests/main.cpp
// points it at the test run's own server) and records the monitor of SORVANTO_NULL_SINK.

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

class QProcess;

namespace SoundTestKit {

// Interleaved float frames at a known rate; samples.size() == frames() * channels.
struct Signal
{
    std::vector<float> samples;
    int channels = 2;
    int rate = 44100;
    qint64 frames() const { return channels > 0 ? qint64(samples.size()) / channels : 0; }
    float at(qint64 frame, int channel) const
    {
        return samples[size_t(frame * channels + channel)];
    }
};

// A sine of `frequency` Hz, `seconds` long, with peak `amplitude` (linear, 1 = full scale), the
// same on every channel.
Signal sine(
    double frequency, double seconds, int rate = 44100, int channels = 2, double amplitude = 0.5);

// A ramp: frame i holds ((i % period) + 1) / period * amplitude on every channel, so each frame's
// value tells its position in the file (for loop-wrap and position tests).
Signal ramp(
    qint64 frames, qint64 period, int rate = 44100, int channels = 2, double amplitude = 0.9);

// Writes `signal` as a file of `format` (libsndfile SF_FORMAT_* major | subtype; default: RIFF
// WAVE, 16-bit PCM). False when libsndfile refuses.
bool writeWav(const QString& path, const Signal& signal, int format = 0);

// Reads any file libsndfile reads into float frames. False when it cannot.
bool readSound(const QString& path, Signal& out);

// Records the null sink's monitor with `parec` into a WAV file (float32, 48 kHz, stereo: the
// sink's own format, so the server does not resample). One recorder per recording; the
// destructor ends parec if it still runs.
class SinkRecorder
{
public:
    // `wavPath`: where parec writes; the directory must exist.
    explicit SinkRecorder(QString wavPath);
    ~SinkRecorder();
    SinkRecorder(const SinkRecorder&) = delete;
    SinkRecorder& operator=(const SinkRecorder&) = delete;

    // Starts parec and returns once audio is arriving in the file (or false after a few seconds:
    // no server, no parec). errorText() says why.
    bool start();
    // Ends parec (SIGTERM, so it closes the WAV properly) and reads the recording.
    bool stop(Signal& out);
    QString errorText() const { return m_error; }

private:
    QString m_path;
    QString m_error;
    std::unique_ptr<QProcess> m_process;
};

// Records the sink into `wavPath` while `act` runs and the event loop then turns for `ms`
// milliseconds. A recorder that cannot start or stop fails the current test and yields what it
// has (possibly nothing).
Signal recordWhile(const QString& wavPath, int ms, const std::function<void()>& act);

// Level of one channel over frames [from, to) (to < 0: the end) in dB full scale:
// 20*log10(rms). -inf (as -1000) for digital silence.
double rmsDb(const Signal& signal, int channel, qint64 from = 0, qint64 to = -1);

// rmsDb over blocks of `block` frames across [from, to), and the median of those: a dropout (a
// run of silence from an underrun, a gap in the recording) lowers only the blocks it falls in,
// so a steady signal reads at its true level while most blocks are whole.
double steadyRmsDb(const Signal& signal, int channel, qint64 from, qint64 to, qint64 block = 1200);

// Peak absolute sample of one channel over [from, to).
float peak(const Signal& signal, int channel, qint64 from = 0, qint64 to = -1);

// First frame at or after `from` whose absolute sample on `channel` exceeds `threshold`, or -1.
qint64 onsetFrame(const Signal& signal, int channel, float threshold = 1e-3f, qint64 from = 0);

// Frequency in Hz of a steady tone on one channel over [from, to), from the mean distance of
// its rising zero crossings (interpolated). 0 when fewer than two crossings.
double toneFrequency(const Signal& signal, int channel, qint64 from = 0, qint64 to = -1);

// True when the test run's PulseAudio server answers (pactl info), for clear failures.
bool pulseServerUp();

} // namespace SoundTestKit
