// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard on the whole program: every window-wide key against the mouse gesture it stands
// for (the same engine calls, flags and buttons), keys typed into a name box or at a modal
// question, Tab and the focus frame, tooltips, and the lists following the sound directory.
#include "e2e/PlayerFixture.h"

#include "controls/NameEdit.h"
#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "library/DirectoryWatcher.h"
#include "manage/LibraryCommands.h"
#include "manage/frmRename.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "player/PlayerModel.h"
#include "support/EventLoopKit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using namespace PlayerTest;

namespace {

// One run of the program, driven by the mouse or by the keyboard through the same story.
class Session : public PlayerFixture
{
public:
    void TestBody() override { }

    void setUp()
    {
        addSet(QStringLiteral("a"), 600, 800, 1000);
        addSet(QStringLiteral("intro"), 300, 400, 500);
        start();
        activate(&form());
    }

    static void activate(QWidget* window)
    {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        // The offscreen platform has no window manager to activate a second window.
        QApplication::setActiveWindow(window);
        ASSERT_EQ(QApplication::activeWindow(), window);
    }

    // A key as the keyboard gives it: to the widget with the focus.
    void type(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, static_cast<Qt::Key>(key), mods);
        settle();
    }

    // Everything a gesture can change: the engine's channels, the flags, every control and the
    // selections.
    QString snapshot()
    {
        QStringList lines;
        for (int c = 0; c < 3; ++c) {
            const DX7Sound::ChannelStatus s = engine().status(qint16(c));
            lines << QStringLiteral("ch%1 playing=%2 file=%3 vol=%4 pan=%5")
                         .arg(c)
                         .arg(s.playing)
                         .arg(QFileInfo(s.file).fileName())
                         .arg(s.volume)
                         .arg(s.pan);
            lines << QStringLiteral("col%1 Playing=%2 play=%3 mute=%4 level=%5 pan=%6 row=%7")
                         .arg(c)
                         .arg(playingFlags()[c])
                         .arg(ui().playButton(c)->Value())
                         .arg(ui().muteButton(c)->Value())
                         .arg(ui().levelKnob(c)->Value())
                         .arg(ui().panKnob(c)->Value())
                         .arg(selectedRow(c));
        }
        lines << QStringLiteral("sync=%1").arg(ui().syncButton1->Value());
        return lines.join(QLatin1Char('\n'));
    }

    // The story: pick and start a set, mute, stop a column, turn and centre knobs, stop and
    // start everything, stop and un-mute columns. A snapshot after every gesture.
    QStringList run(bool keys)
    {
        setUp();
        QStringList trace;
        const auto step
            = [&](const std::function<void()>& mouse, const std::function<void()>& keyboard) {
                  (keys ? keyboard : mouse)();
                  settle();
                  trace << snapshot();
              };
        step([&] { pressRow(0, QStringLiteral("intro_1")); },
            [&] {
                ui().lstPhrase[0]->setFocus();
                type(Qt::Key_Home);
                type(Qt::Key_Down);
                type(Qt::Key_Return);
            });
        step([&] { press(ui().miniButton2); }, [&] { type(Qt::Key_At, Qt::ShiftModifier); });
        step([&] { press(ui().miniButtonGreen3); }, [&] { type(Qt::Key_3); });
        // A new drag's first step goes toward where the last one left off (the face's top at
        // first), so six moves up are one frame down and five up. A key moves to the next
        // frame with another value (more frames than values: some share one), so the keys
        // below reach what those frames show: 79, then 80 to 83.
        step([&] { drag(ui().animKnob1, 6); },
            [&] {
                ui().animKnob1->setFocus();
                type(Qt::Key_Down);
                for (int i = 0; i < 4; ++i)
                    type(Qt::Key_Up);
            });
        // Four keys down from 50 pass eight frames (to 46).
        step([&] { drag(ui().animKnob4, -8); },
            [&] {
                ui().animKnob4->setFocus();
                for (int i = 0; i < 4; ++i)
                    type(Qt::Key_Down);
            });
        step([&] { doubleClick(ui().animKnob4); }, [&] { type(Qt::Key_Return); });
        step([&] { press(ui().syncButton1); }, [&] { type(Qt::Key_Space); });
        step([&] { press(ui().syncButton1); }, [&] { type(Qt::Key_Space); });
        step([&] { press(ui().miniButtonGreen1); }, [&] { type(Qt::Key_1); });
        // Shift with the digit itself, as on layouts whose digits need Shift.
        step([&] { press(ui().miniButton2); }, [&] { type(Qt::Key_2, Qt::ShiftModifier); });
        return trace;
    }
};

