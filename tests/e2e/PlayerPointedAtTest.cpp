// SPDX-License-Identifier: GPL-3.0-or-later
// A gesture plays or changes what the user pointed at: sets lined up by name, a press below the
// last row, lists that hold still under a popup, a question or a dialog, the dialogs' own keys,
// a click that focuses a knob, and a part that joins the playing ones in step.
#include "e2e/PlayerFixture.h"

#include "controls/NameEdit.h"
#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "dialogs/SettingsCommand.h"
#include "dialogs/frmDirSelect.h"
#include "dialogs/frmSettings.h"
#include "library/DirectoryWatcher.h"
#include "manage/LibraryCommands.h"
#include "manage/ManageTestSupport.h"
#include "manage/frmRenSet.h"
#include "manage/frmRename.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "player/PlayerModel.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>

using namespace PlayerTest;

namespace {

// Longer than the watcher takes to report a change.
constexpr int kWatcherWaitMs = DirectoryWatcher::kMaxDelayMs + 600;

class PointedAt : public PlayerFixture
{
protected:
    // List 1: Acoustic_1 (a stray first part above the sets), Blue Bossa_1, Funk Groove_1;
    // lists 2 and 3 hold the two sets' other parts only.
    void SetUp() override
    {
        addPhrase(QStringLiteral("Acoustic_1.wav"), markedPhrase(250, 0.5));
        addSet(QStringLiteral("Blue Bossa"), 300, 400, 500);
        addSet(QStringLiteral("Funk Groove"), 600, 700, 800);
    }

    static void activate(QWidget* window)
    {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        // The offscreen platform has no window manager to activate a second window.
        QApplication::setActiveWindow(window);
        ASSERT_EQ(QApplication::activeWindow(), window);
    }

    QString file(int c) { return QFileInfo(engine().status(qint16(c)).file).fileName(); }
    QString selected(int list) { return form().model().selectedEntry(list); }
    std::array<bool, 3> playButtons()
    {
        return { ui().miniButtonGreen1->Value(), ui().miniButtonGreen2->Value(),
            ui().miniButtonGreen3->Value() };
    }
    bool enginePlays(int c) { return engine().status(qint16(c)).playing; }

    // What a key could change in the player: flags, channels, buttons, selections, knobs.
    QString snapshot()
    {
        QStringList parts;
        for (int c = 0; c < 3; ++c)
            parts << QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                         .arg(playingFlags()[size_t(c)])
                         .arg(enginePlays(c))
                         .arg(file(c))
                         .arg(ui().playButton(c)->Value())
                         .arg(ui().muteButton(c)->Value())
                         .arg(selectedRow(c))
                         .arg(ui().levelKnob(c)->Value());
        parts << QString::number(ui().syncButton1->Value());
        return parts.join(QLatin1Char('|'));
    }

    static void flushDeletes()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(PointedAt, AStrayFirstPartDoesNotMixTheSetsAndTheOptionGivesTheRowRuleBack)
{
    start();
    pressRow(0, QStringLiteral("Funk Groove_1"));
    settle();
    EXPECT_EQ(selected(1), QStringLiteral("Funk Groove_2"));
    EXPECT_EQ(selected(2), QStringLiteral("Funk Groove_3"));
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(file(c), QStringLiteral("Funk Groove_%1.wav").arg(c + 1));
        EXPECT_TRUE(enginePlays(c));
    }
    // From the last list too, and the stray part stays out.
    pressRow(2, QStringLiteral("Blue Bossa_3"));
    settle();
    EXPECT_EQ(selected(0), QStringLiteral("Blue Bossa_1"));
    EXPECT_EQ(selected(1), QStringLiteral("Blue Bossa_2"));
    EXPECT_EQ(file(0), QStringLiteral("Blue Bossa_1.wav"));

