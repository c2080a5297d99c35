// SPDX-License-Identifier: GPL-3.0-or-later
// A press in a phrase list, end to end: from the simulated mouse press to the controls, the
// engine's channels and the rendered sound.
#include "e2e/PlayerFixture.h"
#include "player/PlayerModel.h"

#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "manage/ManageTestSupport.h"
#include "player/Form1.h"
#include "player/PhraseList.h"

#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <cmath>

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

// Gain in dB of one side of a voice with the engine's volume and pan (hundredths of a dB).
double sideDb(const DX7Sound::ChannelStatus& s, int side)
{
    double db = s.volume / 100.0;
    if (side == 0 && s.pan > 0)
        db -= s.pan / 100.0;
    if (side == 1 && s.pan < 0)
        db += s.pan / 100.0;
    return db;
}

// RMS in dB full scale of a cosine with peak 0.2 (the marked phrases' tone).
const double kToneDb = 20.0 * std::log10(0.2 / std::sqrt(2.0));

class PhraseSelection : public PlayerFixture
{
protected:
    // Three lists: a_n, intro_n, zeta (zeta has no marker and stands in all three).
    void SetUp() override
    {
        addSet(QStringLiteral("a"), 600, 800, 1000);
        addSet(QStringLiteral("intro"), 300, 400, 500, 1.5, 24000);
        addPhrase(QStringLiteral("zeta.wav"), markedPhrase(1200, 0.5));
    }

    void expectChannel(int c, const QString& file, int volume, int pan, bool playing)
    {
        const DX7Sound::ChannelStatus s = engine().status(qint16(c));
        EXPECT_EQ(s.file, file) << "channel " << c;
        EXPECT_EQ(s.volume, volume) << "channel " << c;
        EXPECT_EQ(s.pan, pan) << "channel " << c;
        EXPECT_EQ(s.playing, playing) << "channel " << c;
    }

    void expectKnobs(std::array<int, 6> values)
    {
        const animKnob* knobs[6] = { ui().animKnob1, ui().animKnob2, ui().animKnob3, ui().animKnob4,
            ui().animKnob5, ui().animKnob6 };
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(knobs[k]->Value(), values[size_t(k)]) << "animKnob" << k + 1;
    }

    std::array<bool, 3> playButtons()
    {
        return { ui().miniButtonGreen1->Value(), ui().miniButtonGreen2->Value(),
            ui().miniButtonGreen3->Value() };
    }
};

TEST_F(PhraseSelection, TypicalEventLinesUpLoadsAndStartsTheSetOnOneFrame)
{
    addTextFile(QStringLiteral("intro.ini"),
        "[Vorn's Sorvanto]\nLevel1=90\nPan1=40\nLevel2=60\nPan2=50\nLevel3=75.5\nPan3=62\n"
        "Mute1=0\nMute2=0\nMute3=01\n");
    start();
    ASSERT_EQ(entries(0), (QStringList { "a_1", "intro_1", "zeta" }));
    ASSERT_EQ(entries(1), (QStringList { "a_2", "intro_2", "zeta" }));
    ui().miniButton3->setValue(true);

    startPump(64);
    pressRow(1, QStringLiteral("intro_2"));
    for (int i = 0; i < 20; ++i)
        settle();
    stopPump();

    EXPECT_EQ(form().model().currentListIndex(), 1);
    EXPECT_EQ(selectedRow(0), 1);
    EXPECT_EQ(selectedRow(1), 1);
    EXPECT_EQ(selectedRow(2), 1);
    expectKnobs({ 90, 40, 60, 50, 76, 62 });
    EXPECT_FALSE(ui().miniButton1->Value());
    EXPECT_FALSE(ui().miniButton2->Value());
    EXPECT_FALSE(ui().miniButton3->Value()) << "only the exact text 1 mutes";
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
    EXPECT_EQ(playButtons(), (std::array<bool, 3> { true, true, true }));
    EXPECT_TRUE(ui().syncButton1->Value());
    // A new buffer is centred; a load leaves pan 50 alone.
    expectChannel(0, soundPath("intro_1.wav"), volumeOf(90), panOf(40), true);
    expectChannel(1, soundPath("intro_2.wav"), volumeOf(60), 0, true);
    expectChannel(2, soundPath("intro_3.wav"), volumeOf(76), panOf(62), true);

    // The sound: every voice puts one marker on its first frame; voices started on one frame
    // give a single non-silent frame before their tones begin.
    SoundTestKit::Signal out = pumped();
    const SoundTestKit::Signal rest = render(60000);
    out.samples.insert(out.samples.end(), rest.samples.begin(), rest.samples.end());
    const qint64 onset = SoundTestKit::onsetFrame(out, 0, 1e-6f);
    ASSERT_GE(onset, 0) << "nothing was heard";
    for (int side = 0; side < 2; ++side)
        EXPECT_EQ(nonSilentFrames(out, side, 0, onset + 24000), (QList<qint64> { onset }))
            << "side " << side;
    // Each tone at its channel's level and pan.
    const double frequencies[3] = { 300, 400, 500 };
    const qint64 from = onset + 24000 + 2400;
    for (int c = 0; c < 3; ++c)
        for (int side = 0; side < 2; ++side)
            EXPECT_NEAR(toneDb(out, side, frequencies[c], from, from + 24000),
                kToneDb + sideDb(engine().status(qint16(c)), side), 0.3)
                << "channel " << c << " side " << side;
}