TEST(KeyboardPlay, EveryKeyDrivesTheSameEngineCallsAsItsMouseGesture)
{
    QStringList byMouse;
    {
        Session mouse;
        byMouse = mouse.run(false);
    }
    ASSERT_EQ(byMouse.size(), 10);
    // The story does what it says: the set started, column 3 stopped, all stopped, restarted.
    EXPECT_TRUE(byMouse[0].contains(QStringLiteral("ch0 playing=1 file=intro_1.wav")));
    EXPECT_TRUE(byMouse[2].contains(QStringLiteral("ch2 playing=0")));
    EXPECT_TRUE(byMouse[6].contains(QStringLiteral("sync=0")));
    EXPECT_TRUE(byMouse[7].contains(QStringLiteral("ch2 playing=1 file=intro_3.wav")));

    Session keyboard;
    const QStringList byKeys = keyboard.run(true);
    ASSERT_EQ(byKeys.size(), byMouse.size());
    for (int i = 0; i < byKeys.size(); ++i)
        EXPECT_EQ(byKeys[i].toStdString(), byMouse[i].toStdString()) << "after gesture " << i;
}

class KeyboardControl : public Session
{
protected:
    void SetUp() override { }
};

TEST_F(KeyboardControl, KeysTypedIntoANameBoxStartNothing)
{
    autoPlay = 0;
    setUp();
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    pressRow(0, QStringLiteral("intro_1"), Qt::RightButton);
    settle();
    ui().mnuPop->close();
    ui().mnuRename->trigger();
    const QPointer<frmRename> dialog = form().libraryCommands().renameDialog();
    ASSERT_NE(dialog, nullptr);
    activate(dialog);
    dialog->txtNewName->setFocus();
    dialog->txtNewName->clear();
    const QString before = snapshot();

    for (int key : { Qt::Key_1, Qt::Key_Space, Qt::Key_2, Qt::Key_3 })
        type(key);
    type(Qt::Key_Exclam, Qt::ShiftModifier);
    type(Qt::Key_F5);
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("1 23!"));
    EXPECT_EQ(snapshot().toStdString(), before.toStdString());

    // Away from the box the keys are still the dialog's: a digit plays nothing, and Space
    // presses the focused button (Cancel closes the dialog), not the sync panel.
    dialog->cancelButton->setFocus();
    type(Qt::Key_1);
    EXPECT_FALSE(playingFlags()[0]);
    EXPECT_FALSE(engine().status(0).playing);
    type(Qt::Key_Space);
    EXPECT_TRUE(dialog.isNull() || !dialog->isVisible()) << "Cancel closed the dialog";
    EXPECT_EQ(snapshot().toStdString(), before.toStdString());
}

TEST_F(KeyboardControl, AHeldKeyActsOnceAndOtherWindowsKeepTheirKeys)
{
    setUp();
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    ASSERT_TRUE(playingFlags()[2]);
    // Key repeat of a held 3: one press of Play 3, not a start and stop per repeat.
    for (bool repeat : { false, true, true, true }) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, QStringLiteral("3"), repeat);
        QApplication::sendEvent(ui().lstPhrase[0], &press);
    }
    settle();
    EXPECT_FALSE(playingFlags()[2]);
    EXPECT_EQ(form().model().selectedEntry(0), QStringLiteral("intro_1")) << "no type-ahead either";

    // A window that is not the player's keeps its digits and Space.
    QListWidget stranger;
    stranger.addItems({ QStringLiteral("1"), QStringLiteral("2") });
    QTest::keyClick(&stranger, Qt::Key_2);
    QTest::keyClick(&stranger, Qt::Key_Space);
    EXPECT_EQ(stranger.currentRow(), 1);
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, false }));
}

TEST_F(KeyboardControl, NothingStartsWhileAModalQuestionIsOpen)
{
    autoPlay = 0;
    setUp();
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    const QString before = snapshot();

    QString during;
    bool asked = false;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        asked = true;
        // Typed at the question (Space and Enter would answer it), and stray events to the
        // main window's list.
        QTest::keyClick(box, Qt::Key_1);
        QTest::keyClick(box, Qt::Key_Exclam, Qt::ShiftModifier);
        QTest::keyClick(box, Qt::Key_F5);
        for (int key : { Qt::Key_Space, Qt::Key_1, Qt::Key_3, Qt::Key_Return })
            QTest::keyClick(ui().lstPhrase[0], static_cast<Qt::Key>(key));
        QTest::keyClick(ui().lstPhrase[0], Qt::Key_Exclam, Qt::ShiftModifier);
        settle();
        during = snapshot();
        box->button(QMessageBox::No)->click();
    });
    pressRow(0, QStringLiteral("intro_1"), Qt::RightButton);
    settle();
    ui().mnuPop->close();
    // The question's modal loop needs a running application loop.
    EventLoopKit::runInApplicationLoop([&] { ui().mnuDel->trigger(); });
    settle();
    ASSERT_TRUE(asked);
    EXPECT_EQ(during.toStdString(), before.toStdString());

    // Answered: the keys work again.
    activate(&form());
    ui().lstPhrase[0]->setFocus();
    type(Qt::Key_Space);
    EXPECT_TRUE(ui().syncButton1->Value());
    EXPECT_TRUE(engine().status(0).playing);
}

