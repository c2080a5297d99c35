// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManageFixture.h"
#include "app/FileTestKit.h"
#include "support/EventLoopKit.h"

#include <sys/stat.h>

using namespace ManageTest;

class DeleteTest : public ManageFixture
{
protected:
    SeenBox deletePhrase(int list, const QString& entry, QMessageBox::StandardButton answer)
    {
        model.aimPopup(list);
        if (!entry.isEmpty()) {
            EXPECT_TRUE(host.select(list, entry));
        }
        ModalAnswerer answerer(answer);
        commands.mnuDel_Click();
        return answerer.seen;
    }
    SeenBox deleteSet(
        const QString& e1, const QString& e2, const QString& e3, QMessageBox::StandardButton answer)
    {
        EXPECT_TRUE(host.select(0, e1));
        EXPECT_TRUE(host.select(1, e2));
        EXPECT_TRUE(host.select(2, e3));
        ModalAnswerer answerer(answer);
        commands.mnuDelSet_Click();
        return answerer.seen;
    }
};

TEST_F(DeleteTest, PhraseGoesToTheTrashAndNothingStops)
{
    values.ShowEnding = 0;
    addAll({ "intro_1.wav", "intro_2.wav", "intro.ini" });
    refresh();
    play(0);
    const SeenBox box = deletePhrase(0, "intro_1", QMessageBox::Yes);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text, QStringLiteral("Really delete phrase 'intro_1.wav' ?"));
    EXPECT_EQ(box.title, QStringLiteral("Vorn's Sorvanto"));
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.parent, &host.window);
    EXPECT_EQ(files(), (QStringList { "intro.ini", "intro_2.wav" }));
    EXPECT_EQ(readFile(trashed("intro_1.wav")), "intro_1.wav");
    EXPECT_TRUE(enginePlays(0));
    EXPECT_TRUE(flagged(0));
    EXPECT_TRUE(host.playButtons[0]);
    EXPECT_TRUE(host.syncButton);
    EXPECT_EQ(host.syncSets, 0);
    expectRefreshedAndUnselected();
}

TEST_F(DeleteTest, AnsweringNoChangesNothing)
{
    addAll({ "a_1.wav", "a_2.wav", "a_3.wav" });
    refresh();
    play(1);
    const SeenBox one = deletePhrase(1, "a_2.wav", QMessageBox::No);
    EXPECT_TRUE(one.seen);
    const SeenBox set = deleteSet("a_1.wav", "a_2.wav", "a_3.wav", QMessageBox::No);
    EXPECT_TRUE(set.seen);
    EXPECT_EQ(files(), (QStringList { "a_1.wav", "a_2.wav", "a_3.wav" }));
    EXPECT_TRUE(enginePlays(1));
    EXPECT_TRUE(flagged(1));
    EXPECT_TRUE(host.syncButton);
    EXPECT_EQ(host.refreshes, 0);
    EXPECT_EQ(host.selectedEntry(0), QStringLiteral("a_1.wav"));
    EXPECT_EQ(host.selectedEntry(1), QStringLiteral("a_2.wav"));
    EXPECT_EQ(host.selectedEntry(2), QStringLiteral("a_3.wav"));
}

TEST_F(DeleteTest, ReadOnlyFileIsDeletedAllTheSame)
{
    addAll({ "ro_2.wav" });
    ASSERT_EQ(::chmod(QFile::encodeName(path("ro_2.wav")).constData(), 0444), 0);
    refresh();
    deletePhrase(1, "ro_2.wav", QMessageBox::Yes);
    EXPECT_EQ(files(), QStringList {});
    const QFileInfo inTrash(trashed("ro_2.wav"));
    ASSERT_TRUE(inTrash.exists());
    EXPECT_TRUE(inTrash.permissions().testFlag(QFileDevice::WriteOwner));
    expectRefreshedAndUnselected();
}

TEST_F(DeleteTest, UpperCaseExtensionAndNothingSelected)
{
    addAll({ "A_1.WAV", ".wav" });
    values.ShowEnding = 0;
    refresh();
    deletePhrase(0, "A_1", QMessageBox::Yes);
    EXPECT_EQ(files(), QStringList { ".wav" });
    expectRefreshedAndUnselected();

    host.refreshes = 0;
    const SeenBox box = deletePhrase(0, QString(), QMessageBox::Yes);
    EXPECT_EQ(box.text, QStringLiteral("Really delete phrase '.wav' ?"));
    EXPECT_EQ(files(), QStringList { ".wav" });
    expectRefreshedAndUnselected();
}

