// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/SoundTestKit.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace SoundTestKit {

namespace {

qint64 endOf(const Signal& s, qint64 to)
{
    return to < 0 || to > s.frames() ? s.frames() : to;
}

} // namespace

Signal sine(double frequency, double seconds, int rate, int channels, double amplitude)
{
    Signal s;
    s.rate = rate;
    s.channels = channels;
    const qint64 frames = qint64(std::llround(seconds * rate));
    s.samples.resize(size_t(frames * channels));
    for (qint64 i = 0; i < frames; ++i) {
        const float v = float(amplitude * std::sin(2.0 * M_PI * frequency * double(i) / rate));
        for (int c = 0; c < channels; ++c)
            s.samples[size_t(i * channels + c)] = v;
    }
    return s;
}

Signal ramp(qint64 frames, qint64 period, int rate, int channels, double amplitude)
{
    Signal s;
    s.rate = rate;
    s.channels = channels;
    s.samples.resize(size_t(frames * channels));
    for (qint64 i = 0; i < frames; ++i) {
        const float v = float(double((i % period) + 1) / double(period) * amplitude);
        for (int c = 0; c < channels; ++c)
            s.samples[size_t(i * channels + c)] = v;
    }
    return s;
}

bool writeWav(const QString& path, const Signal& signal, int format)
{
    SF_INFO info {};
    info.samplerate = signal.rate;
    info.channels = signal.channels;
    info.format = format ? format : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    // Clip instead of wrapping when a float signal goes to an integer format.
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t written = sf_writef_float(f, signal.samples.data(), signal.frames());
    sf_close(f);
    return written == signal.frames();
}

bool readSound(const QString& path, Signal& out)
{
    SF_INFO info {};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f)
        return false;
    out.rate = info.samplerate;
    out.channels = info.channels;
    out.samples.assign(size_t(info.frames * info.channels), 0.0f);
    const sf_count_t got = sf_readf_float(f, out.samples.data(), info.frames);
    sf_close(f);
    out.samples.resize(size_t(got * info.channels));
    return true;
}

SinkRecorder::SinkRecorder(QString wavPath)
    : m_path(std::move(wavPath))
{ }

SinkRecorder::~SinkRecorder()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
}

bool SinkRecorder::start()
{
    QFile::remove(m_path);
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(QStringLiteral("parec"),
        { QStringLiteral("-d"), QStringLiteral(SORVANTO_NULL_SINK ".monitor"),
            QStringLiteral("--file-format=wav"), QStringLiteral("--format=float32le"),
            QStringLiteral("--rate=48000"), QStringLiteral("--channels=2"),
            QStringLiteral("--latency-msec=10"), m_path });
    if (!m_process->waitForStarted(5000)) {
        m_error = QStringLiteral("parec did not start: ") + m_process->errorString();
        return false;
    }
    // The monitor delivers silence while nothing plays, so a growing file means the stream is
    // live. 32 KiB is about 40 ms of float stereo at 48 kHz.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        if (m_process->state() == QProcess::NotRunning) {
            m_error = QStringLiteral("parec ended at once (is the PulseAudio test server up?)");
            return false;
        }
        if (QFileInfo(m_path).size() > qint64(32) * 1024)
            return true;
        QThread::msleep(5);
    }
    m_error = QStringLiteral("parec recorded nothing within 5 s");
    return false;
}

bool SinkRecorder::stop(Signal& out)
{
    if (!m_process)
        return false;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(3000);
    }
    m_process.reset();
    if (!readSound(m_path, out)) {
        m_error = QStringLiteral("cannot read the recording ") + m_path;
        return false;
    }
    return true;
}

double rmsDb(const Signal& s, int channel, qint64 from, qint64 to)
{
    to = endOf(s, to);
    if (from >= to)
        return -1000.0;
    double sum = 0;
    for (qint64 i = from; i < to; ++i) {
        const double v = s.at(i, channel);
        sum += v * v;
    }
    const double rms = std::sqrt(sum / double(to - from));
    return rms > 0 ? 20.0 * std::log10(rms) : -1000.0;
}

double steadyRmsDb(const Signal& signal, int channel, qint64 from, qint64 to, qint64 block)
{
    to = std::min(to, signal.frames());
    std::vector<double> levels;
    for (qint64 at = from; at + block <= to; at += block)
        levels.push_back(rmsDb(signal, channel, at, at + block));
    if (levels.empty())
        return -1000.0;
    std::sort(levels.begin(), levels.end());
    const size_t m = levels.size();
    return m % 2 ? levels[m / 2] : (levels[m / 2 - 1] + levels[m / 2]) / 2;
}

float peak(const Signal& s, int channel, qint64 from, qint64 to)
{
    to = endOf(s, to);
    float p = 0;
    for (qint64 i = from; i < to; ++i)
        p = std::max(p, std::fabs(s.at(i, channel)));
    return p;
}

qint64 onsetFrame(const Signal& s, int channel, float threshold, qint64 from)
{
    for (qint64 i = std::max<qint64>(0, from); i < s.frames(); ++i)
        if (std::fabs(s.at(i, channel)) > threshold)
            return i;
    return -1;
}

double toneFrequency(const Signal& s, int channel, qint64 from, qint64 to)
{
    to = endOf(s, to);
    double first = -1, last = -1;
    int crossings = 0;
    for (qint64 i = std::max<qint64>(1, from); i < to; ++i) {
        const float a = s.at(i - 1, channel), b = s.at(i, channel);
        if (a < 0 && b >= 0) {
            const double x = double(i - 1) + double(-a) / double(b - a);
            if (first < 0)
                first = x;
            last = x;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return double(crossings - 1) * s.rate / (last - first);
}

bool pulseServerUp()
{
    QProcess p;
    p.start(QStringLiteral("pactl"), { QStringLiteral("info") });
    if (!p.waitForFinished(5000))
        return false;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

Signal recordWhile(const QString& wavPath, int ms, const std::function<void()>& act)
{
    SinkRecorder recorder(wavPath);
    EXPECT_TRUE(recorder.start()) << recorder.errorText().toStdString();
    act();
    QTest::qWait(ms);
    Signal out;
    EXPECT_TRUE(recorder.stop(out)) << recorder.errorText().toStdString();
    return out;
}

} // namespace SoundTestKit