TEST_F(KeyboardControl, EnterWithoutACursorRowPressesNothing)
{
    setUp();
    ui().animKnob1->setValue(90);
    // Show Extension refills the lists: no row selected, no cursor row.
    ui().mnuEnding->trigger();
    settle();
    ASSERT_EQ(QApplication::focusWidget(), ui().lstPhrase[0]);
    ASSERT_EQ(ui().lstPhrase[0]->currentItem(), nullptr);
    const QString before = snapshot();
    type(Qt::Key_Return);
    EXPECT_EQ(snapshot().toStdString(), before.toStdString()) << "no set settings read, no start";

    // The arrow key puts the cursor on a row; then Enter presses it.
    type(Qt::Key_Down);
    type(Qt::Key_Return);
    EXPECT_EQ(form().model().selectedEntry(0), QStringLiteral("a_1.wav"));
    EXPECT_EQ(ui().animKnob1->Value(), 80) << "the set's (default) settings were read";
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
}

TEST_F(KeyboardControl, TabVisitsEveryControlAndTheFrameFollows)
{
    setUp();
    ASSERT_EQ(QApplication::focusWidget(), ui().lstPhrase[0]) << "the first list starts focused";
    const std::vector<QWidget*> order { ui().animKnob3, ui().animKnob4, ui().miniButton2,
        ui().miniButtonGreen2, ui().lstPhrase[1], ui().animKnob5, ui().animKnob6, ui().miniButton3,
        ui().miniButtonGreen3, ui().lstPhrase[2], ui().syncButton1, ui().animKnob1, ui().animKnob2,
        ui().miniButton1, ui().miniButtonGreen1, ui().lstPhrase[0] };
    for (QWidget* expected : order) {
        type(Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        ASSERT_EQ(focus, expected) << (focus ? focus->metaObject()->className() : "nothing");
        auto* frame = form().findChild<QWidget*>(QStringLiteral("focusFrame"));
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->parentWidget(), expected);
        EXPECT_TRUE(frame->isVisible());
        // Drawn in the lists' text colour on the control's edge.
        const QImage shot = expected->grab().toImage();
        EXPECT_EQ(QColor(shot.pixel(0, 0)), QColor(255, 255, 128));
    }
}

TEST_F(KeyboardControl, TooltipsTellNameValueAndKey)
{
    setUp();
    const auto tip = [](QWidget* w) {
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(w, &help);
        QToolTip::hideText();
        return w->toolTip().toStdString();
    };
    EXPECT_EQ(tip(ui().animKnob1), "Level 1: -12.0 dB\nKeys: Up, Down");
    EXPECT_EQ(tip(ui().animKnob4), "Pan 2: C\nKeys: Up, Down; Enter centres");
    EXPECT_EQ(tip(ui().miniButton3), "Mute 3: off\nKey: Shift+3");
    EXPECT_EQ(tip(ui().miniButtonGreen2), "Play 2: stopped\nKey: 2");
    EXPECT_EQ(
        tip(ui().syncButton1), "Sync all: start / stop: stopped, tempo 100%, key 0\nKey: Space");

    // The values are those of the moment the tip shows (a press in a list loads the set's
    // values, so it comes first).
    pressRow(1, QStringLiteral("intro_2"));
    settle();
    drag(ui().animKnob4, -3);
    press(ui().miniButton1);
    ui().animKnob1->setValue(100);
    ui().animKnob6->setValue(65);
    EXPECT_EQ(tip(ui().animKnob4), "Pan 2: L2\nKeys: Up, Down; Enter centres");
    EXPECT_EQ(tip(ui().animKnob6), "Pan 3: R15\nKeys: Up, Down; Enter centres");
    EXPECT_EQ(tip(ui().animKnob1), "Level 1: 0.0 dB, muted\nKeys: Up, Down");
    EXPECT_EQ(tip(ui().miniButton1), "Mute 1: on\nKey: Shift+1");
    EXPECT_EQ(tip(ui().miniButtonGreen2), "Play 2: playing\nKey: 2");
    EXPECT_EQ(
        tip(ui().syncButton1), "Sync all: start / stop: playing, tempo 100%, key 0\nKey: Space");
}

