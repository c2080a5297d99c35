// SPDX-License-Identifier: GPL-3.0-or-later
// The headline promise: starts issued one right after the other begin on the same output frame,
// even while the audio thread renders concurrently and crosses period boundaries at any moment.

#include "SoundEngineFixture.h"

#include <QCoreApplication>
#include <atomic>
#include <thread>
#include <vector>

namespace {

// Renders on its own thread in periods of varying odd sizes and checks every onset: the first
// non-silent frame after silence must already hold the sum of all three channels.
class Renderer
{
public:
    explicit Renderer(DX7Sound::OfflineDevice* device)
        : m_device(device)
        , m_thread([this] { run(); })
    { }
    ~Renderer()
    {
        m_stop = true;
        m_thread.join();
    }
    int onsets() const { return m_onsets.load(); }
    int splitOnsets() const { return m_split.load(); }
    bool silent() const { return m_silent.load(); }
    bool soundingFully() const { return m_full.load(); }

private:
    void run()
    {
        static const int periods[] = { 1, 7, 31, 64, 97, 128, 251, 256, 509 };
        std::vector<float> buf(2 * 512);
        bool wasSilent = true;
        size_t turn = 0;
        while (!m_stop) {
            const int n = periods[turn++ % std::size(periods)];
            m_device->render(buf.data(), n);
            for (int k = 0; k < n; ++k) {
                const float l = buf[size_t(2 * k)], r = buf[size_t(2 * k + 1)];
                const bool silentNow = l == 0.0f && r == 0.0f;
                if (wasSilent && !silentNow) {
                    ++m_onsets;
                    // Left carries channels 0 and 2, right carries 1 and 2.
                    if (std::fabs(l - 0.3f) > 1e-4f || std::fabs(r - 0.6f) > 1e-4f)
                        ++m_split;
                }
                wasSilent = silentNow;
            }
            const float l = buf[size_t(2 * (n - 1))], r = buf[size_t(2 * (n - 1) + 1)];
            m_silent = l == 0.0f && r == 0.0f;
            m_full = std::fabs(l - 0.3f) < 1e-4f && std::fabs(r - 0.6f) < 1e-4f;
            std::this_thread::yield();
        }
    }

    DX7Sound::OfflineDevice* m_device;
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_onsets { 0 };
    std::atomic<int> m_split { 0 };
    std::atomic<bool> m_silent { true };
    std::atomic<bool> m_full { false };
    std::thread m_thread;
};

template <typename F> bool waitFor(F condition)
{
    for (int i = 0; i < 20000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return false;
}

} // namespace

TEST_F(OfflineEngineTest, GroupedStartsBeginOnTheSameFrameAgainstAConcurrentRenderer)
{
    const QString a = wav("a.wav", dc(0.1f));
    const QString b = wav("b.wav", dc(0.4f));
    const QString c = wav("c.wav", dc(0.2f));
    engine->InitChannels(10, a);
    Renderer renderer(device);
    const int rounds = 300;
    for (int round = 0; round < rounds; ++round) {
        // As the sync start does it: load the three, let events run, then start them in a row.
        if (round % 10 == 0) {
            engine->LoadFile(0, a, 100, 0);
            engine->LoadFile(1, b, 100, 100);
            engine->SetChannelPan(1, 100);
            engine->LoadFile(2, c, 100, 50);
            QCoreApplication::processEvents();
        }
        engine->PlayChannel(0, 1);
        engine->PlayChannel(1, 1);
        engine->PlayChannel(2, 1);
        QCoreApplication::processEvents();
        ASSERT_TRUE(waitFor([&] { return renderer.soundingFully(); })) << round;
        engine->StopChannel(0);
        engine->StopChannel(1);
        engine->StopChannel(2);
        QCoreApplication::processEvents();
        ASSERT_TRUE(waitFor([&] { return renderer.silent(); })) << round;
    }
    EXPECT_EQ(renderer.onsets(), rounds);
    EXPECT_EQ(renderer.splitOnsets(), 0);
}