    // Off: the rows decide again, as before the option existed, stray part and all.
    ui().mnuLineUp->trigger();
    EXPECT_EQ(values().LineUpByName, 0);
    EXPECT_FALSE(ui().mnuLineUp->isChecked());
    pressRow(0, QStringLiteral("Blue Bossa_1"));
    settle();
    EXPECT_EQ(selected(1), QStringLiteral("Funk Groove_2"));
    EXPECT_EQ(selected(2), QStringLiteral("Funk Groove_3"));
    EXPECT_EQ(file(1), QStringLiteral("Funk Groove_2.wav"));
    // A row the other lists lack leaves them as they were.
    pressRow(0, QStringLiteral("Funk Groove_1"));
    settle();
    EXPECT_EQ(selected(1), QStringLiteral("Funk Groove_2"));
    EXPECT_EQ(file(0), QStringLiteral("Funk Groove_1.wav"));
    ui().mnuLineUp->trigger();
    EXPECT_EQ(values().LineUpByName, 1);
}

TEST_F(PointedAt, AnIncompleteSetLeavesItsMissingColumnSilent)
{
    ASSERT_TRUE(QFile::remove(soundPath(QStringLiteral("Blue Bossa_3.wav"))));
    addTextFile(QStringLiteral("Blue Bossa.ini"), "[Vorn's Sorvanto]\nLevel2=66\nLevel3=55\n");
    // A set without its first part: its settings still come by its name.
    addPhrases({ QStringLiteral("Cool_2.wav"), QStringLiteral("Cool_3.wav") });
    addTextFile(QStringLiteral("Cool.ini"), "[Vorn's Sorvanto]\nLevel2=44\n");
    start();
    pressRow(0, QStringLiteral("Funk Groove_1"));
    settle();
    ASSERT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));

    pressRow(1, QStringLiteral("Blue Bossa_2"));
    settle();
    EXPECT_EQ(selected(0), QStringLiteral("Blue Bossa_1"));
    EXPECT_EQ(selectedRow(2), -1) << "no Blue Bossa_3, and no other set's part instead";
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, false }));
    EXPECT_EQ(playButtons(), (std::array<bool, 3> { true, true, false }));
    EXPECT_FALSE(enginePlays(2)) << "Funk Groove_3 must not sound with Blue Bossa";
    EXPECT_EQ(file(2), QStringLiteral("Funk Groove_3.wav")) << "nothing loaded there";
    EXPECT_EQ(file(1), QStringLiteral("Blue Bossa_2.wav"));
    EXPECT_TRUE(ui().syncButton1->Value());
    EXPECT_EQ(ui().animKnob3->Value(), 66);
    EXPECT_EQ(ui().animKnob5->Value(), 55);

    pressRow(2, QStringLiteral("Cool_3"));
    settle();
    EXPECT_EQ(selectedRow(0), -1);
    EXPECT_EQ(selected(1), QStringLiteral("Cool_2"));
    EXPECT_EQ(ui().animKnob3->Value(), 44) << "Cool.ini, named from the pressed part";
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { false, true, true }));
    EXPECT_FALSE(enginePlays(0));
    EXPECT_EQ(file(2), QStringLiteral("Cool_3.wav"));
}

TEST_F(PointedAt, APressBelowTheLastRowKeepsTheSetSounding)
{
    start();
    pressRow(0, QStringLiteral("Funk Groove_1"));
    settle();
    PhraseList* list = ui().lstPhrase[1];
    const QPoint blank(20, list->viewport()->height() - 5);
    ASSERT_EQ(list->itemAt(blank), nullptr);
    for (Qt::MouseButton button : { Qt::LeftButton, Qt::MiddleButton, Qt::RightButton }) {
        SCOPED_TRACE(int(button));
        QTest::mouseClick(list->viewport(), button, Qt::NoModifier, blank);
        settle();
        EXPECT_EQ(form().model().currentListIndex(), 1);
        EXPECT_EQ(selected(0), QStringLiteral("Funk Groove_1"));
        EXPECT_EQ(selected(1), QStringLiteral("Funk Groove_2"));
        EXPECT_EQ(selected(2), QStringLiteral("Funk Groove_3"));
        EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
        EXPECT_EQ(playButtons(), (std::array<bool, 3> { true, true, true }));
        for (int c = 0; c < 3; ++c) {
            EXPECT_TRUE(enginePlays(c));
            EXPECT_EQ(file(c), QStringLiteral("Funk Groove_%1.wav").arg(c + 1));
        }
        EXPECT_TRUE(ui().syncButton1->Value());
    }
    // The right press opened the popup on the selected entry.
    EXPECT_TRUE(ui().mnuPop->isVisible());
    EXPECT_EQ(form().model().popupTarget().list, 1);
    EXPECT_EQ(form().model().popupTarget().selected[1], QStringLiteral("Funk Groove_2"));
    ui().mnuPop->close();
}

