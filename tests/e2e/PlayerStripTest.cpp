// SPDX-License-Identifier: GPL-3.0-or-later
// The channel strips and the sync panel, end to end: knob drags, button presses and what the
// engine's channels do.
#include "e2e/PlayerFixture.h"

#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "player/Form1.h"
#include "player/PhraseList.h"

#include <QTimer>

using namespace PlayerTest;

namespace {

int volumeOf(int level)
{
    return level * 60 - 6000;
}
int panOf(int pan)
{
    return pan == 0 ? -10000 : pan == 100 ? 10000 : pan * 100 - 5000;
}

class ChannelStrip : public PlayerFixture
{
protected:
    void SetUp() override
    {
        addSet(QStringLiteral("a"), 600, 800, 1000);
        addSet(QStringLiteral("intro"), 300, 400, 500);
        // Selecting phrases only: the strips are driven by their own buttons here.
        autoPlay = 0;
    }

    // Selects the entry in its list and nowhere else.
    void select(int list, const QString& entry)
    {
        pressRow(list, entry);
        settle();
    }

    std::array<bool, 3> playButtons()
    {
        return { ui().miniButtonGreen1->Value(), ui().miniButtonGreen2->Value(),
            ui().miniButtonGreen3->Value() };
    }
    std::array<bool, 3> enginePlaying()
    {
        return { engine().status(0).playing, engine().status(1).playing,
            engine().status(2).playing };
    }
};

using Flags = std::array<bool, 3>;

TEST_F(ChannelStrip, LevelKnobFollowsTheDragUnlessMuted)
{
    phraseSync = 0;
    start();
    select(0, QStringLiteral("intro_1"));
    press(ui().miniButtonGreen1);
    settle();
    ASSERT_TRUE(engine().status(0).playing);

    drag(ui().animKnob1, 6);
    const int turned = ui().animKnob1->Value();
    EXPECT_NE(turned, 80);
    EXPECT_EQ(engine().status(0).volume, volumeOf(turned));

    press(ui().miniButton1);
    EXPECT_TRUE(ui().miniButton1->Value());
    EXPECT_EQ(engine().status(0).volume, volumeOf(0));
    drag(ui().animKnob1, -12);
    const int whileMuted = ui().animKnob1->Value();
    EXPECT_NE(whileMuted, turned);
    EXPECT_EQ(engine().status(0).volume, volumeOf(0)) << "a muted channel keeps level 0";

    press(ui().miniButton1);
    EXPECT_FALSE(ui().miniButton1->Value());
    EXPECT_EQ(engine().status(0).volume, volumeOf(whileMuted));

    // A double click on a Level knob means nothing.
    doubleClick(ui().animKnob1);
    EXPECT_EQ(ui().animKnob1->Value(), whileMuted);
    EXPECT_EQ(engine().status(0).volume, volumeOf(whileMuted));
    EXPECT_TRUE(engine().status(0).playing);
}

TEST_F(ChannelStrip, PanKnobDragAndDoubleClickCentres)
{
    phraseSync = 0;
    start();
    drag(ui().animKnob4, 5);
    const int turned = ui().animKnob4->Value();
    EXPECT_GT(turned, 50);
    EXPECT_EQ(engine().status(1).pan, panOf(turned));
    drag(ui().animKnob4, -15);
    EXPECT_LT(ui().animKnob4->Value(), 50);
    EXPECT_EQ(engine().status(1).pan, panOf(ui().animKnob4->Value()));

    doubleClick(ui().animKnob4);
    EXPECT_EQ(ui().animKnob4->Value(), 50);
    EXPECT_EQ(engine().status(1).pan, 0);
}

TEST_F(ChannelStrip, PlayStartsAtTheKnobLevelEvenWhenMutedAndStopsAgain)
{
    phraseSync = 0;
    start();
    select(1, QStringLiteral("intro_2"));
    ui().animKnob3->setValue(90);
    ui().animKnob4->setValue(40);
    press(ui().miniButton2);
    ASSERT_TRUE(ui().miniButton2->Value());

    press(ui().miniButtonGreen2);
    settle();
    const auto started = engine().status(1);
    EXPECT_EQ(started.file, soundPath("intro_2.wav"));
    EXPECT_EQ(started.volume, volumeOf(90)) << "Play does not consult Mute";
    EXPECT_EQ(started.pan, panOf(40));
    EXPECT_TRUE(started.playing);
    EXPECT_TRUE(ui().miniButton2->Value());
    EXPECT_EQ(playingFlags(), (Flags { false, true, false }));
    EXPECT_EQ(playButtons(), (Flags { false, true, false }));
    EXPECT_TRUE(ui().syncButton1->Value());

    // Mute up re-sends the knob level, down again mutes.
    press(ui().miniButton2);
    EXPECT_EQ(engine().status(1).volume, volumeOf(90));
    press(ui().miniButton2);
    EXPECT_EQ(engine().status(1).volume, volumeOf(0));

    press(ui().miniButtonGreen2);
    settle();
    EXPECT_FALSE(engine().status(1).playing);
    EXPECT_EQ(engine().status(1).file, soundPath("intro_2.wav")) << "a stop keeps the sound";
    EXPECT_EQ(playingFlags(), (Flags { false, false, false }));
    EXPECT_EQ(playButtons(), (Flags { false, false, false }));
    EXPECT_FALSE(ui().syncButton1->Value());
}

TEST_F(ChannelStrip, SyncLampStaysLitUntilTheLastFlaggedChannelStops)
{
    phraseSync = 0;
    start();
    select(0, QStringLiteral("intro_1"));
    select(1, QStringLiteral("intro_2"));
    press(ui().miniButtonGreen1);
    press(ui().miniButtonGreen2);
    settle();
    EXPECT_EQ(enginePlaying(), (Flags { true, true, false }));
    EXPECT_TRUE(ui().syncButton1->Value());

    press(ui().miniButtonGreen1);
    EXPECT_TRUE(ui().syncButton1->Value());
    press(ui().miniButtonGreen2);
    settle();
    EXPECT_FALSE(ui().syncButton1->Value());
    EXPECT_EQ(enginePlaying(), (Flags { false, false, false }));
}

TEST_F(ChannelStrip, PlayWithNothingSelectedPopsBackUp)
{
    start();
    press(ui().miniButtonGreen3);
    settle();
    EXPECT_FALSE(ui().miniButtonGreen3->Value());
    EXPECT_FALSE(playingFlags()[2]);
    EXPECT_FALSE(engine().status(2).playing);
    EXPECT_FALSE(ui().syncButton1->Value());
}

TEST_F(ChannelStrip, PlayAfterARefreshWhileLoopingOnlyPopsUpThenStopsOnSelection)
{
    phraseSync = 0;
    autoPlay = 1;
    start();
    pressRow(1, QStringLiteral("intro_2"));
    settle();
    ASSERT_TRUE(engine().status(1).playing);
    ASSERT_TRUE(ui().miniButtonGreen2->Value());

    ui().mnuEnding->trigger(); // refresh: no selection, the phrase loops on
    ASSERT_EQ(selectedRow(1), -1);
    press(ui().miniButtonGreen2);
    settle();
    EXPECT_FALSE(ui().miniButtonGreen2->Value());
    EXPECT_TRUE(playingFlags()[1]);
    EXPECT_TRUE(engine().status(1).playing);
    EXPECT_TRUE(ui().syncButton1->Value());

    // With Auto Play off, a selection and a Play press stop the channel; the button, which
    // flipped down, stays down.
    ui().mnuAutoPlay->trigger();
    ASSERT_EQ(values().AutoPlay, 0);
    pressRow(1, QStringLiteral("intro_2.wav"));
    press(ui().miniButtonGreen2);
    settle();
    EXPECT_FALSE(engine().status(1).playing);
    EXPECT_FALSE(playingFlags()[1]);
    EXPECT_TRUE(ui().miniButtonGreen2->Value());
    EXPECT_FALSE(ui().syncButton1->Value());
}

TEST_F(ChannelStrip, SyncPanelStopsAPhraseLoopingWithoutSelection)
{
    phraseSync = 0;
    autoPlay = 1;
    start();
    pressRow(1, QStringLiteral("intro_2"));
    ui().mnuEnding->trigger();
    press(ui().miniButtonGreen2); // pops up; the phrase loops on
    press(ui().syncButton1);
    settle();
    EXPECT_EQ(enginePlaying(), (Flags { false, false, false }));
    EXPECT_EQ(playingFlags(), (Flags { false, false, false }));
    EXPECT_EQ(playButtons(), (Flags { false, false, false }));
    EXPECT_FALSE(ui().syncButton1->Value());
}

class SyncPanel : public ChannelStrip
{
};

TEST_F(SyncPanel, StartsTheSelectedColumnsOnOneFrame)
{
    phraseSync = 0;
    start();
    select(0, QStringLiteral("intro_1"));
    select(2, QStringLiteral("a_3"));
    ui().animKnob5->setValue(60);

    startPump(64);
    press(ui().syncButton1);
    for (int i = 0; i < 20; ++i)
        settle();
    stopPump();

    EXPECT_EQ(enginePlaying(), (Flags { true, false, true }));
    EXPECT_EQ(engine().status(0).file, soundPath("intro_1.wav"));
    EXPECT_EQ(engine().status(2).file, soundPath("a_3.wav"));
    EXPECT_EQ(engine().status(2).volume, volumeOf(60));
    EXPECT_EQ(engine().status(1).file, values().DefaultWav);
    EXPECT_EQ(playingFlags(), (Flags { true, false, true }));
    EXPECT_EQ(playButtons(), (Flags { true, false, true }));
    EXPECT_TRUE(ui().syncButton1->Value());

    const SoundTestKit::Signal& out = pumped();
    const qint64 onset = SoundTestKit::onsetFrame(out, 0, 1e-6f);
    ASSERT_GE(onset, 0) << "nothing was heard";
    EXPECT_EQ(nonSilentFrames(out, 0, 0, onset + 4800), (QList<qint64> { onset }));
}

TEST_F(SyncPanel, NothingSelectedGoesDownAndBackUp)
{
    start();
    press(ui().syncButton1);
    settle();
    EXPECT_FALSE(ui().syncButton1->Value());
    EXPECT_EQ(playingFlags(), (Flags { false, false, false }));
    EXPECT_EQ(enginePlaying(), (Flags { false, false, false }));
}

TEST_F(SyncPanel, LampShowsTheStartedSetWhateverItShowedBefore)
{
    phraseSync = 0;
    start();
    select(0, QStringLiteral("a_1"));
    // Lit with nothing flagged: the press flips it off, the start lights it again.
    ui().syncButton1->setValue(true);
    press(ui().syncButton1);
    settle();
    EXPECT_EQ(enginePlaying(), (Flags { true, false, false }));
    EXPECT_TRUE(ui().syncButton1->Value());
}

TEST_F(SyncPanel, StopsEverythingAfterASinglePlayStart)
{
    phraseSync = 0;
    start();
    select(0, QStringLiteral("intro_1"));
    select(1, QStringLiteral("intro_2"));
    press(ui().miniButtonGreen2);
    settle();
    ASSERT_EQ(enginePlaying(), (Flags { false, true, false }));

    press(ui().syncButton1);
    settle();
    EXPECT_EQ(enginePlaying(), (Flags { false, false, false })) << "stops, starts nothing";
    EXPECT_EQ(playingFlags(), (Flags { false, false, false }));
    EXPECT_EQ(playButtons(), (Flags { false, false, false }));
    EXPECT_FALSE(ui().syncButton1->Value());
}

TEST_F(SyncPanel, MutedColumnStartsAtLevelZeroUnlikeWithItsPlayButton)
{
    phraseSync = 0;
    start();
    select(0, QStringLiteral("a_1"));
    select(1, QStringLiteral("a_2"));
    ui().animKnob3->setValue(70);
    press(ui().miniButton2);

    press(ui().syncButton1);
    settle();
    EXPECT_EQ(engine().status(1).volume, volumeOf(0));
    EXPECT_EQ(engine().status(0).volume, volumeOf(80));
    EXPECT_EQ(enginePlaying(), (Flags { true, true, false }));

    // A second press stops both and leaves every button up.
    press(ui().syncButton1);
    settle();
    EXPECT_EQ(enginePlaying(), (Flags { false, false, false }));
    EXPECT_EQ(playButtons(), (Flags { false, false, false }));
    EXPECT_FALSE(ui().syncButton1->Value());

    press(ui().miniButtonGreen2);
    settle();
    EXPECT_EQ(engine().status(1).volume, volumeOf(70));
    EXPECT_TRUE(ui().miniButton2->Value());
}

TEST_F(SyncPanel, SelectionClearedDuringThePassesIsNotStarted)
{
    phraseSync = 0;
    start();
    select(0, QStringLiteral("a_1"));
    select(1, QStringLiteral("a_2"));
    select(2, QStringLiteral("a_3"));
    QTimer::singleShot(0, [this] { ui().lstPhrase[1]->clearSelection(); });
    press(ui().syncButton1);
    settle();
    EXPECT_EQ(enginePlaying(), (Flags { true, false, true }));
    EXPECT_EQ(engine().status(1).file, soundPath("a_2.wav")) << "loaded before the passes";
    EXPECT_EQ(playingFlags(), (Flags { true, true, true }));
    EXPECT_TRUE(ui().syncButton1->Value());
}

} // namespace