TEST_F(PhraseSelection, RightPressSelectsTheRowRecordsTheListAndOpensThePopup)
{
    addTextFile(QStringLiteral("a.ini"), "[Vorn's Sorvanto]\nLevel1=44\n");
    start();
    pressRow(0, 0);
    settle();
    const auto before = engine().status(2);
    ui().animKnob6->setValue(60);

    pressRow(2, QStringLiteral("intro_3"), Qt::RightButton);
    settle();
    EXPECT_EQ(form().model().currentListIndex(), 2);
    EXPECT_TRUE(ui().mnuPop->isVisible());
    EXPECT_EQ(selectedRow(2), 1) << "the popup acts on the row under the pointer";
    EXPECT_EQ(selectedRow(0), 0) << "the other lists are not lined up";
    EXPECT_EQ(ui().animKnob6->Value(), 60);
    EXPECT_EQ(ui().animKnob1->Value(), 44);
    EXPECT_EQ(engine().status(2).file, before.file);
    EXPECT_EQ(engine().status(2).pan, before.pan);
    ui().mnuPop->close();
}

TEST_F(PhraseSelection, MiddlePressActsAsLeftPress)
{
    start();
    pressRow(2, QStringLiteral("intro_3"), Qt::MiddleButton);
    settle();
    EXPECT_EQ(form().model().currentListIndex(), 2);
    EXPECT_EQ(selectedRow(0), 1);
    EXPECT_EQ(selectedRow(1), 1);
    EXPECT_FALSE(ui().mnuPop->isVisible());
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
    // No settings file: the defaults, 80 and centre.
    for (int c = 0; c < 3; ++c)
        expectChannel(
            c, soundPath(QStringLiteral("intro_%1.wav").arg(c + 1)), volumeOf(80), 0, true);
}

TEST_F(PhraseSelection, WithoutAutoPlayOnlyTheControlsChange)
{
    autoPlay = 0;
    start();
    ui().animKnob1->setValue(55);
    ui().animKnob4->setValue(61);
    ui().miniButton2->setValue(true);
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    expectKnobs({ 80, 50, 80, 50, 80, 50 });
    EXPECT_FALSE(ui().miniButton2->Value());
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { false, false, false }));
    EXPECT_FALSE(ui().syncButton1->Value());
    for (int c = 0; c < 3; ++c) {
        EXPECT_FALSE(engine().status(qint16(c)).playing);
        EXPECT_EQ(engine().status(qint16(c)).file, values().DefaultWav);
    }
}