TEST_F(PointedAt, TheListsHoldStillUnderThePopupAndTheQuestion)
{
    autoPlay = 0;
    start();
    pressRow(1, QStringLiteral("Blue Bossa_2"), Qt::RightButton);
    settle();
    ASSERT_TRUE(ui().mnuPop->isVisible());

    // Another program removes the file under the open popup.
    ASSERT_TRUE(QFile::remove(soundPath(QStringLiteral("Blue Bossa_2.wav"))));
    QTest::qWait(kWatcherWaitMs);
    EXPECT_EQ(entries(1), (QStringList { "Blue Bossa_2", "Funk Groove_2" }));
    EXPECT_EQ(selected(1), QStringLiteral("Blue Bossa_2"));

    // The question names the entry the popup was opened on, and the list waits for it too.
    QStringList underQuestion;
    bool asked = false;
    QTimer::singleShot(20, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        asked = true;
        EXPECT_EQ(box->text(), QStringLiteral("Really delete phrase 'Blue Bossa_2.wav' ?"));
        ASSERT_TRUE(QFile::remove(soundPath(QStringLiteral("Funk Groove_2.wav"))));
        QTest::qWait(kWatcherWaitMs);
        underQuestion = entries(1);
        box->button(QMessageBox::No)->click();
    });
    ui().mnuPop->close();
    ui().mnuDel->trigger();
    ASSERT_TRUE(asked);
    EXPECT_EQ(underQuestion, (QStringList { "Blue Bossa_2", "Funk Groove_2" }));
    // No: nothing of the program's own doing; then the update shows what is on disk, once.
    EXPECT_EQ(selected(1), QStringLiteral("Blue Bossa_2"));
    QTRY_COMPARE_WITH_TIMEOUT(entries(1), QStringList(), 5000);
    EXPECT_EQ(entries(0), (QStringList { "Acoustic_1", "Blue Bossa_1", "Funk Groove_1" }));
}

TEST_F(PointedAt, RenamePhraseSetNamesItsFilesAndHoldsTheListsWhileOpen)
{
    autoPlay = 0;
    start();
    pressRow(0, QStringLiteral("Blue Bossa_1"));
    // A right press selects without lining up: a mixed selection.
    pressRow(1, QStringLiteral("Funk Groove_2"), Qt::RightButton);
    settle();
    ui().mnuPop->close();
    ui().mnuRenameSet->trigger();
    const QPointer<frmRenSet> dialog = form().libraryCommands().renameSetDialog();
    ASSERT_NE(dialog, nullptr);
    // Long names take a line each; the words are the same.
    EXPECT_EQ(dialog->filesLine->text().simplified(),
        QStringLiteral("Renames: Blue Bossa_1.wav, Funk Groove_2.wav, Blue Bossa_3.wav"));
    // The dialog is modeless: a press in a list changes what Rename takes, and the line says so.
    pressRow(2, QStringLiteral("Funk Groove_3"));
    settle();
    EXPECT_EQ(dialog->filesLine->text().simplified(),
        QStringLiteral("Renames: Funk Groove_1.wav, Funk Groove_2.wav, Funk Groove_3.wav"));

    ASSERT_TRUE(QFile::remove(soundPath(QStringLiteral("Acoustic_1.wav"))));
    QTest::qWait(kWatcherWaitMs);
    EXPECT_TRUE(entries(0).contains(QStringLiteral("Acoustic_1")))
        << "held while the dialog is open";

    // Escape is Cancel: nothing renamed; then the lists follow, keeping their selections.
    QTest::keyClick(dialog->txtNewName, Qt::Key_Escape);
    flushDeletes();
    EXPECT_TRUE(dialog.isNull());
    EXPECT_TRUE(QFile::exists(soundPath(QStringLiteral("Funk Groove_1.wav"))));
    QTRY_COMPARE_WITH_TIMEOUT(entries(0), (QStringList { "Blue Bossa_1", "Funk Groove_1" }), 5000);
    EXPECT_EQ(selected(0), QStringLiteral("Funk Groove_1"));
}

