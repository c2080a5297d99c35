// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManageFixture.h"
#include "controls/NameEdit.h"
#include "manage/frmRenSet.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace ManageTest;

class RenameSetTest : public ManageFixture
{
protected:
    frmRenSet* open(const QString& e1, const QString& e2, const QString& e3)
    {
        model.aimPopup(0);
        EXPECT_TRUE(host.select(0, e1));
        EXPECT_TRUE(host.select(1, e2));
        EXPECT_TRUE(host.select(2, e3));
        commands.mnuRenameSet_Click();
        return commands.renameSetDialog();
    }
    void rename(frmRenSet* dialog, const QString& newName)
    {
        ASSERT_NE(dialog, nullptr);
        dialog->txtNewName->setText(newName);
        dialog->renameButton->click();
        flushDeletes();
        EXPECT_EQ(commands.renameSetDialog(), nullptr);
    }
};

TEST_F(RenameSetTest, WholeSetAndItsSettingsFile)
{
    addAll({ "talk_1.wav", "talk_2.wav", "talk_3.wav", "talk.ini" });
    refresh();
    frmRenSet* dialog = open("talk_1.wav", "talk_2.wav", "talk_3.wav");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("talk"));
    EXPECT_EQ(dialog->txtNewName->selectedText(), QStringLiteral("talk"));
    rename(dialog, "chat");
    EXPECT_EQ(files(), (QStringList { "chat.ini", "chat_1.wav", "chat_2.wav", "chat_3.wav" }));
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(
            holds(QStringLiteral("chat_%1.wav").arg(n), QStringLiteral("talk_%1.wav").arg(n)));
    EXPECT_TRUE(holds("chat.ini", "talk.ini"));
    expectRefreshedAndUnselected();
}

TEST_F(RenameSetTest, AnyThreePhrasesBecomeASet)
{
    addAll({ "a_1.wav", "Default.wav", "b_3.wav", "a.ini" });
    refresh();
    rename(open("a_1.wav", "Default.wav", "b_3.wav"), "mix");
    EXPECT_EQ(files(), (QStringList { "mix.ini", "mix_1.wav", "mix_2.wav", "mix_3.wav" }));
    EXPECT_TRUE(holds("mix_2.wav", "Default.wav"));
    EXPECT_TRUE(holds("mix_3.wav", "b_3.wav"));
    expectRefreshedAndUnselected();
}

TEST_F(RenameSetTest, SameFileInTwoListsIsRenamedOnce)
{
    addAll({ "Default.wav", "DEFAULT.WAV", "Default.ini", "c_3.wav" });
    refresh();
    rename(open("Default.wav", "Default.wav", "c_3.wav"), "mix");
    EXPECT_EQ(files(), (QStringList { "DEFAULT.WAV", "mix.ini", "mix_1.wav", "mix_3.wav" }));
    EXPECT_TRUE(holds("mix_1.wav", "Default.wav"));
    EXPECT_TRUE(holds("DEFAULT.WAV", "DEFAULT.WAV"));
    EXPECT_TRUE(holds("mix.ini", "Default.ini"));
    expectRefreshedAndUnselected();
}

TEST_F(RenameSetTest, ExistingTargetsKeepTheirFilesAndTheOthersStillMove)
{
    addAll({ "s_1.wav", "s_2.wav", "s_3.wav", "s.ini", "n_2.wav", "N.INI" });
    refresh();
    rename(open("s_1.wav", "s_2.wav", "s_3.wav"), "n");
    EXPECT_EQ(
        files(), (QStringList { "N.INI", "n_1.wav", "n_2.wav", "n_3.wav", "s.ini", "s_2.wav" }));
    EXPECT_TRUE(holds("n_2.wav", "n_2.wav"));
    EXPECT_TRUE(holds("s_2.wav", "s_2.wav"));
    EXPECT_TRUE(holds("N.INI", "N.INI"));
    EXPECT_TRUE(holds("s.ini", "s.ini"));
    expectRefreshedAndUnselected();
}

