// SPDX-License-Identifier: GPL-3.0-or-later
// The WAV loader alone: containers, sample formats, channel counts, rate conversion, the first
// part decoded at once and the rest on a worker, files that end early or change on disk, sizes
// that cannot be held, and files that are not regular files.

#include "DecodeHold.h"
#include "sound/WavLoader.h"
#include "support/SoundTestKit.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <sndfile.h>
#include <sys/stat.h>
#include <thread>

using SoundTestKit::Signal;

namespace {

// Waits (up to a minute; the sanitizers are slow) until the worker has finished.
bool waitDecoded(const DX7Sound::SoundBuffer& b)
{
    for (int i = 0; i < 60000 && !b.progress().finished.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return b.progress().finished.load();
}

// The buffer's decoded frames as a stereo signal (mono is read on both sides).
Signal toSignal(const DX7Sound::SoundBuffer& b, int rate)
{
    Signal s;
    s.rate = rate;
    const qint64 n = b.progress().ready.load();
    s.samples.resize(size_t(n * 2));
    for (qint64 i = 0; i < n; ++i) {
        s.samples[size_t(2 * i)] = b.at(i, 0);
        s.samples[size_t(2 * i + 1)] = b.at(i, 1);
    }
    return s;
}

} // namespace

TEST(WavLoader, ReadsEveryWavContainerAndSampleFormat)
{
    DecodeHold gate;
    DX7Sound::Loader loader(&gate);
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
        auto buffer = DX7Sound::loadWav(path, 44100, loader);
        ASSERT_TRUE(buffer);
        ASSERT_TRUE(waitDecoded(*buffer));
        // ADPCM pads its last block.
        const qint64 frames = buffer->progress().length.load();
        EXPECT_NEAR(double(frames), double(tone.frames()), 2048);
        EXPECT_EQ(buffer->progress().ready.load(), frames);
        // Sources of up to 16 bits stay 16-bit in memory; wider ones are float.
        const int sub = format & SF_FORMAT_SUBMASK;
        const bool wide = sub == SF_FORMAT_PCM_24 || sub == SF_FORMAT_PCM_32
            || sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
        EXPECT_EQ(buffer->sample(),
            wide ? DX7Sound::SoundBuffer::Sample::Float : DX7Sound::SoundBuffer::Sample::Int16);
        EXPECT_EQ(buffer->bytes(), frames * 2 * (wide ? 4 : 2));
        const Signal got = toSignal(*buffer, 44100);
        EXPECT_NEAR(
            SoundTestKit::rmsDb(got, 0, 0, 8000), SoundTestKit::rmsDb(tone, 0, 0, 8000), 0.1);
    }
}

TEST(WavLoader, ConvertsTheRateOnceKeepingLengthAndPitch)
{
    DecodeHold gate;
    DX7Sound::Loader loader(&gate);
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
        auto buffer = DX7Sound::loadWav(path, c.to, loader);
        ASSERT_TRUE(buffer);
        ASSERT_TRUE(waitDecoded(*buffer));
        EXPECT_EQ(buffer->progress().length.load(), c.to);
        EXPECT_FALSE(buffer->progress().cutShort.load());
        // Mono stays one channel in memory.
        EXPECT_EQ(buffer->channels(), 1);
        const Signal got = toSignal(*buffer, c.to);
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
    DecodeHold gate;
    DX7Sound::Loader loader(&gate);
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
    EXPECT_FALSE(DX7Sound::loadWav(path, 44100, loader));
    EXPECT_FALSE(DX7Sound::loadWav(dir.filePath("none.wav"), 44100, loader));
}

TEST(WavLoader, DecodesTheRestBehindTheFirstPartSeamlessly)
{
    DecodeHold gate;
    DX7Sound::Loader loader(&gate);
    QTemporaryDir dir;
    // 16-bit at the device rate (read as it is) and 44.1 kHz into 48 kHz (converted in steps
    // that continue from the first part on the GUI thread to the worker).
    const struct
    {
        int from, to, format;
    } cases[] = { { 44100, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16 },
        { 44100, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_16 },
        { 48000, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT } };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        const double seconds = 6.0;
        const Signal tone = SoundTestKit::sine(500, seconds, c.from, 2, 0.5);
        const QString path = dir.filePath(QString::number(c.from) + QString::number(c.to) + ".wav");
        ASSERT_TRUE(SoundTestKit::writeWav(path, tone, c.format));
        const qint64 first = qint64(DX7Sound::firstPartSeconds * c.to);
        const qint64 total = std::llround(double(tone.frames()) * c.to / c.from);
        std::unique_ptr<DX7Sound::SoundBuffer> buffer;
        {
            DecodeHold::Scope hold(gate, first);
            buffer = DX7Sound::loadWav(path, c.to, loader);
            ASSERT_TRUE(buffer);
            // Returned with the first part ready and the promised length; the rest waits.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            const qint64 ready = buffer->progress().ready.load();
            EXPECT_GE(ready, first);
            EXPECT_LT(ready, total);
            EXPECT_EQ(buffer->progress().length.load(), total);
            EXPECT_FALSE(buffer->progress().finished.load());
        }
        ASSERT_TRUE(waitDecoded(*buffer));
        EXPECT_EQ(buffer->progress().length.load(), total);
        EXPECT_EQ(buffer->progress().ready.load(), total);
        EXPECT_FALSE(buffer->progress().cutShort.load());
        // Every frame is the sine it should be, across the seam and to the end: no gap, no
        // repeated or lost block, no conversion restarted.
        const Signal got = toSignal(*buffer, c.to);
        const qint64 settle = c.to / 100;
        double worst = 0;
        qint64 worstAt = -1;
        for (qint64 i = settle; i < total - settle; ++i) {
            const double want = 0.5 * std::sin(2 * M_PI * 500 * double(i) / c.to);
            const double err = std::fabs(got.at(i, 0) - want) + std::fabs(got.at(i, 1) - want);
            if (err > worst) {
                worst = err;
                worstAt = i;
            }
        }
        EXPECT_LT(worst, 2e-3) << "at frame " << worstAt;
    }
}

