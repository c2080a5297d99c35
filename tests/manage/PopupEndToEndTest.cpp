// SPDX-License-Identifier: GPL-3.0-or-later
// The popup's library commands on the whole program: the real main window, its lists and
// popup, the engine over the offline device, real files and a private trash.
#include "ManageTestSupport.h"
#include "controls/NameEdit.h"
#include "controls/StripButton.h"
#include "e2e/PlayerFixture.h"
#include "manage/LibraryCommands.h"
#include "manage/frmRenSet.h"
#include "manage/frmRename.h"
#include "player/Form1.h"
#include "player/Form1Parts.h"
#include "player/PhraseList.h"

#include <QLabel>

#include <QMenu>
#include <QTest>

using namespace PlayerTest;

namespace {

class PopupCommands : public PlayerFixture
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dataHome.isValid());
        m_savedDataHome = qgetenv("XDG_DATA_HOME");
        m_hadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dataHome.path()));
        addSet(QStringLiteral("talk"), 300, 400, 500);
        addTextFile(QStringLiteral("talk.ini"), "[Vorn's Sorvanto]\nLevel1=70\n");
    }
    void TearDown() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (m_hadDataHome)
            qputenv("XDG_DATA_HOME", m_savedDataHome);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    // Opens the popup on `entry` of `list` with a right press and picks `action`.
    void popup(int list, const QString& entry, QAction* action)
    {
        pressRow(list, entry, Qt::RightButton);
        settle();
        ASSERT_TRUE(ui().mnuPop->isVisible());
        ui().mnuPop->close();
        action->trigger();
    }
    QStringList soundFiles() const { return ManageTest::listing(QFileInfo(soundPath("x")).path()); }
    bool nothingSelected()
    {
        return selectedRow(0) < 0 && selectedRow(1) < 0 && selectedRow(2) < 0;
    }
    QString trashed(const QString& name) const
    {
        return m_dataHome.path() + "/Trash/files/" + name;
    }

private:
    QTemporaryDir m_dataHome;
    QByteArray m_savedDataHome;
    bool m_hadDataHome = false;
};

TEST_F(PopupCommands, RenamePhraseSetStopsPlaybackAndMovesTheSet)
{
    start();
    pressRow(0, QStringLiteral("talk_1"));
    settle();
    ASSERT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));

    popup(0, QStringLiteral("talk_1"), ui().mnuRenameSet);
    frmRenSet* dialog = form().libraryCommands().renameSetDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->txtNewName->text(), QStringLiteral("talk"));
    QTest::keyClicks(dialog->txtNewName, QStringLiteral("chat"));
    QTest::keyClick(dialog->txtNewName, Qt::Key_Return);
    settle();

    EXPECT_EQ(form().libraryCommands().renameSetDialog(), nullptr);
    EXPECT_EQ(soundFiles(), (QStringList { "chat.ini", "chat_1.wav", "chat_2.wav", "chat_3.wav" }));
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> {}));
    for (int c = 0; c < 3; ++c) {
        EXPECT_FALSE(engine().status(qint16(c)).playing) << c;
        EXPECT_FALSE(ui().playButton(c)->Value()) << c;
    }
    EXPECT_EQ(entries(0), QStringList { "chat_1" });
    EXPECT_TRUE(nothingSelected());
}

TEST_F(PopupCommands, RenamePhraseFromTheSecondListKeepsTheSettingsFile)
{
    start();
    pressRow(1, QStringLiteral("talk_2"));
    settle();
    popup(1, QStringLiteral("talk_2"), ui().mnuRename);
    frmRename* dialog = form().libraryCommands().renameDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->oldNameLabel->text(), QStringLiteral("talk_2.wav"));
    QTest::keyClicks(dialog->txtNewName, QStringLiteral("echo.2_2"));
    QTest::keyClick(dialog->txtNewName, Qt::Key_Enter);
    settle();
    EXPECT_EQ(
        soundFiles(), (QStringList { "echo2_2.wav", "talk.ini", "talk_1.wav", "talk_3.wav" }));
    EXPECT_FALSE(playingFlags()[1]);
    EXPECT_FALSE(engine().status(1).playing);
    EXPECT_TRUE(playingFlags()[0]);
    EXPECT_TRUE(engine().status(0).playing);
    EXPECT_TRUE(nothingSelected());
}

TEST_F(PopupCommands, DeletePhraseLeavesPlaybackAlone)
{
    start();
    pressRow(1, QStringLiteral("talk_2"));
    settle();
    ManageTest::ModalAnswerer yes(QMessageBox::Yes);
    popup(1, QStringLiteral("talk_2"), ui().mnuDel);
    settle();
    EXPECT_EQ(yes.seen.text, QStringLiteral("Really delete phrase 'talk_2.wav' ?"));
    EXPECT_EQ(yes.seen.parent, &form());
    EXPECT_EQ(soundFiles(), (QStringList { "talk.ini", "talk_1.wav", "talk_3.wav" }));
    EXPECT_TRUE(QFile::exists(trashed("talk_2.wav")));
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> { true, true, true }));
    EXPECT_TRUE(engine().status(1).playing);
    EXPECT_TRUE(nothingSelected());
}

TEST_F(PopupCommands, DeletePhraseSetKeepsTheSettingsFile)
{
    start();
    pressRow(2, QStringLiteral("talk_3"));
    settle();
    ManageTest::ModalAnswerer yes(QMessageBox::Yes);
    popup(2, QStringLiteral("talk_3"), ui().mnuDelSet);
    settle();
    EXPECT_EQ(yes.seen.text,
        QStringLiteral(
            "Really delete following phrases: \r\ntalk_1.wav, talk_2.wav, talk_3.wav ?"));
    EXPECT_EQ(soundFiles(), QStringList { "talk.ini" });
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> {}));
    EXPECT_FALSE(engine().status(2).playing);
    EXPECT_TRUE(nothingSelected());
}

} // namespace