TEST_F(RenameSetTest, SettingsFileStaysWhenTheFirstPhraseCannotMove)
{
    addAll({ "s_1.wav", "s_2.wav", "s_3.wav", "s.ini", "n_1.wav" });
    refresh();
    rename(open("s_1.wav", "s_2.wav", "s_3.wav"), "n");
    EXPECT_EQ(files(), (QStringList { "n_1.wav", "n_2.wav", "n_3.wav", "s.ini", "s_1.wav" }));
    expectRefreshedAndUnselected();
}

TEST_F(RenameSetTest, Proposals)
{
    addAll({ "x_1_2.wav", "y_2.wav", "z_3.wav" });
    refresh();
    frmRenSet* dialog = open("x_1_2.wav", "y_2.wav", "z_3.wav");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("x_1"));
    dialog->close();
}

TEST_F(RenameSetTest, DropDownNames)
{
    addAll({ "abc_1.wav", "Default.wav", "Lesson01_1.wav", "Lesson02_1.wav", "song_1.wav" });
    refresh();
    frmRenSet* dialog = open("song_1.wav", "Default.wav", "Default.wav");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->setNameChoice->isEditable());
    EXPECT_EQ(dialog->setNameChoice->currentText(), QString());
    QStringList items;
    for (int k = 0; k < dialog->setNameChoice->count(); ++k)
        items << dialog->setNameChoice->itemText(k);
    EXPECT_EQ(items, (QStringList { "Defau", "Lesson02", "song" }));
    EXPECT_EQ(dialog->setNames, (QStringList { "song", "Lesson02", "Defau" }));

    // Choosing an entry puts it into the name box with the caret at its end.
    dialog->setNameChoice->setCurrentIndex(1);
    emit dialog->setNameChoice->activated(1);
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("Lesson02"));
    EXPECT_FALSE(dialog->txtNewName->hasSelectedText());
    EXPECT_EQ(dialog->txtNewName->cursorPosition(), 8);

    // Opening again while open sets a new proposal and keeps the drop-down.
    add("zzzz_1.wav");
    refresh();
    frmRenSet* again = open("zzzz_1.wav", "Default.wav", "Default.wav");
    EXPECT_EQ(again, dialog);
    EXPECT_EQ(again->txtNewName->text(), QStringLiteral("zzzz"));
    EXPECT_EQ(again->setNameChoice->count(), 3);
    again->close();
}

TEST_F(RenameSetTest, MissingSelectionShowsTheNoticeAndNoDialog)
{
    addAll({ "a_1.wav", "a_2.wav" });
    refresh();
    host.select(0, "a_1.wav");
    host.select(1, "a_2.wav");
    ModalAnswerer answer(QMessageBox::Ok);
    commands.mnuRenameSet_Click();
    ASSERT_TRUE(answer.seen.seen);
    EXPECT_EQ(answer.seen.text,
        QStringLiteral(
            "To rename a phrase set you have to make a selection in every phrase list."));
    EXPECT_EQ(answer.seen.title, QStringLiteral("Vorn's Sorvanto"));
    EXPECT_EQ(answer.seen.icon, QMessageBox::Information);
    EXPECT_EQ(answer.seen.parent, &host.window);
    EXPECT_EQ(commands.renameSetDialog(), nullptr);
    EXPECT_EQ(files(), (QStringList { "a_1.wav", "a_2.wav" }));
}

TEST_F(RenameSetTest, EveryPlayingChannelStops)
{
    addAll({ "a_1.wav", "a_2.wav", "a_3.wav" });
    refresh();
    play(0);
    play(2);
    rename(open("a_1.wav", "a_2.wav", "a_3.wav"), "b");
    for (int c = 0; c < 3; ++c) {
        EXPECT_FALSE(enginePlays(c)) << c;
        EXPECT_FALSE(flagged(c)) << c;
        EXPECT_FALSE(host.playButtons[size_t(c)]) << c;
    }
    EXPECT_TRUE(engine.status(0).Loaded);
    EXPECT_FALSE(host.syncButton);
    EXPECT_GE(host.syncSets, 1);
    expectRefreshedAndUnselected();
}

