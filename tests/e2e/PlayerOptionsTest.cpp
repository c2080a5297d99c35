// SPDX-License-Identifier: GPL-3.0-or-later
// The Options check items and Save Settings, end to end through the menu actions.
#include "e2e/PlayerFixture.h"

#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "player/Form1.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>

using namespace PlayerTest;

namespace {

const QString kNotice = QStringLiteral("This function makes it possible to save the current\r\n"
                                       "'Level', 'Pan' and 'Mute' settings and use it again\r\n"
                                       "when you reload the three phrases again.\r\n"
                                       "Therefore Options -> 'Phrase Sync' must be checked !   \r\n"
                                       "\r\n"
                                       "Settings saved.");

class OptionsMenu : public PlayerFixture
{
protected:
    void SetUp() override
    {
        addSet(QStringLiteral("intro"), 300, 400, 500);
        addPhrase(QStringLiteral("Default.wav"), markedPhrase(700, 0.5));
    }

    QStringList iniFiles() const
    {
        return QDir(m_root.path() + QStringLiteral("/sounds"))
            .entryList(
                { QStringLiteral("*.ini"), QStringLiteral(".ini") }, QDir::Files | QDir::Hidden);
    }

    QByteArray read(const QString& name) const
    {
        QFile f(m_root.path() + QStringLiteral("/sounds/") + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(OptionsMenu, CheckItemsInvertTheirMarkAndFlag)
{
    start();
    ASSERT_TRUE(ui().mnuSync->isChecked());
    ui().mnuSync->trigger();
    EXPECT_FALSE(ui().mnuSync->isChecked());
    EXPECT_EQ(values().PhraseSync, 0);
    ui().mnuAutoPlay->trigger();
    EXPECT_FALSE(ui().mnuAutoPlay->isChecked());
    EXPECT_EQ(values().AutoPlay, 0);

    // Both off: a press only selects.
    pressRow(1, QStringLiteral("intro_2"));
    settle();
    EXPECT_EQ(selectedRow(0), -1);
    EXPECT_FALSE(engine().status(1).playing);

    ui().mnuSync->trigger();
    ui().mnuAutoPlay->trigger();
    EXPECT_EQ(values().PhraseSync, 1);
    EXPECT_EQ(values().AutoPlay, 1);
    EXPECT_TRUE(ui().mnuSync->isChecked());
    EXPECT_TRUE(ui().mnuAutoPlay->isChecked());
}

TEST_F(OptionsMenu, ShowExtensionTwiceGivesTheSameListsWithoutSelection)
{
    start();
    const QStringList first = entries(0);
    pressRow(0, QStringLiteral("intro_1"));
    ui().mnuEnding->trigger();
    EXPECT_EQ(values().ShowEnding, 1);
    EXPECT_TRUE(entries(0).contains(QStringLiteral("intro_1.wav")));
    ui().mnuEnding->trigger();
    EXPECT_EQ(values().ShowEnding, 0);
    EXPECT_FALSE(ui().mnuEnding->isChecked());
    EXPECT_EQ(entries(0), first);
    for (int list = 0; list < 3; ++list)
        EXPECT_EQ(selectedRow(list), -1);
}

TEST_F(OptionsMenu, SaveWithNothingSelectedDoesNothing)
{
    start();
    answerModalBoxes();
    ui().mnuSave->trigger();
    settle();
    EXPECT_TRUE(iniFiles().isEmpty()) << iniFiles().join(' ').toStdString();
    EXPECT_TRUE(seenBoxes().isEmpty());
}

TEST_F(OptionsMenu, SaveWritesTheNineKeysOfListOnesSetAndShowsTheNotice)
{
    showEnding = 1;
    autoPlay = 0;
    phraseSync = 0;
    start();
    pressRow(0, QStringLiteral("Default.wav"));
    // Lists 2 and 3 point elsewhere; only list 1 names the file.
    pressRow(2, QStringLiteral("intro_3.wav"));
    ui().animKnob1->setValue(41);
    ui().animKnob2->setValue(36);
    ui().animKnob3->setValue(99);
    ui().animKnob4->setValue(64);
    ui().animKnob5->setValue(-7);
    ui().animKnob6->setValue(50);
    ui().miniButton2->setValue(true);

    answerModalBoxes();
    ui().mnuSave->trigger();
    EXPECT_EQ(iniFiles(), (QStringList { "Default.ini" }));
    const auto section = QStringLiteral("Vorn's Sorvanto");
    const QString file = soundPath(QStringLiteral("Default.ini"));
    const std::pair<const char*, const char*> expected[] = { { "Level1", "41" }, { "Pan1", "36" },
        { "Level2", "99" }, { "Pan2", "64" }, { "Level3", "-7" }, { "Pan3", "50" },
        { "Mute1", "0" }, { "Mute2", "1" }, { "Mute3", "0" } };
    for (const auto& [key, value] : expected)
        EXPECT_EQ(Commands::ReadIni(section, QString::fromLatin1(key), file, "?"),
            QString::fromLatin1(value))
            << key;
    ASSERT_EQ(seenBoxes().size(), 1);
    EXPECT_EQ(seenBoxes()[0].text, kNotice);
    EXPECT_EQ(seenBoxes()[0].title, QStringLiteral("Vorn's Sorvanto"));
    EXPECT_EQ(seenBoxes()[0].icon, int(QMessageBox::Information));
}

TEST_F(OptionsMenu, SaveTwiceKeepsOneSectionWithTheLatestValues)
{
    autoPlay = 0;
    phraseSync = 0;
    start();
    pressRow(0, QStringLiteral("intro_1"));
    ui().animKnob1->setValue(90);
    ui().animKnob6->setValue(35);
    ui().miniButton3->setValue(true);
    answerModalBoxes();
    ui().mnuSave->trigger();

    drag(ui().animKnob3, 8);
    const int level2 = ui().animKnob3->Value();
    press(ui().miniButton1);
    press(ui().miniButton3);
    ui().mnuSave->trigger();

    EXPECT_EQ(seenBoxes().size(), 2);
    EXPECT_EQ(iniFiles(), (QStringList { "intro.ini" }));
    const QByteArray text = read(QStringLiteral("intro.ini"));
    EXPECT_EQ(text.count("[Vorn's Sorvanto]"), 1);
    EXPECT_EQ(text.count('='), 9);
    const QString file = soundPath(QStringLiteral("intro.ini"));
    const auto section = QStringLiteral("Vorn's Sorvanto");
    EXPECT_EQ(Commands::ReadIni(section, "Level1", file, "?"), "90");
    EXPECT_EQ(Commands::ReadIni(section, "Level2", file, "?"), QString::number(level2));
    EXPECT_EQ(Commands::ReadIni(section, "Pan3", file, "?"), "35");
    EXPECT_EQ(Commands::ReadIni(section, "Mute1", file, "?"), "1");
    EXPECT_EQ(Commands::ReadIni(section, "Mute3", file, "?"), "0");

    // And a press with Phrase Sync reads the saved set back.
    ui().mnuSync->trigger();
    ui().animKnob1->setValue(50);
    ui().miniButton1->setValue(false);
    pressRow(1, QStringLiteral("intro_2"));
    EXPECT_EQ(ui().animKnob1->Value(), 90);
    EXPECT_EQ(ui().animKnob3->Value(), level2);
    EXPECT_TRUE(ui().miniButton1->Value());
}

} // namespace