TEST_F(PointedAt, KeysInTheProgramsDialogsLeaveThePlayerAloneAndEscapeClosesThem)
{
    start();
    activate(&form());
    answerModalBoxes();
    pressRow(0, QStringLiteral("Funk Groove_1"));
    settle();
    const QString before = snapshot();
    // Every player key, typed at `target` in the active dialog.
    const auto typeAll = [this](QWidget* target) {
        for (int key : { Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_F5 })
            QTest::keyClick(target, static_cast<Qt::Key>(key));
        QTest::keyClick(target, Qt::Key_Exclam, Qt::ShiftModifier);
        QTest::keyClick(target, Qt::Key_S, Qt::ControlModifier);
        settle();
    };

    ui().mnuSettings->trigger();
    const QPointer<frmSettings> settings = form().settingsCommand().dialog();
    ASSERT_NE(settings, nullptr);
    activate(settings);
    ASSERT_EQ(QApplication::focusWidget(), settings->cancelButton);
    typeAll(settings->cancelButton);
    EXPECT_EQ(snapshot().toStdString(), before.toStdString()) << "Settings";
    QTest::keyClick(settings->cancelButton, Qt::Key_Escape);
    flushDeletes();
    EXPECT_TRUE(settings.isNull());

    const QPointer<frmDirSelect> chooser
        = new frmDirSelect(soundPath(QString()), QStringLiteral("Sound Directory"), &form());
    chooser->load();
    activate(chooser);
    typeAll(chooser->fileList);
    QTest::keyClick(chooser->fileList, Qt::Key_Space);
    settle();
    EXPECT_EQ(snapshot().toStdString(), before.toStdString()) << "chooser";
    QTest::keyClick(chooser->fileList, Qt::Key_Escape);
    flushDeletes();
    EXPECT_TRUE(chooser.isNull());

    pressRow(0, QStringLiteral("Funk Groove_1"), Qt::RightButton);
    ui().mnuPop->close();
    ui().mnuRename->trigger();
    const QPointer<frmRename> rename = form().libraryCommands().renameDialog();
    ASSERT_NE(rename, nullptr);
    activate(rename);
    typeAll(rename->cancelButton);
    EXPECT_EQ(snapshot().toStdString(), before.toStdString()) << "Rename";
    QTest::keyClick(rename->cancelButton, Qt::Key_Escape);
    flushDeletes();
    EXPECT_TRUE(rename.isNull());

    ui().mnuRenameSet->trigger();
    const QPointer<frmRenSet> renSet = form().libraryCommands().renameSetDialog();
    ASSERT_NE(renSet, nullptr);
    activate(renSet);
    typeAll(renSet->renameButton);
    EXPECT_EQ(snapshot().toStdString(), before.toStdString()) << "Rename Phrase Set";
    QTest::keyClick(renSet->renameButton, Qt::Key_Escape);
    flushDeletes();
    EXPECT_TRUE(renSet.isNull());
    EXPECT_TRUE(QFile::exists(soundPath(QStringLiteral("Funk Groove_1.wav"))));
    EXPECT_TRUE(seenBoxes().isEmpty()) << "Ctrl+S saved nothing";

    // Back in the main window the keys act again.
    activate(&form());
    ui().lstPhrase[0]->setFocus();
    QTest::keyClick(ui().lstPhrase[0], Qt::Key_1);
    settle();
    EXPECT_FALSE(playingFlags()[0]);
}