TEST_F(PhraseSelection, ShorterListKeepsItsSelectionAndSetFileComesFromListOne)
{
    // The row rule: members matched by position, not by name.
    lineUpByName = 0;
    // List 0 and 2 have five rows, list 1 three.
    addPhrases({ "p_1.wav", "q_1.wav", "r_1.wav", "s_1.wav", "t_1.wav", "p_2.wav", "q_2.wav",
        "r_2.wav", "p_3.wav", "q_3.wav", "r_3.wav", "s_3.wav", "t_3.wav" });
    addTextFile(QStringLiteral("t.ini"), "[Vorn's Sorvanto]\nLevel1=55\nPan3=64\n");
    autoPlay = 0;
    start();
    ASSERT_EQ(entries(0).size(), 8); // a_1, intro_1, p..t, zeta
    ASSERT_EQ(entries(1).size(), 6);

    pressRow(1, QStringLiteral("q_2"));
    ASSERT_EQ(selectedRow(1), 3);
    EXPECT_EQ(selectedRow(0), 3);
    EXPECT_EQ(selectedRow(2), 3);

    pressRow(0, QStringLiteral("t_1"));
    EXPECT_EQ(selectedRow(0), 6);
    EXPECT_EQ(selectedRow(1), 3) << "list 1 has no seventh row and keeps its selection";
    EXPECT_EQ(entries(2).at(selectedRow(2)), QStringLiteral("t_3"));
    expectKnobs({ 55, 50, 80, 50, 80, 64 });
}

TEST_F(PhraseSelection, PressInAnEmptyListKeepsTheOthersAndUsesListOnesSetFile)
{
    addTextFile(QStringLiteral("intro.ini"), "[Vorn's Sorvanto]\nLevel2=45\n");
    autoPlay = 0;
    start();
    pressRow(0, QStringLiteral("intro_1"));
    // A press below the last row selects nothing in that list.
    ui().lstPhrase[1]->clearSelection();
    ui().animKnob3->setValue(99);
    PhraseList* list = ui().lstPhrase[1];
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
        QPoint(20, list->viewport()->height() - 5));
    EXPECT_EQ(selectedRow(1), -1);
    EXPECT_EQ(selectedRow(0), 1);
    EXPECT_EQ(selectedRow(2), 1);
    EXPECT_EQ(ui().animKnob3->Value(), 45) << "the set file still comes from list 0";
}

TEST_F(PhraseSelection, ColumnWithoutSelectionIsLeftAlone)
{
    // The row rule: members matched by position, not by name.
    lineUpByName = 0;
    // List 2 has only a_3, intro_3 and zeta; zz_1, zz_2 give lists 0 and 1 a fourth row.
    addPhrases({ "zz_1.wav", "zz_2.wav" });
    start();
    pressRow(2, QStringLiteral("a_3"));
    settle();
    ASSERT_TRUE(engine().status(2).playing);
    ASSERT_EQ(engine().status(2).file, soundPath("a_3.wav"));

    // Show Extension twice: the same lists, no selection anywhere, the channels play on.
    ui().mnuEnding->trigger();
    ui().mnuEnding->trigger();
    ASSERT_EQ(selectedRow(2), -1);
    ASSERT_TRUE(engine().status(2).playing);

    pressRow(0, QStringLiteral("zz_1"));
    settle();
    EXPECT_EQ(selectedRow(1), 3);
    EXPECT_EQ(selectedRow(2), -1);
    expectChannel(0, soundPath("zz_1.wav"), volumeOf(80), 0, true);
    expectChannel(1, soundPath("zz_2.wav"), volumeOf(80), 0, true);
    expectChannel(2, soundPath("a_3.wav"), volumeOf(80), 0, true);
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
    EXPECT_TRUE(ui().miniButtonGreen3->Value());
}

