// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManageFixture.h"
#include "controls/NameEdit.h"
#include "manage/frmRenSet.h"
#include "manage/frmRename.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace ManageTest;

class RenamePhraseTest : public ManageFixture
{
protected:
    // Opens the dialog from list `list` with `entry` selected ("" selects nothing).
    frmRename* open(int list, const QString& entry)
    {
        model.aimPopup(list);
        if (!entry.isEmpty()) {
            EXPECT_TRUE(host.select(list, entry)) << entry.toStdString();
        }
        commands.mnuRename_Click();
        return commands.renameDialog();
    }
    void rename(frmRename* dialog, const QString& newName)
    {
        ASSERT_NE(dialog, nullptr);
        dialog->txtNewName->setText(newName);
        dialog->renameButton->click();
        flushDeletes();
        EXPECT_EQ(commands.renameDialog(), nullptr);
    }
};

TEST_F(RenamePhraseTest, FromOtherListsNoSettingsFileMoves)
{
    addAll({ "intro_1.wav", "intro_2.wav", "intro_3.wav", "intro.ini" });
    refresh();
    rename(open(1, "intro_2.wav"), "outro_2");
    EXPECT_EQ(files(), (QStringList { "intro.ini", "intro_1.wav", "intro_3.wav", "outro_2.wav" }));
    EXPECT_TRUE(holds("outro_2.wav", "intro_2.wav"));
    expectRefreshedAndUnselected();
    EXPECT_TRUE(host.lists[1]->findItems("outro_2.wav", Qt::MatchExactly).size() == 1);
}