TEST_F(RenameSetTest, TypingAcceptsParenthesesAndEnterRenames)
{
    addAll({ "a_1.wav", "a_2.wav", "a_3.wav" });
    refresh();
    frmRenSet* dialog = open("a_1.wav", "a_2.wav", "a_3.wav");
    ASSERT_NE(dialog, nullptr);
    QTest::keyClick(dialog->txtNewName, Qt::Key_Delete);
    QTest::keyClicks(dialog->txtNewName, QStringLiteral("x(1).:"));
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("x(1)"));
    QTest::keyClick(dialog->txtNewName, Qt::Key_Enter);
    flushDeletes();
    EXPECT_EQ(commands.renameSetDialog(), nullptr);
    EXPECT_EQ(files(), (QStringList { "x(1)_1.wav", "x(1)_2.wav", "x(1)_3.wav" }));
    expectRefreshedAndUnselected();
}

TEST_F(RenameSetTest, TargetCreatedWhileEventsRunIsNotReplaced)
{
    addAll({ "a_1.wav", "a_2.wav", "a_3.wav" });
    refresh();
    frmRenSet* dialog = open("a_1.wav", "a_2.wav", "a_3.wav");
    ASSERT_NE(dialog, nullptr);
    QTimer::singleShot(0, [this] { add("b_2.wav"); });
    rename(dialog, "b");
    EXPECT_EQ(files(), (QStringList { "a_2.wav", "b_1.wav", "b_2.wav", "b_3.wav" }));
    EXPECT_TRUE(holds("b_2.wav", "b_2.wav"));
    EXPECT_TRUE(holds("a_2.wav", "a_2.wav"));
    expectRefreshedAndUnselected();
}

TEST_F(RenameSetTest, SelectionsAreReadWhenRenameIsPressed)
{
    addAll({ "a_1.wav", "a_2.wav", "a_3.wav", "b_2.wav" });
    refresh();
    frmRenSet* dialog = open("a_1.wav", "a_2.wav", "a_3.wav");
    EXPECT_EQ(dialog->filesLine->text(), QStringLiteral("Renames: a_1.wav, a_2.wav, a_3.wav"));
    host.select(1, "b_2.wav");
    // The window tells the dialog of every change of a selection; the line names what Rename
    // will now take, a mixed set included.
    commands.selectionsChanged();
    EXPECT_EQ(dialog->filesLine->text(), QStringLiteral("Renames: a_1.wav, b_2.wav, a_3.wav"));
    host.lists[2]->clearSelection();
    commands.selectionsChanged();
    EXPECT_EQ(dialog->filesLine->text(),
        QStringLiteral("Renames: a_1.wav, b_2.wav, (nothing in list 3)"));
    host.select(2, "a_3.wav");
    rename(dialog, "c");
    EXPECT_EQ(files(), (QStringList { "a_2.wav", "c_1.wav", "c_2.wav", "c_3.wav" }));
    EXPECT_TRUE(holds("c_2.wav", "b_2.wav"));
    expectRefreshedAndUnselected();
}

TEST_F(RenameSetTest, LongNamesTakeALineEachAndTheDialogGrows)
{
    const QString longer = QStringLiteral("A rather long name of a practice loop in D minor");
    addAll({ longer + "_1.wav", "b_2.wav", longer + "_3.wav", "c_1.wav", "c_3.wav" });
    refresh();
    frmRenSet* d = open(longer + "_1.wav", "b_2.wav", longer + "_3.wav");
    ASSERT_NE(d, nullptr);
    const QStringList lines = d->filesLine->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Renames: A rather")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("_1.wav,"))) << "the marker stays in sight";
    EXPECT_EQ(lines[1], QStringLiteral("b_2.wav,"));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("_3.wav")));
    EXPECT_EQ(d->size(), QSize(335, 115 + 34));
    EXPECT_EQ(d->filesLine->geometry(), QRect(4, 58, 325, 51));
    EXPECT_EQ(d->cancelButton->geometry(), QRect(8, 77 + 34, 157, 33));
    EXPECT_EQ(d->renameButton->geometry(), QRect(172, 77 + 34, 157, 33));

    // Short names again: one line, the dialog as designed plus that line.
    ASSERT_TRUE(host.select(0, "c_1.wav"));
    ASSERT_TRUE(host.select(2, "c_3.wav"));
    commands.selectionsChanged();
    EXPECT_EQ(d->filesLine->text(), QStringLiteral("Renames: c_1.wav, b_2.wav, c_3.wav"));
    EXPECT_EQ(d->size(), QSize(335, 115));
    EXPECT_EQ(d->cancelButton->geometry(), QRect(8, 77, 157, 33));
    d->cancelButton->click();
}