TEST_F(DeleteTest, SetDeleteKeepsTheSettingsFileAndStopsEveryChannel)
{
    addAll({ "talk_1.wav", "talk_2.wav", "talk_3.wav", "talk.ini" });
    refresh();
    play(0);
    play(1);
    const SeenBox box = deleteSet("talk_1.wav", "talk_2.wav", "talk_3.wav", QMessageBox::Yes);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text,
        QStringLiteral(
            "Really delete following phrases: \r\ntalk_1.wav, talk_2.wav, talk_3.wav ?"));
    EXPECT_EQ(box.title, QStringLiteral("Vorn's Sorvanto"));
    EXPECT_EQ(box.icon, QMessageBox::Question);
    EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(files(), QStringList { "talk.ini" });
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(QFile::exists(trashed(QStringLiteral("talk_%1.wav").arg(n))));
    for (int c = 0; c < 3; ++c) {
        EXPECT_FALSE(enginePlays(c));
        EXPECT_FALSE(flagged(c));
        EXPECT_FALSE(host.playButtons[size_t(c)]);
    }
    EXPECT_TRUE(engine.status(0).Loaded);
    EXPECT_FALSE(host.syncButton);
    expectRefreshedAndUnselected();
}

TEST_F(DeleteTest, SetDeleteWithHiddenExtensionAndOneFileInTwoLists)
{
    values.ShowEnding = 0;
    addAll({ "Default.wav", "DEFAULT.WAV", "c_3.wav", "Default.ini" });
    refresh();
    const SeenBox box = deleteSet("Default", "Default", "c_3", QMessageBox::Yes);
    EXPECT_EQ(box.text,
        QStringLiteral("Really delete following phrases: \r\nDefault.wav, Default.wav, c_3.wav ?"));
    EXPECT_EQ(files(), (QStringList { "DEFAULT.WAV", "Default.ini" }));
    EXPECT_TRUE(holds("DEFAULT.WAV", "DEFAULT.WAV"));
    expectRefreshedAndUnselected();
}