TEST_F(PhraseSelection, MutedColumnStartsAtLevelZeroWithTheSet)
{
    addTextFile(QStringLiteral("intro.ini"), "[Vorn's Sorvanto]\nLevel2=90\nMute2=1\n");
    start();
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    EXPECT_TRUE(ui().miniButton2->Value());
    EXPECT_EQ(ui().animKnob3->Value(), 90);
    expectChannel(1, soundPath("intro_2.wav"), volumeOf(0), 0, true);
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
    EXPECT_TRUE(ui().syncButton1->Value());

    // Heard 60 dB down, not silenced, and in step with the others.
    const SoundTestKit::Signal out = render(60000);
    const qint64 onset = SoundTestKit::onsetFrame(out, 0, 1e-6f);
    ASSERT_GE(onset, 0);
    EXPECT_EQ(nonSilentFrames(out, 0, 0, onset + 24000), (QList<qint64> { onset }));
    const qint64 from = onset + 24000 + 2400;
    EXPECT_NEAR(toneDb(out, 0, 400, from, from + 24000), kToneDb - 60.0, 0.5);
    EXPECT_NEAR(toneDb(out, 0, 300, from, from + 24000), kToneDb - 12.0, 0.3);
}

TEST_F(PhraseSelection, WithoutPhraseSyncThePressedColumnPlaysAtItsKnobEvenWhenMuted)
{
    phraseSync = 0;
    start();
    ui().miniButton1->setValue(true);
    ui().animKnob1->setValue(70);
    ui().animKnob2->setValue(45);
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    EXPECT_EQ(selectedRow(1), -1) << "no lining up";
    expectChannel(0, soundPath("intro_1.wav"), volumeOf(70), panOf(45), true);
    EXPECT_TRUE(ui().miniButton1->Value());
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, false, false }));
    EXPECT_EQ(playButtons(), (std::array<bool, 3> { true, false, false }));
    EXPECT_TRUE(ui().syncButton1->Value());
    EXPECT_FALSE(engine().status(1).playing);
}

TEST_F(PhraseSelection, WithoutPhraseSyncAPressInAnEmptyListLoopsTheDefaultClip)
{
    // Nothing for list 1: only _1 and _3 phrases.
    QDir(soundPath(QString())).removeRecursively();
    QDir().mkpath(soundPath(QString()));
    addPhrases({ "m_1.wav", "m_3.wav" });
    phraseSync = 0;
    start();
    ASSERT_TRUE(entries(1).isEmpty());
    PhraseList* list = ui().lstPhrase[1];
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    settle();
    EXPECT_EQ(form().model().currentListIndex(), 1);
    expectChannel(1, values().DefaultWav, volumeOf(80), 0, true);
    EXPECT_TRUE(ui().miniButtonGreen2->Value());
    EXPECT_TRUE(playingFlags()[1]);
    EXPECT_TRUE(ui().syncButton1->Value());
}

TEST_F(PhraseSelection, UpperCaseExtensionsWithAndWithoutShowExtension)
{
    addPhrase(QStringLiteral("Hello_1.WAV"), markedPhrase(700, 0.5));
    addPhrase(QStringLiteral("Hello_2.Wav"), markedPhrase(750, 0.5));
    addPhrase(QStringLiteral("Hello_3.wav"), markedPhrase(850, 0.5));
    addTextFile(QStringLiteral("Hello.ini"), "[Vorn's Sorvanto]\nLevel1=66\n");
    start();
    pressRow(0, QStringLiteral("Hello_1"));
    settle();
    EXPECT_EQ(ui().animKnob1->Value(), 66);
    expectChannel(0, soundPath("Hello_1.WAV"), volumeOf(66), 0, true);
    expectChannel(1, soundPath("Hello_2.Wav"), volumeOf(80), 0, true);

    ui().mnuEnding->trigger();
    EXPECT_EQ(values().ShowEnding, 1);
    EXPECT_TRUE(ui().mnuEnding->isChecked());
    EXPECT_TRUE(entries(0).contains(QStringLiteral("Hello_1.WAV")));
    EXPECT_EQ(selectedRow(0), -1);
    EXPECT_TRUE(engine().status(0).playing) << "a refresh does not touch the channels";

    ui().animKnob1->setValue(50);
    pressRow(0, QStringLiteral("Hello_1.WAV"));
    settle();
    EXPECT_EQ(ui().animKnob1->Value(), 66) << "Hello_1.WAV still names Hello.ini";
    EXPECT_EQ(engine().status(0).file, soundPath("Hello_1.WAV"));
    EXPECT_EQ(engine().status(2).file, soundPath("Hello_3.wav"));
}

