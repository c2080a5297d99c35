// The WAV loader alone: containers, sample formats, channel counts and rate conversion.

#include "sound/WavLoader.h"
#include "support/SoundTestKit.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

using SoundTestKit::Signal;

TEST(WavLoader, ReadsEveryWavContainerAndSampleFormat)
{
    QTemporaryDir dir;
    const Signal tone = SoundTestKit::sine(440, 0.2, 44100, 2, 0.5);
    const int formats[] = { SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_PCM_24,
        SF_FORMAT_WAV | SF_FORMAT_PCM_32, SF_FORMAT_WAV | SF_FORMAT_PCM_U8,
        SF_FORMAT_WAV | SF_FORMAT_FLOAT, SF_FORMAT_WAV | SF_FORMAT_DOUBLE,
        SF_FORMAT_WAV | SF_FORMAT_ULAW, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM,
        SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT,
        SF_FORMAT_RF64 | SF_FORMAT_PCM_16 };
    for (int format : formats) {
        SCOPED_TRACE(format);
        const QString path = dir.filePath(QString::number(format) + ".wav");
        ASSERT_TRUE(SoundTestKit::writeWav(path, tone, format));
        auto buffer = DX7Sound::loadWav(path, 44100);
        ASSERT_TRUE(buffer);
        // ADPCM pads its last block.
        EXPECT_NEAR(double(buffer->frames), double(tone.frames()), 2048);
        EXPECT_EQ(buffer->samples.size(), size_t(buffer->frames * 2));
        EXPECT_EQ(buffer->file, path);
        Signal got;
        got.rate = 44100;
        got.samples = buffer->samples;
        EXPECT_NEAR(
            SoundTestKit::rmsDb(got, 0, 0, 8000), SoundTestKit::rmsDb(tone, 0, 0, 8000), 0.1);
    }
}

TEST(WavLoader, ConvertsTheRateOnceKeepingLengthAndPitch)
{
    QTemporaryDir dir;
    const struct
    {
        int from, to;
    } cases[] = { { 48000, 44100 }, { 44100, 48000 }, { 22050, 48000 }, { 96000, 44100 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        const QString path = dir.filePath(QString::number(c.from) + ".wav");
        ASSERT_TRUE(SoundTestKit::writeWav(
            path, SoundTestKit::sine(1000, 1.0, c.from, 1, 0.5), SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        auto buffer = DX7Sound::loadWav(path, c.to);
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->frames, c.to);
        Signal got;
        got.rate = c.to;
        got.samples = buffer->samples;
        for (int side : { 0, 1 }) {
            EXPECT_NEAR(
                SoundTestKit::toneFrequency(got, side, c.to / 10, c.to * 9 / 10), 1000.0, 0.5);
            EXPECT_NEAR(SoundTestKit::rmsDb(got, side, c.to / 10, c.to * 9 / 10),
                20 * std::log10(0.5 / M_SQRT2), 0.05);
        }
    }
}

TEST(WavLoader, RefusesAbsurdHeaders)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("absurd.wav");
    ASSERT_TRUE(SoundTestKit::writeWav(path, SoundTestKit::sine(440, 0.1)));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    // Sample rate field of the fmt chunk (offset 24): 0xFFFFFFFF.
    bytes.replace(24, 4, QByteArray(4, '\xff'));
    f.seek(0);
    f.write(bytes);
    f.close();
    EXPECT_FALSE(DX7Sound::loadWav(path, 44100));
    EXPECT_FALSE(DX7Sound::loadWav(dir.filePath("none.wav"), 44100));
}