TEST_F(PointedAt, AClickFocusesAKnobSoEnterActsOnTheKnob)
{
    start();
    activate(&form());
    pressRow(1, QStringLiteral("Funk Groove_2"));
    settle();
    ASSERT_EQ(QApplication::focusWidget(), ui().lstPhrase[1]);
    drag(ui().animKnob1, 7);
    const qint16 level = ui().animKnob1->Value();
    ASSERT_NE(level, 80);

    QTest::mouseClick(
        ui().animKnob4, Qt::LeftButton, Qt::NoModifier, ui().animKnob4->rect().center());
    EXPECT_EQ(QApplication::focusWidget(), ui().animKnob4);
    auto* frame = form().findChild<QWidget*>(QStringLiteral("focusFrame"));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->parentWidget(), ui().animKnob4);
    drag(ui().animKnob4, -4);
    ASSERT_NE(ui().animKnob4->Value(), 50);

    // Enter centres the focused Pan knob; the set is not pressed again (that would read the set
    // file back into the knob just turned).
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    settle();
    EXPECT_EQ(ui().animKnob4->Value(), 50);
    EXPECT_EQ(engine().status(1).pan, 0);
    EXPECT_EQ(ui().animKnob1->Value(), level);

    // A strip button takes the focus the same way.
    press(ui().miniButton3);
    EXPECT_EQ(QApplication::focusWidget(), ui().miniButton3);
    EXPECT_TRUE(ui().miniButton3->Value());
}

// Impulse phrases: one marker frame, then silence, so every loop start of a voice is one frame.
class InStep : public PlayerFixture
{
protected:
    static constexpr qint64 kLoop = 4800;
    static constexpr float kMarker = 0.5f;

    void SetUp() override { addSet(QStringLiteral("imp"), 300, 400, 500, 0.1, kLoop); }

    // Starts the set, lets it loop, stops column 3 mid-loop and presses its Play button again;
    // returns the three loops after that press.
    SoundTestKit::Signal restartColumnThree()
    {
        start();
        pressRow(0, QStringLiteral("imp_1"));
        settle();
        render(2 * kLoop + 1000);
        press(ui().miniButtonGreen3);
        settle();
        EXPECT_FALSE(engine().status(2).playing);
        render(3000);
        press(ui().miniButtonGreen3);
        settle();
        EXPECT_TRUE(engine().status(2).playing);
        EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
        return render(3 * kLoop);
    }

    // The marker of one voice at level 80 (-12 dB).
    static double single() { return kMarker * std::pow(10.0, -12.0 / 20.0); }
};

TEST_F(InStep, ARestartedPartSoundsAtTheLoopPhaseOfTheOthers)
{
    playInStep = 1;
    const SoundTestKit::Signal out = restartColumnThree();
    // The others were 4000 frames into their loop: all three markers on the frame they wrap.
    const QList<qint64> frames = nonSilentFrames(out, 0, 0, out.frames(), 1e-3f);
    ASSERT_EQ(frames, (QList<qint64> { 800, 800 + kLoop, 800 + 2 * kLoop }));
    for (qint64 f : frames)
        EXPECT_NEAR(out.at(f, 0), 3 * single(), 1e-3) << f;
}

TEST_F(InStep, OffThePartStartsAtItsFirstFrame)
{
    const SoundTestKit::Signal out = restartColumnThree();
    EXPECT_EQ(nonSilentFrames(out, 0, 0, out.frames(), 1e-3f),
        (QList<qint64> { 0, 800, kLoop, 800 + kLoop, 2 * kLoop, 800 + 2 * kLoop }));
    EXPECT_NEAR(out.at(0, 0), single(), 1e-3);
    EXPECT_NEAR(out.at(800, 0), 2 * single(), 1e-3);
}

} // namespace