TEST_F(RenameSetTest, DialogLayout)
{
    addAll({ "a_1.wav", "a_2.wav", "a_3.wav" });
    refresh();
    frmRenSet* d = open("a_1.wav", "a_2.wav", "a_3.wav");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Rename Phrase Set"));
    EXPECT_TRUE(d->isWindow());
    EXPECT_EQ(d->parentWidget(), &host.window);
    EXPECT_TRUE(d->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(d->isModal());
    // The design's size, one line (17 px) taller for the file line above the buttons.
    EXPECT_EQ(d->size(), QSize(335, 115));
    EXPECT_EQ(caption(d, "setNameCaption")->geometry(), QRect(4, 9, 57, 17));
    EXPECT_EQ(d->txtNewName->geometry(), QRect(72, 5, 257, 21));
    EXPECT_EQ(caption(d, "chooseNameCaption")->geometry(), QRect(4, 35, 77, 17));
    // The box starts after its caption, which it would otherwise cover, and ends where the name
    // box above it ends.
    EXPECT_EQ(d->setNameChoice->geometry(), QRect(84, 32, 245, 21));
    EXPECT_FALSE(
        caption(d, "chooseNameCaption")->geometry().intersects(d->setNameChoice->geometry()));
    EXPECT_EQ(d->filesLine->geometry(), QRect(4, 58, 325, 17));
    EXPECT_EQ(d->cancelButton->geometry(), QRect(8, 77, 157, 33));
    EXPECT_EQ(d->renameButton->geometry(), QRect(172, 77, 157, 33));
    EXPECT_EQ(caption(d, "chooseNameCaption")->text(), QStringLiteral("Choose name:"));
    EXPECT_EQ(caption(d, "setNameCaption")->text(), QStringLiteral("Set name:"));
    EXPECT_TRUE(d->txtNewName->font().bold());
    EXPECT_TRUE(d->renameButton->font().bold());
    EXPECT_FALSE(d->cancelButton->font().bold());
    EXPECT_FALSE(d->setNameChoice->font().bold());
    EXPECT_EQ(tabChain(d->txtNewName, 3),
        (QList<QWidget*> { d->cancelButton, d->renameButton, d->setNameChoice }));
    d->cancelButton->click();
    flushDeletes();
    EXPECT_EQ(commands.renameSetDialog(), nullptr);
    EXPECT_EQ(host.refreshes, 0);
}

// The set rename stops only the flagged columns: a channel playing without its flag (started
// behind the player's back) goes on, and the lamp goes out either way.
TEST_F(RenameSetTest, StopsTheFlaggedColumnsOnly)
{
    addAll({ "s_1.wav", "s_2.wav", "s_3.wav" });
    refresh();
    play(0);
    ASSERT_TRUE(engine.PlayChannel(2, 1));
    engine.flush();
    rename(open("s_1.wav", "s_2.wav", "s_3.wav"), "t");
    EXPECT_FALSE(enginePlays(0));
    EXPECT_FALSE(host.playButtons[0]);
    EXPECT_TRUE(enginePlays(2));
    EXPECT_FALSE(host.syncButton);
    EXPECT_EQ(files(), (QStringList { "t_1.wav", "t_2.wav", "t_3.wav" }));
}
