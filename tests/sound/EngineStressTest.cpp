// SPDX-License-Identifier: GPL-3.0-or-later
// The engine under rapid switching between long phrase sets while they are still being decoded:
// the process keeps a fixed set of threads, and every replaced buffer is freed, decoding or not.

#include "SoundEngineFixture.h"
#include "sound/WavLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <array>

namespace {

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

TEST_F(OfflineEngineTest, TwoHundredSwitchesOfLongSetsWhileTheyDecodeKeepTheThreadsAndFreeAll)
{
    // Two sets of three 30 s phrases, each far longer to decode than a switch takes.
    std::array<std::array<QString, 3>, 2> sets;
    for (int s = 0; s < 2; ++s)
        for (int c = 0; c < 3; ++c)
            sets[size_t(s)][size_t(c)] = wav(QStringLiteral("set%1_%2.wav").arg(s).arg(c + 1),
                SoundTestKit::sine(200 + 100 * c + 50 * s, 30.0, rate, 2, 0.3));
    engine->InitChannels(2, dir.filePath("missing.wav"));
    const int liveBefore = DX7Sound::liveSoundBuffers();
    const int threadsBefore = threadCount();
    int most = threadsBefore;
    int least = threadsBefore;
    int stillDecoding = 0;
    std::vector<float> period(2 * 256);
    for (int round = 0; round < 200; ++round) {
        const auto& set = sets[size_t(round % 2)];
        for (int c = 0; c < 3; ++c)
            engine->LoadFile(qint16(c), set[size_t(c)], 100, 50);
        for (int c = 0; c < 3; ++c)
            engine->PlayChannel(qint16(c), 1);
        engine->flush();
        // A few periods: the old buffers fade out and come back to be freed.
        for (int p = 0; p < 4; ++p)
            device->render(period.data(), 256);
        QCoreApplication::processEvents();
        stillDecoding += engine->status(0).decoding;
        const int now = threadCount();
        most = std::max(most, now);
        least = std::min(least, now);
    }
    EXPECT_EQ(most, threadsBefore) << "threads were started per load or per freed buffer";
    EXPECT_EQ(least, threadsBefore);
    EXPECT_GT(stillDecoding, 150) << "the switches did not catch the buffers while decoding";

    // Everything but the three current buffers is freed by the loader, without further calls.
    for (int c = 0; c < 3; ++c)
        engine->StopChannel(qint16(c));
    engine->flush();
    for (int p = 0; p < 8; ++p)
        device->render(period.data(), 256);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return DX7Sound::liveSoundBuffers() == liveBefore + 3; }, 20000))
        << DX7Sound::liveSoundBuffers() - liveBefore << " buffers alive";
    // The engine's end frees those and ends its loader thread.
    engine.reset();
    EXPECT_EQ(DX7Sound::liveSoundBuffers(), liveBefore);
    EXPECT_EQ(threadCount(), threadsBefore - 1);
}
