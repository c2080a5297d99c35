// SPDX-License-Identifier: GPL-3.0-or-later
// Knob values the engine cannot take as 8-bit values (only a hand-edited set settings file puts
// them into a knob) and values the engine itself refuses.
#include "e2e/PlayerFixture.h"

#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "player/Form1.h"
#include "player/PlayerModel.h"

using namespace PlayerTest;

namespace {

int volumeOf(int level)
{
    return level * 60 - 6000;
}

class OutOfRange : public PlayerFixture
{
protected:
    void SetUp() override
    {
        addSet(QStringLiteral("intro"), 300, 400, 500);
        addSet(QStringLiteral("b"), 600, 700, 800);
    }
};

TEST_F(OutOfRange, SetFileValuesBeyondEightBitsSkipOnlyThatColumnsLoad)
{
    addTextFile(QStringLiteral("intro.ini"),
        "[Vorn's Sorvanto]\nLevel1=300\nPan2=-5\nLevel2=40000\nLevel3=150\nPan3=120\n");
    start();
    pressRow(0, QStringLiteral("intro_1"));
    settle();

    EXPECT_EQ(ui().animKnob1->Value(), 300);
    EXPECT_EQ(ui().animKnob3->Value(), 80) << "a value beyond 16 bits leaves the knob";
    EXPECT_EQ(ui().animKnob4->Value(), -5);
    EXPECT_EQ(ui().animKnob5->Value(), 150);
    EXPECT_EQ(ui().animKnob6->Value(), 120);

    // Columns 1 and 2 behave as after a failed load: the default clip stays and plays.
    for (qint16 c : { 0, 1 }) {
        const auto s = engine().status(c);
        EXPECT_EQ(s.file, values().DefaultWav) << c;
        EXPECT_EQ(s.volume, volumeOf(80)) << c;
        EXPECT_TRUE(s.playing) << c;
    }
    // Column 3 is within 8 bits: the engine's own rules leave level and pan alone on a load.
    const auto third = engine().status(2);
    EXPECT_EQ(third.file, soundPath("intro_3.wav"));
    EXPECT_EQ(third.volume, 0);
    EXPECT_EQ(third.pan, 0);
    EXPECT_TRUE(third.playing);
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
    EXPECT_TRUE(ui().syncButton1->Value());

    // Muting sends 0; un-muting cannot send 300 and leaves the channel muted.
    press(ui().miniButton1);
    EXPECT_EQ(engine().status(0).volume, volumeOf(0));
    press(ui().miniButton1);
    EXPECT_EQ(engine().status(0).volume, volumeOf(0));

    // A muted column loads at level 0 whatever its knob says.
    press(ui().miniButton1);
    press(ui().syncButton1); // stop all
    press(ui().syncButton1); // start again
    settle();
    EXPECT_EQ(engine().status(0).file, soundPath("intro_1.wav"));
    EXPECT_EQ(engine().status(0).volume, volumeOf(0));
    EXPECT_EQ(engine().status(1).file, values().DefaultWav);
}

TEST_F(OutOfRange, KnobEventsWithUnrepresentableValuesChangeNothing)
{
    start();
    Form1& f = form();
    qint16 v = 300;
    f.model().turnLevel(0, v);
    EXPECT_EQ(engine().status(0).volume, volumeOf(80));
    v = -1;
    f.model().turnLevel(0, v);
    EXPECT_EQ(engine().status(0).volume, volumeOf(80));
    v = 150; // refused by the engine: the old level stays
    f.model().turnLevel(0, v);
    EXPECT_EQ(engine().status(0).volume, volumeOf(80));
    v = 100;
    f.model().turnLevel(0, v);
    EXPECT_EQ(engine().status(0).volume, 0);

    v = 256;
    f.model().turnPan(1, v);
    EXPECT_EQ(engine().status(1).pan, 0);
    v = 150;
    f.model().turnPan(1, v);
    EXPECT_EQ(engine().status(1).pan, 10000);
    v = 151; // refused by the engine
    f.model().turnPan(1, v);
    EXPECT_EQ(engine().status(1).pan, 10000);
    v = 0;
    f.model().turnPan(1, v);
    EXPECT_EQ(engine().status(1).pan, -10000);
}

TEST_F(OutOfRange, SingleStartsWithUnrepresentableValuesPlayWhatTheChannelHolds)
{
    phraseSync = 0;
    start();
    pressRow(0, QStringLiteral("b_1"));
    settle();
    ASSERT_EQ(engine().status(0).file, soundPath("b_1.wav"));
    press(ui().miniButtonGreen1); // stop
    ASSERT_FALSE(engine().status(0).playing);

    // Auto Play of one phrase with the Level knob out of range.
    ui().animKnob1->setValue(-3);
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    EXPECT_EQ(engine().status(0).file, soundPath("b_1.wav"));
    EXPECT_TRUE(engine().status(0).playing);
    EXPECT_TRUE(playingFlags()[0]);

    // The Play button with the Pan knob out of range.
    ui().animKnob1->setValue(80);
    ui().animKnob4->setValue(1000);
    pressRow(1, QStringLiteral("intro_2"));
    press(ui().miniButtonGreen2); // stops what Auto Play started
    press(ui().miniButtonGreen2); // starts again
    settle();
    EXPECT_EQ(engine().status(1).file, values().DefaultWav);
    EXPECT_TRUE(engine().status(1).playing);
    EXPECT_TRUE(playingFlags()[1]);
}

TEST_F(OutOfRange, PlayPushLeavesTheButtonUpThroughItsArgument)
{
    start();
    ui().miniButtonGreen1->setValue(true);
    const bool value = form().model().pressPlay(0);
    EXPECT_FALSE(value);
    EXPECT_FALSE(ui().miniButtonGreen1->Value());
    EXPECT_FALSE(playingFlags()[0]);
}

} // namespace
