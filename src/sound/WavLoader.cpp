#include "sound/WavLoader.h"

#include "app/FileNames.h"

#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <sndfile.h>
#include <soxr.h>

namespace DX7Sound {

namespace {

// A phrase longer than this is not a phrase but a damaged or hostile header; refusing it keeps a
// bad file from taking all memory (one hour of stereo float at 192 kHz is 5.5 GB).
constexpr qint64 maxFrames = qint64(60) * 60 * 192000;
constexpr int minRate = 1000;
constexpr int maxRate = 768000;

bool isWavContainer(int format)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
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

} // namespace

std::unique_ptr<SoundBuffer> loadWav(const QString& file, int deviceRate)
{
    if (deviceRate < minRate || deviceRate > maxRate)
        return nullptr;
    SF_INFO info {};
    std::unique_ptr<SNDFILE, SndFileCloser> f(
        sf_open(Commands::NativePath(file).constData(), SFM_READ, &info));
    if (!f || !isWavContainer(info.format))
        return nullptr;
    if (info.channels < 1 || info.channels > 2 || info.frames <= 0 || info.frames > maxFrames
        || info.samplerate < minRate || info.samplerate > maxRate || dataCutShort(f.get()))
        return nullptr;

    const qint64 frames = info.frames;
    std::vector<float> raw(size_t(frames * info.channels));
    // Integer formats are scaled to [-1, 1); floats pass as they are.
    const sf_count_t got = sf_readf_float(f.get(), raw.data(), frames);
    // A file whose data ends before its header says is damaged: refuse it rather than play a
    // partial phrase that loops at the wrong length.
    if (got != frames)
        return nullptr;
    f.reset();

    std::vector<float> stereo;
    if (info.channels == 1) {
        stereo.resize(size_t(frames * 2));
        for (qint64 i = 0; i < frames; ++i)
            stereo[size_t(2 * i)] = stereo[size_t(2 * i + 1)] = raw[size_t(i)];
    } else {
        stereo = std::move(raw);
    }

    auto buffer = std::make_unique<SoundBuffer>();
    buffer->file = file;
    if (info.samplerate == deviceRate) {
        buffer->samples = std::move(stereo);
        buffer->frames = frames;
        return buffer;
    }

    // Converted once, here, so the mixer never resamples. The output length is the input
    // length scaled by the rate ratio, rounded, so a loop keeps its duration.
    const double ratio = double(deviceRate) / info.samplerate;
    const qint64 outFrames = qint64(std::llround(double(frames) * ratio));
    if (outFrames <= 0)
        return nullptr;
    buffer->samples.assign(size_t(outFrames * 2), 0.0f);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    size_t done = 0;
    const soxr_error_t err
        = soxr_oneshot(info.samplerate, deviceRate, 2, stereo.data(), size_t(frames), nullptr,
            buffer->samples.data(), size_t(outFrames), &done, &io, &quality, nullptr);
    if (err)
        return nullptr;
    buffer->frames = outFrames;
    return buffer;
}

} // namespace DX7Sound
