// SPDX-License-Identifier: GPL-3.0-or-later
// A phrase set started by a click and changed by a Mute press, heard through the test run's
// PulseAudio null sink: levels in dB, onsets in step.
#include "e2e/PlayerFixture.h"

#include "controls/StripButton.h"
#include "player/Form1.h"

#include <QTest>

using namespace PlayerTest;

namespace {

// RMS in dB full scale of a cosine with peak 0.5.
const double kFullDb = 20.0 * std::log10(0.5 / std::sqrt(2.0));

class PlayerSink : public PlayerFixture
{
};

TEST_F(PlayerSink, ClickStartsTheSetInStepAndMuteChangesOnlyItsChannel)
{
    ASSERT_TRUE(SoundTestKit::pulseServerUp()) << "the test run's PulseAudio server is not up";
    // Column 1 sounds on the left, columns 2 and 3 on the right, each at its own frequency.
    // Three seconds hold a whole number of periods of each tone, so the loop has no seam.
    addPhrase(QStringLiteral("intro_1.wav"), tone(440, 3.0, 0));
    addPhrase(QStringLiteral("intro_2.wav"), tone(660, 3.0, 1));
    addPhrase(QStringLiteral("intro_3.wav"), tone(880, 3.0, 1));
    addTextFile(QStringLiteral("intro.ini"),
        "[Vorn's Sorvanto]\nLevel1=100\nLevel2=90\nMute2=1\nLevel3=80\n");
    start(true);
    ASSERT_TRUE(engine().deviceOpen()) << "no sound output";

    SoundTestKit::SinkRecorder recorder(m_root.path() + QStringLiteral("/sink.wav"));
    ASSERT_TRUE(recorder.start()) << recorder.errorText().toStdString();
    pressRow(0, QStringLiteral("intro_1"));
    ASSERT_TRUE(ui().miniButton2->Value());
    QTest::qWait(1200);
    press(ui().miniButton2); // un-mute: the knob's level 90
    ASSERT_FALSE(ui().miniButton2->Value());
    QTest::qWait(1200);
    SoundTestKit::Signal out;
    ASSERT_TRUE(recorder.stop(out)) << recorder.errorText().toStdString();
    ASSERT_EQ(out.rate, 48000);

    const qint64 left = SoundTestKit::onsetFrame(out, 0, 0.01f);
    const qint64 right = SoundTestKit::onsetFrame(out, 1, 0.01f);
    ASSERT_GE(left, 0) << "nothing was heard on the left";
    ASSERT_GE(right, 0) << "nothing was heard on the right";
    EXPECT_LE(std::abs(left - right), 1) << "columns 1 and 3 start on one frame";

    // Levels are medians over 50 ms blocks (whole periods of each tone): a dropout of the
    // recording on a busy machine lowers a block or two, not the reading.
    // Before the Mute press: column 2 at level 0 (-60 dB), column 3 at 80 (-12 dB).
    const qint64 a = left + 9600;
    const qint64 aEnd = a + 24000;
    EXPECT_NEAR(steadyToneDb(out, 0, 440, a, aEnd), kFullDb, 0.5);
    EXPECT_NEAR(steadyToneDb(out, 1, 880, a, aEnd), kFullDb - 12.0, 0.5);
    EXPECT_NEAR(steadyToneDb(out, 1, 660, a, aEnd), kFullDb - 60.0, 1.5);
    EXPECT_LT(steadyToneDb(out, 0, 880, a, aEnd), kFullDb - 50.0) << "column 3 stays on the right";

    // After it: column 2 at its knob's 90 (-6 dB); the others unchanged and still in step.
    const qint64 bEnd = out.frames() - 9600;
    const qint64 b = bEnd - 24000;
    ASSERT_GT(b, aEnd + 9600) << "recording too short";
    EXPECT_NEAR(steadyToneDb(out, 1, 660, b, bEnd), kFullDb - 6.0, 0.5);
    EXPECT_NEAR(steadyToneDb(out, 0, 440, b, bEnd), kFullDb, 0.5);
    EXPECT_NEAR(steadyToneDb(out, 1, 880, b, bEnd), kFullDb - 12.0, 0.5);
}

} // namespace