TEST(WavLoader, CleansNonFiniteAndOverRangeFloats)
{
    DecodeHold gate;
    DX7Sound::Loader loader(&gate);
    QTemporaryDir dir;
    Signal s;
    s.rate = 44100;
    s.samples = { 0.25f, -0.25f, NAN, INFINITY, -INFINITY, 2.0f, -3.0f, 1.0f, 0.5f, -0.5f };
    const QString path = dir.filePath("odd.wav");
    ASSERT_TRUE(SoundTestKit::writeWav(path, s, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    auto buffer = DX7Sound::loadWav(path, 44100, loader);
    ASSERT_TRUE(buffer);
    ASSERT_TRUE(waitDecoded(*buffer));
    const float want[] = { 0.25f, -0.25f, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f, 1.0f, 0.5f, -0.5f };
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(buffer->at(i / 2, i % 2), want[i]) << i;
}

TEST(WavLoader, AFileCutShortWhileDecodingKeepsWhatDecodedAndAReplacedFileIsNotSeen)
{
    DecodeHold gate;
    DX7Sound::Loader loader(&gate);
    QTemporaryDir dir;
    const int rate = 44100;
    const Signal ramp = SoundTestKit::ramp(qint64(rate) * 8, qint64(rate) * 8, rate, 2);
    const QString cut = dir.filePath("cut.wav");
    const QString swapped = dir.filePath("swapped.wav");
    ASSERT_TRUE(SoundTestKit::writeWav(cut, ramp, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    ASSERT_TRUE(SoundTestKit::writeWav(swapped, ramp, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    const qint64 first = qint64(DX7Sound::firstPartSeconds * rate);
    std::unique_ptr<DX7Sound::SoundBuffer> a, b;
    const qint64 keep = qint64(5) * rate; // frames left in the cut file
    {
        DecodeHold::Scope hold(gate, first);
        a = DX7Sound::loadWav(cut, rate, loader);
        b = DX7Sound::loadWav(swapped, rate, loader);
        ASSERT_TRUE(a && b);
        // Cut to a header and five seconds of data; replace the other by a short foreign file.
        const qint64 header = QFileInfo(cut).size() - ramp.frames() * 8;
        ASSERT_TRUE(QFile::resize(cut, header + keep * 8 + 3));
        ASSERT_TRUE(QFile::remove(swapped));
        ASSERT_TRUE(SoundTestKit::writeWav(swapped, SoundTestKit::sine(440, 0.1)));
    }
    ASSERT_TRUE(waitDecoded(*a));
    ASSERT_TRUE(waitDecoded(*b));
    // The loop becomes what decoded, and what decoded is right.
    EXPECT_TRUE(a->progress().cutShort.load());
    EXPECT_EQ(a->progress().length.load(), keep);
    EXPECT_EQ(a->progress().ready.load(), keep);
    EXPECT_FLOAT_EQ(a->at(keep - 1, 1), ramp.at(keep - 1, 1));
    // The open file is read to its end, whatever the name now points to.
    EXPECT_FALSE(b->progress().cutShort.load());
    EXPECT_EQ(b->progress().length.load(), ramp.frames());
    EXPECT_FLOAT_EQ(b->at(ramp.frames() - 1, 0), ramp.at(ramp.frames() - 1, 0));
}

TEST(WavLoader, ABufferDroppedWhileDecodingEndsItsDecodingAtOnce)
{
    DecodeHold gate;
    DX7Sound::Loader loader(&gate);
    QTemporaryDir dir;
    const QString path = dir.filePath("long.wav");
    ASSERT_TRUE(SoundTestKit::writeWav(path, SoundTestKit::sine(300, 10, 44100, 2, 0.5)));
    const int before = DX7Sound::liveSoundBuffers();
    DecodeHold::Scope hold(gate, qint64(DX7Sound::firstPartSeconds * 44100));
    auto buffer = DX7Sound::loadWav(path, 44100, loader);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(DX7Sound::liveSoundBuffers(), before + 1);
    const auto t0 = std::chrono::steady_clock::now();
    buffer.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_EQ(DX7Sound::liveSoundBuffers(), before);
}

TEST(WavLoader, LongPhrasesLoadUpToTheMemoryRuleAndLongerOnesAreRefusedWithTheirSize)
{
    DecodeHold gate;
    DX7Sound::Loader loader(&gate);
    QTemporaryDir dir;
    // Unsigned 8-bit mono at 1 kHz: 4 MB on disk, 380 MB as 16-bit mono at 48 kHz.
    const auto write = [&](const QString& name, qint64 frames) {
        SF_INFO info {};
        info.samplerate = 1000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
        QString path = dir.filePath(name);
        SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        EXPECT_TRUE(f);
        std::vector<short> block(1000);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = short(std::lround(16000 * std::sin(2 * M_PI * 50 * double(i) / 1000)));
        for (qint64 done = 0; done < frames; done += 1000)
            sf_writef_short(f, block.data(), std::min<qint64>(1000, frames - done));
        sf_close(f);
        return path;
    };
    const QString longest = write("66min.wav", qint64(66) * 60 * 1000);
    DX7Sound::LoadRefusal refusal;
    auto buffer = DX7Sound::loadWav(longest, 48000, loader, &refusal);
    ASSERT_TRUE(buffer);
    EXPECT_FALSE(refusal.tooLarge);
    EXPECT_EQ(buffer->sample(), DX7Sound::SoundBuffer::Sample::Int16);
    EXPECT_EQ(buffer->channels(), 1);
    EXPECT_EQ(buffer->progress().length.load(), qint64(66) * 60 * 48000);
    ASSERT_TRUE(waitDecoded(*buffer));
    EXPECT_FALSE(buffer->progress().cutShort.load());
    // The tone is still there in the last second.
    float top = 0;
    for (qint64 i = buffer->capacity() - 48000; i < buffer->capacity() - 4800; ++i)
        top = std::max(top, std::fabs(buffer->at(i, 0)));
    EXPECT_NEAR(top, 16000.0f / 32768.0f, 0.02f);
    buffer.reset();

    // Four hours take 1.4 GB: held wherever a quarter of the memory gives that much.
    const QString fourHours = write("4h.wav", qint64(4) * 3600 * 1000);
    const qint64 fourHourBytes = qint64(4) * 3600 * 48000 * 2;
    if (DX7Sound::maxDecodedBytes() >= fourHourBytes) {
        buffer = DX7Sound::loadWav(fourHours, 48000, loader);
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->bytes(), fourHourBytes);
        buffer.reset(); // dropped while decoding: no wait for the rest
    }

    // At a device rate 768 times the file's, the same four hours cannot be held anywhere:
    // refused at the header, before any memory is taken, with what it would have needed.
    const auto t0 = std::chrono::steady_clock::now();
    refusal = {};
    EXPECT_FALSE(DX7Sound::loadWav(fourHours, 768000, loader, &refusal));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_TRUE(refusal.tooLarge);
    EXPECT_EQ(refusal.rate, 768000);
    EXPECT_EQ(refusal.frames, qint64(4) * 3600 * 768000);
    EXPECT_EQ(refusal.bytes, refusal.frames * 2);
    // A file that is not there is no size refusal.
    refusal = {};
    EXPECT_FALSE(DX7Sound::loadWav(dir.filePath("none.wav"), 48000, loader, &refusal));
    EXPECT_FALSE(refusal.tooLarge);
}

TEST(WavLoader, RefusesWhatIsNotARegularFileWithoutWaiting)
{
    DecodeHold gate;
    DX7Sound::Loader loader(&gate);
    QTemporaryDir dir;
    // A FIFO nobody writes to: opening it for reading the usual way would wait forever.
    const QString fifo = dir.filePath("fifo.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(DX7Sound::loadWav(fifo, 44100, loader));
    EXPECT_FALSE(DX7Sound::loadWav(dir.path(), 44100, loader));
    EXPECT_FALSE(DX7Sound::loadWav(QStringLiteral("/dev/zero"), 44100, loader));
}

TEST(LoaderTasks, FirstTasksRunAheadOfLaterOnesAndOnlyTheyCanBeTakenOver)
{
    DX7Sound::Loader loader;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> blocking;
    std::mutex m;
    std::vector<int> order;
    const auto note = [&](int n) {
        std::lock_guard lock(m);
        order.push_back(n);
    };
    // The thread waits inside the first task while the others queue up behind it.
    loader.runFirst([&, released] {
        blocking.set_value();
        released.wait();
    });
    blocking.get_future().wait();
    loader.runLater([&] { note(3); });
    loader.runFirst([&] { note(1); });
    loader.runFirst([&] { note(2); });
    // The first of the waiting runFirst tasks can be run elsewhere; a later task cannot.
    std::function<void()> taken = loader.takeFirstTask();
    ASSERT_TRUE(taken);
    taken();
    release.set_value();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        {
            std::lock_guard lock(m);
            if (order.size() >= 3 || std::chrono::steady_clock::now() > until)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::lock_guard lock(m);
    EXPECT_EQ(order, (std::vector<int> { 1, 2, 3 }));
    EXPECT_FALSE(loader.takeFirstTask());
}