TEST_F(KeyboardControl, AltOAndF10OpenTheOptionsMenu)
{
    setUp();
    for (const auto& [key, mods] : { std::pair { Qt::Key_F10, Qt::KeyboardModifiers() },
             std::pair { Qt::Key_O, Qt::KeyboardModifiers(Qt::AltModifier) } }) {
        type(key, mods);
        EXPECT_TRUE(ui().mnuOptions->isVisible()) << key;
        ui().mnuOptions->close();
        settle();
        activate(&form());
    }
}

TEST_F(KeyboardControl, FilesAddedAndRemovedOnDiskFollowWhileTheSelectionSurvives)
{
    setUp();
    pressRow(1, QStringLiteral("intro_2"));
    settle();
    ASSERT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));

    // Another program adds phrases that sort in front and removes a set's member.
    addPhrases({ QStringLiteral("0drums_1.wav"), QStringLiteral("b_2.wav") });
    ASSERT_TRUE(QFile::remove(soundPath(QStringLiteral("a_3.wav"))));
    QTRY_COMPARE_WITH_TIMEOUT(entries(0), QStringList({ "0drums_1", "a_1", "intro_1" }), 5000);
    EXPECT_EQ(entries(1), QStringList({ "a_2", "b_2", "intro_2" }));
    EXPECT_EQ(entries(2), QStringList({ "intro_3" }));
    // The playing set stays selected, by name, and nothing stopped.
    EXPECT_EQ(form().model().selectedEntry(0), QStringLiteral("intro_1"));
    EXPECT_EQ(form().model().selectedEntry(1), QStringLiteral("intro_2"));
    EXPECT_EQ(form().model().selectedEntry(2), QStringLiteral("intro_3"));
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
    EXPECT_TRUE(engine().status(0).playing && engine().status(1).playing);

    // So the sync panel's next start plays the set that was shown.
    press(ui().syncButton1);
    press(ui().syncButton1);
    settle();
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(QFileInfo(engine().status(qint16(c)).file).fileName(),
            QStringLiteral("intro_%1.wav").arg(c + 1));

    // A selected file that goes away takes only its own selection with it.
    ASSERT_TRUE(QFile::remove(soundPath(QStringLiteral("intro_2.wav"))));
    QTRY_COMPARE_WITH_TIMEOUT(entries(1), QStringList({ "a_2", "b_2" }), 5000);
    EXPECT_EQ(selectedRow(1), -1);
    EXPECT_EQ(form().model().selectedEntry(0), QStringLiteral("intro_1"));
    EXPECT_EQ(form().model().selectedEntry(2), QStringLiteral("intro_3"));
}

TEST_F(KeyboardControl, F5ShowsNewFilesAtOnceAndKeepsTheSelection)
{
    autoPlay = 0;
    setUp();
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    addPhrases({ QStringLiteral("0new_1.wav") });
    type(Qt::Key_F5);
    EXPECT_EQ(entries(0), QStringList({ "0new_1", "a_1", "intro_1" }));
    EXPECT_EQ(form().model().selectedEntry(0), QStringLiteral("intro_1"));
    EXPECT_EQ(form().model().selectedEntry(1), QStringLiteral("intro_2"));
}

TEST_F(KeyboardControl, ABurstOfAThousandCreationsCausesOneUpdate)
{
    setUp();
    auto* watcher = &AppModul::ProgramParts::watcher(program());
    ASSERT_NE(watcher, nullptr);
    QSignalSpy reports(watcher, &DirectoryWatcher::changed);
    QSignalSpy refills(ui().lstPhrase[0]->model(), &QAbstractItemModel::modelReset);
    // A watcher without debouncing shows that the burst arrives as many notifications.
    QFileSystemWatcher raw({ soundPath(QString()) });
    QSignalSpy rawChanges(&raw, &QFileSystemWatcher::directoryChanged);

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 1000; ++i) {
        QFile f(soundPath(QStringLiteral("burst%1_1.wav").arg(i, 4, 10, QLatin1Char('0'))));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        if (i % 50 == 49)
            QCoreApplication::processEvents();
    }
    const qint64 took = clock.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(entries(0).size(), 1002, 5000);
    QTest::qWait(DirectoryWatcher::kMaxDelayMs);
    // A burst longer than the longest delay is reported once a second, by design.
    if (took >= DirectoryWatcher::kMaxDelayMs)
        GTEST_SKIP() << "the machine took " << took << " ms for the burst";
    EXPECT_GT(rawChanges.count(), 1);
    EXPECT_EQ(reports.count(), 1);
    EXPECT_EQ(refills.count(), 1);
}

} // namespace
