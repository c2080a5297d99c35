// SPDX-License-Identifier: GPL-3.0-or-later
// Tempo and key on the whole program: the Tempo menu's items against their keys on the real
// window, the menu title and the sync panel's texts, the set settings file read with Phrase Sync
// and written by Save Settings, and the keys left alone in a name box and at a modal question.
#include "e2e/PlayerFixture.h"

#include <gmock/gmock.h>

#include "app/ProfileFile.h"
#include "controls/NameEdit.h"
#include "controls/StripButton.h"
#include "manage/LibraryCommands.h"
#include "manage/frmRename.h"
#include "player/Form1.h"
#include "support/EventLoopKit.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QToolTip>

using namespace PlayerTest;

namespace {

const QString kSection = QStringLiteral("Vorn's Sorvanto");

class TempoControl : public PlayerFixture
{
protected:
    void startWithSets()
    {
        addSet(QStringLiteral("a"), 600, 800, 1000);
        addSet(QStringLiteral("intro"), 300, 400, 500);
        start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
        QApplication::setActiveWindow(&form());
        ASSERT_EQ(QApplication::activeWindow(), &form());
    }

    QAction* item(const char* name) { return form().findChild<QAction*>(QLatin1String(name)); }
    QMenu* tempoMenu() { return form().findChild<QMenu*>(QStringLiteral("mnuTempo")); }

    std::pair<int, int> state()
    {
        const DX7Sound::TempoKey t = engine().tempoKey();
        return { t.tempoPercent, t.semitones };
    }

    void setState(int tempo, int semitones)
    {
        item("mnuOriginalTempo")->trigger();
        for (int i = 0; i < std::abs(tempo - 100); ++i)
            item(tempo > 100 ? "mnuFaster1" : "mnuSlower1")->trigger();
        for (int i = 0; i < std::abs(semitones); ++i)
            item(semitones > 0 ? "mnuKeyUp" : "mnuKeyDown")->trigger();
        settle();
        ASSERT_EQ(state(), std::make_pair(tempo, semitones));
    }

    // What a screen reader reads as the sync panel's description, once pending texts renew.
    std::string syncDescription()
    {
        settle();
        QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(ui().syncButton1);
        return panel ? panel->text(QAccessible::Description).toStdString() : std::string();
    }

    void typeInList(int key, Qt::KeyboardModifiers mods)
    {
        QTest::keyClick(ui().lstPhrase[0], static_cast<Qt::Key>(key), mods);
        settle();
    }
};

struct KeyCase
{
    const char* item;
    int key;
    Qt::KeyboardModifiers mods;
};

const KeyCase kKeys[] = {
    { "mnuFaster", Qt::Key_Up, Qt::ControlModifier },
    { "mnuSlower", Qt::Key_Down, Qt::ControlModifier },
    { "mnuFaster1", Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier },
    { "mnuSlower1", Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier },
    { "mnuKeyUp", Qt::Key_Right, Qt::ControlModifier },
    { "mnuKeyDown", Qt::Key_Left, Qt::ControlModifier },
    { "mnuOriginalTempo", Qt::Key_0, Qt::ControlModifier },
};

} // namespace

