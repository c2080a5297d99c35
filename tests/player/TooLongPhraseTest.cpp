// SPDX-License-Identifier: GPL-3.0-or-later
// A phrase too long to hold in memory: the player says so once per gesture, and the column it
// was meant for shows what really sounds (nothing: stopped, Play button up), while the other
// columns of the set start as usual.

#include "../manage/ManageTestSupport.h"
#include "player/PlayerModel.h"
#include "sound/AudioDevice.h"
#include "sound/DX7Sound.h"
#include "sound/WavLoader.h"
#include "support/SoundTestKit.h"

#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

namespace {

// A fast device rate makes a file of a few megabytes at 1 kHz too long to hold on any machine.
constexpr int deviceRate = 768000;

class TooLongPhraseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        values.WAVpath = dir.path() + QLatin1Char('/');
        values.ShowEnding = 1;
        values.PhraseSync = 1;
        values.AutoPlay = 1;
        ASSERT_TRUE(engine.InitDirectSound());
        engine.InitChannels(10, dir.filePath("missing.wav"));
    }

    // Unsigned 8-bit mono at 1 kHz whose 16-bit form at the device rate needs more than one
    // sound may take; returns its length in source frames.
    qint64 writeTooLong(const QString& name)
    {
        const qint64 frames = DX7Sound::maxDecodedBytes() / (2 * (deviceRate / 1000)) + 1000;
        SF_INFO info {};
        info.samplerate = 1000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
        SNDFILE* f = sf_open(QFile::encodeName(dir.filePath(name)).constData(), SFM_WRITE, &info);
        EXPECT_TRUE(f);
        std::vector<short> block(100000, 8000);
        for (qint64 done = 0; done < frames; done += qint64(block.size()))
            sf_writef_short(f, block.data(), std::min<qint64>(qint64(block.size()), frames - done));
        sf_close(f);
        return frames;
    }

    void writeShort(const QString& name)
    {
        SoundTestKit::Signal s;
        s.rate = deviceRate;
        s.samples.assign(size_t(deviceRate / 10) * 2, 0.25f);
        ASSERT_TRUE(SoundTestKit::writeWav(dir.filePath(name), s));
    }

    QString expectedNotice(const QString& name, qint64 sourceFrames) const
    {
        const qint64 minutes = std::llround(double(sourceFrames) / 1000.0 / 60.0);
        const double gb = double(sourceFrames) * (deviceRate / 1000) * 2 / 1e9;
        return QStringLiteral("'%1' is too long to play: %2 minutes at %3 Hz needs %4 GB.")
            .arg(name)
            .arg(minutes)
            .arg(deviceRate)
            .arg(QString::number(gb, 'f', 1));
    }

    QTemporaryDir dir;
    Commands::ProgramValues values;
    ManageTest::FakeHost host;
    DX7Sound::Engine engine { [] {
        return std::make_unique<DX7Sound::OfflineDevice>(deviceRate);
    } };
    DirectoryWatcher watcher;
    PlayerModel model { host, values, engine, watcher };
};

} // namespace

TEST_F(TooLongPhraseTest, ASetWithATooLongPhraseStartsTheOthersAndTellsOnce)
{
    writeShort("big_1.wav");
    const qint64 frames = writeTooLong("big_2.wav");
    writeShort("big_3.wav");
    model.refreshLists();
    // Column 2 plays something else first: the refused load must not leave it sounding.
    writeShort("other.wav");
    model.refreshLists();
    ASSERT_TRUE(host.select(1, QStringLiteral("other.wav")));
    ASSERT_TRUE(model.pressPlay(1));
    ASSERT_TRUE(engine.status(1).playing);
    ASSERT_TRUE(host.notices.isEmpty());

    ASSERT_TRUE(host.select(1, QStringLiteral("big_2.wav")));
    model.pressList(1, Qt::LeftButton);

    ASSERT_EQ(host.notices.size(), 1) << host.notices.join(u'|').toStdString();
    EXPECT_EQ(host.notices.first(), expectedNotice(QStringLiteral("big_2.wav"), frames));
    for (int c : { 0, 2 }) {
        EXPECT_TRUE(model.playing(c)) << c;
        EXPECT_TRUE(host.playButtons[size_t(c)]) << c;
        EXPECT_TRUE(engine.status(qint16(c)).playing) << c;
        EXPECT_TRUE(
            engine.status(qint16(c)).file.endsWith(QStringLiteral("big_%1.wav").arg(c + 1)));
    }
    EXPECT_FALSE(model.playing(1));
    EXPECT_FALSE(host.playButtons[1]);
    EXPECT_FALSE(engine.status(1).playing) << "the old phrase keeps sounding under an unlit button";
    EXPECT_TRUE(engine.status(1).file.endsWith(QStringLiteral("other.wav")));
    EXPECT_TRUE(host.syncButton);
}

TEST_F(TooLongPhraseTest, APlayPressOnATooLongPhraseLeavesTheButtonUpAndTheLampTrue)
{
    const qint64 frames = writeTooLong("huge.wav");
    model.refreshLists();
    ASSERT_TRUE(host.select(2, QStringLiteral("huge.wav")));
    // The view has flipped the button already; the model's answer puts it back up.
    host.playButtons[2] = true;
    EXPECT_FALSE(model.pressPlay(2));
    EXPECT_FALSE(model.playing(2));
    EXPECT_FALSE(host.playButtons[2]);
    EXPECT_FALSE(host.syncButton);
    EXPECT_FALSE(engine.status(2).playing);
    ASSERT_EQ(host.notices.size(), 1);
    EXPECT_EQ(host.notices.first(), expectedNotice(QStringLiteral("huge.wav"), frames));

    // Told again at the next press, not piled up from before.
    values.PhraseSync = 0;
    model.pressList(2, Qt::LeftButton);
    EXPECT_EQ(host.notices.size(), 2);
    EXPECT_FALSE(model.playing(2));
    EXPECT_FALSE(host.syncButton);
}