TEST_F(RenamePhraseTest, FromFirstListMovesTheSetSettingsFile)
{
    addAll({ "intro_1.wav", "intro.ini", "other_1.wav", "other.ini" });
    refresh();
    rename(open(0, "intro_1.wav"), "outro_1");
    EXPECT_EQ(files(), (QStringList { "other.ini", "other_1.wav", "outro.ini", "outro_1.wav" }));
    EXPECT_TRUE(holds("outro.ini", "intro.ini"));
    expectRefreshedAndUnselected();

    rename(open(0, "other_1.wav"), "plain");
    EXPECT_EQ(files(), (QStringList { "outro.ini", "outro_1.wav", "plain.ini", "plain.wav" }));
    EXPECT_TRUE(holds("plain.wav", "other_1.wav"));
    EXPECT_TRUE(holds("plain.ini", "other.ini"));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, UnchangedProposalLeavesEverything)
{
    addAll({ "intro_1.wav", "intro.ini" });
    refresh();
    frmRename* dialog = open(0, "intro_1.wav");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->oldNameLabel->text(), QStringLiteral("intro_1.wav"));
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("intro_1"));
    EXPECT_EQ(dialog->txtNewName->selectedText(), QStringLiteral("intro_1"));
    EXPECT_EQ(dialog->txtNewName->selectionStart(), 0);
    dialog->renameButton->click();
    flushDeletes();
    EXPECT_EQ(commands.renameDialog(), nullptr);
    EXPECT_EQ(files(), (QStringList { "intro.ini", "intro_1.wav" }));
    EXPECT_TRUE(holds("intro_1.wav", "intro_1.wav"));
    EXPECT_TRUE(holds("intro.ini", "intro.ini"));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, DefaultToStartTakesDefaultIni)
{
    addAll({ "Default.wav", "Default.ini" });
    refresh();
    rename(open(0, "Default.wav"), "Start");
    EXPECT_EQ(files(), (QStringList { "Start.ini", "Start.wav" }));
    EXPECT_TRUE(holds("Start.ini", "Default.ini"));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, HiddenExtensionShowsTheFileName)
{
    values.ShowEnding = 0;
    addAll({ "intro_1.wav", "intro.ini" });
    refresh();
    frmRename* dialog = open(0, "intro_1");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->oldNameLabel->text(), QStringLiteral("intro_1.wav"));
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("intro_1"));
    rename(dialog, "tune_1");
    EXPECT_EQ(files(), (QStringList { "tune.ini", "tune_1.wav" }));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, UpperCaseExtensionBecomesLowerCase)
{
    addAll({ "A_1.WAV", "a.INI" });
    refresh();
    frmRename* dialog = open(0, "A_1.WAV");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->oldNameLabel->text(), QStringLiteral("A_1.WAV"));
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("A_1"));
    rename(dialog, "A_1");
    EXPECT_EQ(files(), (QStringList { "A.ini", "A_1.wav" }));
    EXPECT_TRUE(holds("A_1.wav", "A_1.WAV"));
    EXPECT_TRUE(holds("A.ini", "a.INI"));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, NothingSelectedRenamesNothing)
{
    addAll({ "intro_1.wav", "intro.ini", ".wav" });
    refresh();
    frmRename* dialog = open(0, QString());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->oldNameLabel->text(), QStringLiteral(".wav"));
    EXPECT_EQ(dialog->txtNewName->text(), QString());
    rename(dialog, "new");
    EXPECT_EQ(files(), (QStringList { ".wav", "intro.ini", "intro_1.wav" }));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, ExistingTargetLeavesBothFilesAndTheSettings)
{
    addAll({ "a_1.wav", "a.ini", "b_1.wav", "C_1.WAV" });
    refresh();
    rename(open(0, "a_1.wav"), "b_1");
    EXPECT_EQ(files(), (QStringList { "C_1.WAV", "a.ini", "a_1.wav", "b_1.wav" }));
    EXPECT_TRUE(holds("a_1.wav", "a_1.wav"));
    EXPECT_TRUE(holds("b_1.wav", "b_1.wav"));
    expectRefreshedAndUnselected();

    host.refreshes = 0;
    rename(open(0, "a_1.wav"), "c_1"); // exists as C_1.WAV
    EXPECT_EQ(files(), (QStringList { "C_1.WAV", "a.ini", "a_1.wav", "b_1.wav" }));
    EXPECT_TRUE(holds("C_1.WAV", "C_1.WAV"));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, RefusedNamesChangeNothing)
{
    addAll({ "a_1.wav" });
    refresh();
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    rename(open(0, "a_1.wav"), "sub/x"); // pasted text reaches the box unscreened
    rename(open(0, "a_1.wav"), "../x");
    rename(open(0, "a_1.wav"), "");
    EXPECT_EQ(files(), (QStringList { "a_1.wav", "sub" }));
    EXPECT_TRUE(QDir(dir.path() + "/sub").isEmpty());
    // Names the file system takes are taken.
    rename(open(0, "a_1.wav"), "What? | Yes");
    EXPECT_EQ(files(), (QStringList { "What? | Yes.wav", "sub" }));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, SettingsFileStaysWhenTheFirstListNowNamesAnotherPhrase)
{
    addAll({ "a_1.wav", "a.ini", "b_1.wav", "b.ini" });
    refresh();
    frmRename* dialog = open(0, "a_1.wav");
    host.select(0, "b_1.wav"); // a later click in the first list, dialog still open
    rename(dialog, "z_1");
    EXPECT_EQ(files(), (QStringList { "a.ini", "b.ini", "b_1.wav", "z_1.wav" }));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, PlayingChannelOfTheListStopsAndSyncFollowsTheOthers)
{
    addAll({ "x_2.wav", "y_2.wav" });
    refresh();
    play(1);
    rename(open(1, "x_2.wav"), "z_2");
    EXPECT_FALSE(enginePlays(1));
    EXPECT_FALSE(flagged(1));
    EXPECT_FALSE(host.playButtons[1]);
    EXPECT_FALSE(host.syncButton);
    EXPECT_EQ(files(), (QStringList { "y_2.wav", "z_2.wav" }));

    // Channel 1 playing too: channel 2 stops, channel 1 and the sync panel stay.
    play(0);
    play(1);
    rename(open(1, "y_2.wav"), "w_2");
    EXPECT_FALSE(enginePlays(1));
    EXPECT_TRUE(enginePlays(0));
    EXPECT_TRUE(flagged(0));
    EXPECT_TRUE(host.playButtons[0]);
    EXPECT_TRUE(host.syncButton);
    EXPECT_EQ(host.syncSets, 0);

    // A channel of another list is not stopped.
    rename(open(1, "w_2.wav"), "v_2");
    EXPECT_TRUE(enginePlays(0));
    EXPECT_TRUE(flagged(0));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, TargetCreatedWhileEventsRunIsNotReplaced)
{
    addAll({ "x_2.wav" });
    refresh();
    play(1);
    frmRename* dialog = open(1, "x_2.wav");
    ASSERT_NE(dialog, nullptr);
    // Queued work that runs inside the command's event processing creates the target.
    QTimer::singleShot(0, [this] { add("late_2.wav"); });
    dialog->txtNewName->setText("late_2");
    dialog->renameButton->click();
    EXPECT_TRUE(holds("late_2.wav", "late_2.wav"));
    EXPECT_TRUE(holds("x_2.wav", "x_2.wav"));
    flushDeletes();

    // Created after the events ran, right before the rename.
    play(1);
    host.onPlayButton = [this](int) { add("later_2.wav"); };
    rename(open(1, "x_2.wav"), "later_2");
    EXPECT_TRUE(holds("later_2.wav", "later_2.wav"));
    EXPECT_TRUE(holds("x_2.wav", "x_2.wav"));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, EnterInTheNameBoxRenamesAndTypingIsScreened)
{
    addAll({ "a_1.wav" });
    refresh();
    frmRename* dialog = open(0, "a_1.wav");
    ASSERT_NE(dialog, nullptr);
    QTest::keyClick(dialog->txtNewName, Qt::Key_End);
    QTest::keyClicks(dialog->txtNewName, QStringLiteral("x(1).b"));
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("a_1x1b"));
    QTest::keyClick(dialog->txtNewName, Qt::Key_Return);
    flushDeletes();
    EXPECT_EQ(commands.renameDialog(), nullptr);
    EXPECT_EQ(files(), (QStringList { "a_1x1b.wav" }));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, CancelChangesNothing)
{
    addAll({ "a_1.wav", "a.ini" });
    refresh();
    play(0);
    frmRename* dialog = open(0, "a_1.wav");
    ASSERT_NE(dialog, nullptr);
    dialog->txtNewName->setText("b_1");
    dialog->cancelButton->click();
    flushDeletes();
    EXPECT_EQ(commands.renameDialog(), nullptr);
    EXPECT_EQ(files(), (QStringList { "a.ini", "a_1.wav" }));
    EXPECT_TRUE(enginePlays(0));
    EXPECT_EQ(host.refreshes, 0);
}