TEST_F(PhraseSelection, ClearedSelectionDuringThePassesSkipsThatStart)
{
    start();
    // Runs inside the handler's event passes, after the loads.
    QTimer::singleShot(0, [this] { ui().lstPhrase[2]->clearSelection(); });
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    EXPECT_TRUE(engine().status(0).playing);
    EXPECT_TRUE(engine().status(1).playing);
    EXPECT_EQ(engine().status(2).file, soundPath("intro_3.wav")) << "loaded before the passes";
    EXPECT_FALSE(engine().status(2).playing);
    EXPECT_TRUE(playingFlags()[2]);
    EXPECT_TRUE(ui().miniButtonGreen3->Value());
    EXPECT_TRUE(ui().syncButton1->Value());
}

TEST_F(PhraseSelection, PressArrivingDuringThePassesRunsThereAndWins)
{
    addTextFile(QStringLiteral("a.ini"), "[Vorn's Sorvanto]\nLevel3=42\n");
    start();
    PhraseList* list = ui().lstPhrase[0];
    const QPointF at = QRectF(list->visualItemRect(list->item(0))).center();
    QCoreApplication::postEvent(list->viewport(),
        new QMouseEvent(QEvent::MouseButtonPress, at, list->viewport()->mapToGlobal(at),
            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(list->viewport(),
        new QMouseEvent(QEvent::MouseButtonRelease, at, list->viewport()->mapToGlobal(at),
            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    // The click on intro_1 loads intro; the queued press on a_1 runs in its passes.
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    EXPECT_EQ(selectedRow(0), 0);
    EXPECT_EQ(selectedRow(1), 0);
    EXPECT_EQ(selectedRow(2), 0);
    EXPECT_EQ(ui().animKnob5->Value(), 42);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(
            engine().status(qint16(c)).file, soundPath(QStringLiteral("a_%1.wav").arg(c + 1)));
        EXPECT_TRUE(engine().status(qint16(c)).playing);
    }
    EXPECT_EQ(engine().status(2).volume, volumeOf(42));
}

} // namespace

// The second press of a double-click is no press: the set is loaded and started once, not
// restarted from its first frame a moment later.
TEST_F(PhraseSelection, ADoubleClickLoadsAndStartsTheSetOnce)
{
    start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
    startPump();
    PhraseList* list = ui().lstPhrase[0];
    const QPoint at
        = list->viewport()->mapTo(&form(), list->visualItemRect(list->item(1)).center());
    QTest::mouseDClick(form().windowHandle(), Qt::LeftButton, {}, at);
    for (int i = 0; i < 20; ++i)
        settle();
    stopPump();
    EXPECT_EQ(selectedRow(0), 1);
    // Every start of the set puts its three marker frames on one output frame.
    EXPECT_EQ(nonSilentFrames(pumped(), 0, 0, pumped().frames(), 0.3f).size(), 1);
}

// A right press on another row than the selected one: the popup's commands name that row.
TEST_F(PhraseSelection, ThePopupsCommandsActOnTheRightPressedRow)
{
    start();
    pressRow(0, 0);
    settle();
    pressRow(0, QStringLiteral("intro_1"), Qt::RightButton);
    settle();
    ASSERT_TRUE(ui().mnuPop->isVisible());
    ManageTest::ModalSequence answers({ QMessageBox::No });
    ui().mnuDel->trigger();
    ASSERT_EQ(answers.seen.size(), 1);
    EXPECT_EQ(answers.seen[0].text, QStringLiteral("Really delete phrase 'intro_1.wav' ?"));
    ui().mnuPop->close();
}
