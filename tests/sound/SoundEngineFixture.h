// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An engine on an offline device that the test pulls frames from, and WAV files in a temporary
// directory.

#include "DecodeHold.h"
#include "sound/AudioDevice.h"
#include "sound/DX7Sound.h"
#include "support/SoundTestKit.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

class OfflineEngineTest : public ::testing::Test
{
protected:
    static constexpr int rate = 44100;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        engine = std::make_unique<DX7Sound::Engine>(
            [this] {
                auto d = std::make_unique<DX7Sound::OfflineDevice>(rate);
                device = d.get();
                ++devicesMade;
                return std::unique_ptr<DX7Sound::AudioDevice>(std::move(d));
            },
            &gate);
        ASSERT_TRUE(engine->InitDirectSound());
    }

    // Writes `signal` as <name> in the temporary directory and returns its path.
    QString wav(const QString& name, const SoundTestKit::Signal& signal, int format = 0)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(SoundTestKit::writeWav(path, signal, format)) << path.toStdString();
        return path;
    }

    // A constant `value` on both sides, `frames` long: output / value is the gain.
    static SoundTestKit::Signal dc(float value, qint64 frames = rate, int channels = 2)
    {
        SoundTestKit::Signal s;
        s.rate = rate;
        s.channels = channels;
        s.samples.assign(size_t(frames * channels), value);
        return s;
    }

    // Publishes pending commands, then renders `frames` frames in periods of `period`.
    SoundTestKit::Signal render(qint64 frames, int period = 256)
    {
        engine->flush();
        SoundTestKit::Signal out;
        out.rate = rate;
        out.samples.resize(size_t(frames * 2));
        for (qint64 done = 0; done < frames; done += period) {
            const int n = int(std::min<qint64>(period, frames - done));
            device->render(out.samples.data() + 2 * done, n);
        }
        return out;
    }

    QTemporaryDir dir;
    DecodeHold gate; // decoding runs free unless a test holds it
    DX7Sound::OfflineDevice* device = nullptr;
    int devicesMade = 0;
    std::unique_ptr<DX7Sound::Engine> engine;
};