TEST_F(RenamePhraseTest, SecondCommandReusesTheOpenDialog)
{
    addAll({ "a_1.wav", "b_2.wav" });
    refresh();
    frmRename* first = open(0, "a_1.wav");
    ASSERT_NE(first, nullptr);
    first->txtNewName->setText("typed");
    frmRename* second = open(1, "b_2.wav");
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->oldNameLabel->text(), QStringLiteral("b_2.wav"));
    EXPECT_EQ(second->txtNewName->text(), QStringLiteral("b_2"));
    EXPECT_EQ(second->txtNewName->selectedText(), QStringLiteral("b_2"));
    rename(second, "c_2");
    EXPECT_EQ(files(), (QStringList { "a_1.wav", "c_2.wav" }));
    expectRefreshedAndUnselected();
}

TEST_F(RenamePhraseTest, DialogLayout)
{
    add("a_1.wav");
    refresh();
    frmRename* d = open(0, "a_1.wav");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Rename"));
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(d->isWindow());
    EXPECT_EQ(d->parentWidget(), &host.window);
    EXPECT_TRUE(d->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(d->isModal());
    EXPECT_TRUE(d->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(d->size(), QSize(372, 103));
    EXPECT_EQ(caption(d, "oldNameCaption")->geometry(), QRect(4, 8, 57, 17));
    EXPECT_EQ(d->oldNameLabel->geometry(), QRect(68, 8, 309, 17));
    EXPECT_EQ(caption(d, "newNameCaption")->geometry(), QRect(4, 32, 57, 17));
    EXPECT_EQ(d->txtNewName->geometry(), QRect(64, 29, 265, 21));
    EXPECT_EQ(caption(d, "extensionCaption")->geometry(), QRect(332, 32, 57, 17));
    EXPECT_EQ(d->cancelButton->geometry(), QRect(8, 64, 173, 33));
    EXPECT_EQ(d->renameButton->geometry(), QRect(192, 64, 173, 33));
    EXPECT_EQ(caption(d, "newNameCaption")->text(), QStringLiteral("New name:"));
    EXPECT_EQ(caption(d, "extensionCaption")->text(), QStringLiteral(".wav"));
    EXPECT_EQ(d->cancelButton->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(d->renameButton->text(), QStringLiteral("Rename"));
    for (QWidget* w :
        { static_cast<QWidget*>(d->oldNameLabel), static_cast<QWidget*>(d->txtNewName),
            static_cast<QWidget*>(caption(d, "extensionCaption")),
            static_cast<QWidget*>(d->renameButton) }) {
        EXPECT_TRUE(w->font().bold());
        EXPECT_EQ(w->font().pixelSize(), 11);
    }
    EXPECT_FALSE(caption(d, "oldNameCaption")->font().bold());
    EXPECT_FALSE(d->cancelButton->font().bold());
    EXPECT_EQ(d->cancelButton->font().pixelSize(), 11);
    EXPECT_EQ(tabChain(d->txtNewName, 2), (QList<QWidget*> { d->cancelButton, d->renameButton }));
    d->close();
    flushDeletes();
}

// Both rename dialogs: Enter on a focused button presses it, as Space does; the fixed-size
// frames offer a close box but no maximise button.
TEST_F(RenamePhraseTest, EnterPressesTheFocusedButtonOfBothRenameDialogs)
{
    addAll({ "intro_1.wav", "intro_2.wav", "intro_3.wav" });
    refresh();
    frmRename* dialog = open(1, "intro_2.wav");
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
    dialog->cancelButton->setFocus();
    QTest::keyClick(dialog->cancelButton, Qt::Key_Return);
    flushDeletes();
    EXPECT_EQ(commands.renameDialog(), nullptr);
    EXPECT_TRUE(holds("intro_2.wav", "intro_2.wav"));

    dialog = open(1, "intro_2.wav");
    ASSERT_NE(dialog, nullptr);
    dialog->txtNewName->setText(QStringLiteral("outro_2"));
    dialog->renameButton->setFocus();
    QTest::keyClick(dialog->renameButton, Qt::Key_Enter);
    flushDeletes();
    EXPECT_EQ(commands.renameDialog(), nullptr);
    EXPECT_TRUE(holds("outro_2.wav", "intro_2.wav"));

    refresh();
    ASSERT_TRUE(host.select(0, "intro_1.wav"));
    ASSERT_TRUE(host.select(1, "outro_2.wav"));
    ASSERT_TRUE(host.select(2, "intro_3.wav"));
    commands.mnuRenameSet_Click();
    frmRenSet* set = commands.renameSetDialog();
    ASSERT_NE(set, nullptr);
    EXPECT_FALSE(set->windowFlags() & Qt::WindowMaximizeButtonHint);
    set->txtNewName->setText(QStringLiteral("chat"));
    set->renameButton->setFocus();
    QTest::keyClick(set->renameButton, Qt::Key_Return);
    flushDeletes();
    EXPECT_EQ(commands.renameSetDialog(), nullptr);
    EXPECT_EQ(files(), (QStringList { "chat_1.wav", "chat_2.wav", "chat_3.wav" }));
}

// The window closes while the stop lets pending events run: the program is ending, so the
// rename changes no file and leaves the rest of the stop undone.
TEST_F(RenamePhraseTest, ProgramEndingDuringTheStopRenamesNothing)
{
    addAll({ "x_2.wav", "x.ini" });
    refresh();
    play(1);
    frmRename* dialog = open(1, "x_2.wav");
    ASSERT_NE(dialog, nullptr);
    dialog->txtNewName->setText("y_2");
    QTimer::singleShot(0, [this] { host.closed = true; });
    host.syncSets = 0;
    dialog->renameButton->click();
    EXPECT_FALSE(enginePlays(1)) << "the channel was stopped before the events ran";
    EXPECT_FALSE(flagged(1));
    EXPECT_TRUE(host.playButtons[1]) << "nothing after the events runs";
    EXPECT_EQ(host.syncSets, 0);
    EXPECT_EQ(files(), (QStringList { "x.ini", "x_2.wav" }));
    EXPECT_EQ(host.refreshes, 0);
    dialog->close();
}