TEST_F(TempoControl, EachKeyDoesWhatItsMenuItemDoesAndTheTitleTellsTheState)
{
    startWithSets();
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    QMenu* menu = tempoMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("Tempo"));
    // The menu stands right of Save Settings.
    const QList<QAction*> bar = form().menuBar()->actions();
    ASSERT_GE(bar.size(), 3);
    EXPECT_EQ(bar.indexOf(menu->menuAction()), bar.indexOf(ui().mnuSave) + 1);

    const std::pair<int, int> expected[]
        = { { 90, 3 }, { 80, 3 }, { 86, 3 }, { 84, 3 }, { 85, 4 }, { 85, 2 }, { 100, 0 } };
    for (size_t i = 0; i < std::size(kKeys); ++i) {
        const KeyCase& k = kKeys[i];
        SCOPED_TRACE(k.item);
        ASSERT_NE(item(k.item), nullptr);
        setState(85, 3);
        item(k.item)->trigger();
        settle();
        const auto byMenu = state();
        const QString titleByMenu = menu->title();
        EXPECT_EQ(byMenu, expected[i]);

        setState(85, 3);
        typeInList(k.key, k.mods);
        EXPECT_EQ(state(), byMenu);
        EXPECT_EQ(menu->title(), titleByMenu);
        EXPECT_TRUE(engine().status(0).playing) << "a tempo key is no press of the list";
    }

    setState(85, 2);
    EXPECT_EQ(menu->title(), QStringLiteral("Tempo 85% / +2"));
    EXPECT_THAT(syncDescription(), testing::HasSubstr("tempo 85%, key +2"));
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), ui().syncButton1->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(ui().syncButton1, &help);
    QToolTip::hideText();
    EXPECT_EQ(ui().syncButton1->toolTip(),
        QStringLiteral("Sync all: start / stop: playing, tempo 85%, key +2\nKey: Space"));
    setState(100, -1);
    EXPECT_EQ(menu->title(), QStringLiteral("Tempo 100% / -1"));
    typeInList(Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(menu->title(), QStringLiteral("Tempo"));
    EXPECT_THAT(syncDescription(), testing::HasSubstr("tempo 100%, key 0"));

    // At the limits a step changes nothing.
    setState(200, 12);
    typeInList(Qt::Key_Up, Qt::ControlModifier);
    typeInList(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(state(), std::make_pair(200, 12));
    setState(52, -12);
    typeInList(Qt::Key_Down, Qt::ControlModifier);
    typeInList(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(state(), std::make_pair(50, -12));
}

TEST_F(TempoControl, TheKeysAreLeftAloneInANameBoxAndAtAModalQuestion)
{
    autoPlay = 0;
    startWithSets();
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    pressRow(0, QStringLiteral("intro_1"), Qt::RightButton);
    settle();
    ui().mnuPop->close();
    ui().mnuRename->trigger();
    const QPointer<frmRename> dialog = form().libraryCommands().renameDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    QApplication::setActiveWindow(dialog);
    dialog->txtNewName->setFocus();
    for (const KeyCase& k : kKeys) {
        QTest::keyClick(dialog->txtNewName, static_cast<Qt::Key>(k.key), k.mods);
        settle();
    }
    EXPECT_EQ(state(), std::make_pair(100, 0));
    dialog->close();
    settle();

    QApplication::setActiveWindow(&form());
    bool asked = false;
    std::pair<int, int> during;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        asked = true;
        for (const KeyCase& k : kKeys) {
            QTest::keyClick(box, static_cast<Qt::Key>(k.key), k.mods);
            QTest::keyClick(ui().lstPhrase[0], static_cast<Qt::Key>(k.key), k.mods);
        }
        settle();
        during = state();
        box->button(QMessageBox::No)->click();
    });
    pressRow(0, QStringLiteral("intro_1"), Qt::RightButton);
    settle();
    ui().mnuPop->close();
    EventLoopKit::runInApplicationLoop([&] { ui().mnuDel->trigger(); });
    settle();
    ASSERT_TRUE(asked);
    EXPECT_EQ(during, std::make_pair(100, 0));

    // Answered and back in the main window: the keys work again.
    QApplication::setActiveWindow(&form());
    typeInList(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(state(), std::make_pair(105, 0));
}

TEST_F(TempoControl, APressWithPhraseSyncReadsTheSetsTempoAndSaveSettingsWritesIt)
{
    addTextFile(QStringLiteral("intro.ini"),
        "; my notes\r\n[Vorn's Sorvanto]\r\nTempo=85\r\nTranspose=+2\r\nOwn=kept\r\n");
    startWithSets();
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    EXPECT_EQ(state(), std::make_pair(85, 2));
    EXPECT_EQ(tempoMenu()->title(), QStringLiteral("Tempo 85% / +2"));
    EXPECT_TRUE(engine().status(0).playing);

    // A set without the keys plays at the recorded tempo and key.
    pressRow(1, QStringLiteral("a_2"));
    settle();
    EXPECT_EQ(state(), std::make_pair(100, 0));

    // Without Phrase Sync a press keeps the tempo and key.
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    typeInList(Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(state(), std::make_pair(90, 2));
    ui().mnuSync->trigger();
    settle();
    ASSERT_EQ(values().PhraseSync, 0);
    pressRow(1, QStringLiteral("a_2"));
    settle();
    EXPECT_EQ(state(), std::make_pair(90, 2));

    // Save Settings writes them into list 1's set, keeping the foreign key and the comment.
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    answerModalBoxes();
    ui().mnuSave->trigger();
    settle();
    QFile file(soundPath(QStringLiteral("intro.ini")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("; my notes\r\n[Vorn's Sorvanto]\r\nTempo=90\r\nTranspose=2\r\n"
                                "Own=kept\r\n"))
        << text.constData();

    // A set at the recorded tempo and key gets no new keys.
    QApplication::setActiveWindow(&form());
    typeInList(Qt::Key_0, Qt::ControlModifier);
    ASSERT_EQ(state(), std::make_pair(100, 0));
    pressRow(0, QStringLiteral("a_1"));
    settle();
    ui().mnuSave->trigger();
    settle();
    QFile plain(soundPath(QStringLiteral("a.ini")));
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    const QByteArray written = plain.readAll();
    EXPECT_FALSE(written.contains("Tempo")) << written.constData();
    EXPECT_FALSE(written.contains("Transpose")) << written.constData();
}