TEST_F(DeleteTest, SetDeleteNeedsASelectionInEveryList)
{
    addAll({ "a_1.wav", "a_2.wav", "a_3.wav" });
    refresh();
    play(2);
    host.select(0, "a_1.wav");
    host.select(2, "a_3.wav");
    ModalAnswerer answer(QMessageBox::Ok);
    commands.mnuDelSet_Click();
    ASSERT_TRUE(answer.seen.seen);
    EXPECT_EQ(answer.seen.text,
        QStringLiteral(
            "To delete a phrase set you have to make a selection in every phrase list."));
    EXPECT_EQ(answer.seen.icon, QMessageBox::Information);
    EXPECT_EQ(answer.seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(files(), (QStringList { "a_1.wav", "a_2.wav", "a_3.wav" }));
    EXPECT_TRUE(enginePlays(2));
    EXPECT_EQ(host.refreshes, 0);
}

// A trash that cannot take the file: nothing is removed for good without a second, explicit
// Yes; No (the default) keeps the file where it was.
TEST_F(DeleteTest, WhenTheTrashRefusesTheUserIsAskedBeforeAnythingIsLost)
{
    addAll({ "a_1.wav", "a_2.wav", "a_3.wav", "solo.wav" });
    ASSERT_TRUE(writeFile(dataHome.path() + "/Trash", "not a directory"));
    refresh();
    model.aimPopup(0);
    ASSERT_TRUE(host.select(0, "solo.wav"));
    {
        ModalSequence answers({ QMessageBox::Yes, QMessageBox::No });
        commands.mnuDel_Click();
        ASSERT_EQ(answers.seen.size(), 2);
        EXPECT_EQ(answers.seen[1].text,
            QStringLiteral("The trash cannot take 'solo.wav' (Not a directory). Delete it "
                           "permanently?"));
        EXPECT_EQ(answers.seen[1].icon, QMessageBox::Warning);
        EXPECT_EQ(answers.seen[1].defaultButton, QMessageBox::No);
    }
    EXPECT_TRUE(holds("solo.wav", "solo.wav"));

    ASSERT_TRUE(host.select(0, "solo.wav"));
    {
        ModalSequence answers({ QMessageBox::Yes, QMessageBox::Yes });
        commands.mnuDel_Click();
        EXPECT_EQ(answers.seen.size(), 2);
    }
    EXPECT_FALSE(QFile::exists(path("solo.wav")));

    // A set asks once for all the files the trash refused.
    ASSERT_TRUE(host.select(0, "a_1.wav"));
    ASSERT_TRUE(host.select(1, "a_2.wav"));
    ASSERT_TRUE(host.select(2, "a_3.wav"));
    ModalSequence answers({ QMessageBox::Yes, QMessageBox::No });
    commands.mnuDelSet_Click();
    ASSERT_EQ(answers.seen.size(), 2);
    EXPECT_EQ(answers.seen[1].text,
        QStringLiteral("The trash cannot take 'a_1.wav' (Not a directory), 'a_2.wav' (Not a "
                       "directory), 'a_3.wav' (Not a directory). Delete them permanently?"));
    EXPECT_EQ(files(), (QStringList { "a_1.wav", "a_2.wav", "a_3.wav" }));
}

// A trash that cannot even be made (a data folder under a home the user may not write, a path
// through a file) cannot take the file either: the same question, naming the folder that could
// not be made, and the file stays on No.
TEST_F(DeleteTest, ATrashThatCannotBeMadeAsksTheSameQuestion)
{
    addAll({ "solo.wav", "duo.wav" });
    refresh();
    const QByteArray readOnlyHome = QFile::encodeName(dataHome.path() + "/home");
    ASSERT_EQ(::mkdir(readOnlyHome.constData(), 0555), 0);
    const QString missing = dataHome.path() + "/home/.local";
    qputenv("XDG_DATA_HOME", QFile::encodeName(missing + "/share"));
    {
        FileTestKit::ObeyPermissions obey;
        if (obey.active()) {
            model.aimPopup(0);
            ASSERT_TRUE(host.select(0, "solo.wav"));
            ModalSequence answers({ QMessageBox::Yes, QMessageBox::No });
            commands.mnuDel_Click();
            ASSERT_EQ(answers.seen.size(), 2);
            EXPECT_EQ(answers.seen[1].text,
                QStringLiteral("The trash cannot take 'solo.wav' (The folder '") + missing
                    + QStringLiteral("' could not be created: Permission denied). Delete it "
                                     "permanently?"));
            EXPECT_TRUE(holds("solo.wav", "solo.wav"));
        }
    }

    // A file where a folder of the path should be: told as such, and Yes deletes for good.
    ASSERT_TRUE(writeFile(dataHome.path() + "/plain", "a file"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path() + "/plain/share"));
    model.aimPopup(0);
    ASSERT_TRUE(host.select(0, "duo.wav"));
    {
        ModalSequence answers({ QMessageBox::Yes, QMessageBox::Yes });
        commands.mnuDel_Click();
        ASSERT_EQ(answers.seen.size(), 2);
        EXPECT_EQ(answers.seen[1].text,
            QStringLiteral("The trash cannot take 'duo.wav' (The folder '") + dataHome.path()
                + QStringLiteral("/plain' could not be created: Not a directory). Delete it "
                                 "permanently?"));
    }
    EXPECT_FALSE(QFile::exists(path("duo.wav")));
    EXPECT_TRUE(QFile::exists(path("solo.wav")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
}

// The question ended by the program closing is no consent: nothing is deleted, and nothing
// after the question runs.
TEST_F(DeleteTest, TheProgramEndingWhileTheQuestionIsOpenDeletesNothing)
{
    addAll({ "a_1.wav", "a_2.wav", "a_3.wav" });
    refresh();
    play(1);
    model.aimPopup(1);
    ASSERT_TRUE(host.select(1, "a_2.wav"));
    EventLoopKit::runInApplicationLoop([this] {
        ModalSequence answers({ QMessageBox::NoButton }, [this] { host.closed = true; });
        commands.mnuDel_Click();
        EXPECT_EQ(answers.seen.size(), 1);
    });
    host.closed = false;
    ASSERT_TRUE(host.select(0, "a_1.wav"));
    ASSERT_TRUE(host.select(2, "a_3.wav"));
    EventLoopKit::runInApplicationLoop([this] {
        ModalSequence answers({ QMessageBox::NoButton }, [this] { host.closed = true; });
        commands.mnuDelSet_Click();
        EXPECT_EQ(answers.seen.size(), 1);
    });
    EXPECT_EQ(files(), (QStringList { "a_1.wav", "a_2.wav", "a_3.wav" }));
    EXPECT_FALSE(QFile::exists(dataHome.path() + "/Trash/files"));
    EXPECT_TRUE(enginePlays(1));
    EXPECT_EQ(host.refreshes, 0);
}

// Names are shown as they are spelled, never as markup.
TEST_F(DeleteTest, QuestionsShowNamesAsPlainText)
{
    addAll({ "<i>loop.wav", "a&lt;b_2.wav", "x_3.wav" });
    refresh();
    model.aimPopup(0);
    ASSERT_TRUE(host.select(0, "<i>loop.wav"));
    ASSERT_TRUE(host.select(1, "a&lt;b_2.wav"));
    ASSERT_TRUE(host.select(2, "x_3.wav"));
    ModalSequence answers({ QMessageBox::No, QMessageBox::No });
    commands.mnuDel_Click();
    commands.mnuDelSet_Click();
    ASSERT_EQ(answers.seen.size(), 2);
    EXPECT_EQ(answers.seen[0].text, QStringLiteral("Really delete phrase '<i>loop.wav' ?"));
    EXPECT_EQ(answers.seen[0].format, Qt::PlainText);
    EXPECT_TRUE(
        answers.seen[1].text.endsWith(QStringLiteral("<i>loop.wav, a&lt;b_2.wav, x_3.wav ?")));
    EXPECT_EQ(answers.seen[1].format, Qt::PlainText);
}
