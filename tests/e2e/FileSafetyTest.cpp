// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program on files that fight back: a full or read-only sound directory, the window
// closing while a question is open or a press is in its event passes, and names that only
// their bytes tell apart (not UTF-8, letter case, special files beside regular ones).
#include "e2e/PlayerFixture.h"
#include "player/PlayerModel.h"

#include "app/CloseOnTermination.h"
#include "app/FileNames.h"
#include "app/FileTestKit.h"
#include "controls/animKnob.h"
#include "manage/LibraryCommands.h"
#include "player/AppModul.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "support/EventLoopKit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace PlayerTest;

namespace {

class FileSafety : public PlayerFixture
{
protected:
    QByteArray read(const QString& name) const
    {
        QFile f(soundPath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList soundFiles() const
    {
        return QDir(soundPath(QString()))
            .entryList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
    // Save Settings from the menu; the box it showed.
    SeenBox save()
    {
        answerModalBoxes();
        const qsizetype before = seenBoxes().size();
        ui().mnuSave->trigger();
        EXPECT_EQ(seenBoxes().size(), before + 1);
        return seenBoxes().isEmpty() ? SeenBox {} : seenBoxes().last();
    }
};

} // namespace

TEST_F(FileSafety, SaveSettingsSaysSavedOnlyWhenTheFileLanded)
{
    autoPlay = 0;
    addSet(QStringLiteral("intro"), 300, 400, 500);
    const QByteArray before
        = "[Vorn's Sorvanto]\r\nLevel1=60\r\n; " + QByteArray(3000, 'x') + "\r\n";
    addTextFile(QStringLiteral("intro.ini"), before);
    start();
    pressRow(0, QStringLiteral("intro_1"));
    ui().animKnob1->setValue(90);

    {
        // The new file is larger than what may be written: as a disk that runs full.
        FileTestKit::FileSizeLimit limit(2000);
        const SeenBox box = save();
        EXPECT_EQ(box.text,
            QStringLiteral("The settings could not be saved in '") + soundPath("intro.ini")
                + QStringLiteral("':\r\nFile too large."));
        EXPECT_EQ(box.icon, int(QMessageBox::Warning));
    }
    EXPECT_EQ(read(QStringLiteral("intro.ini")), before);

    {
        ASSERT_EQ(::chmod(QFile::encodeName(soundPath(QString())).constData(), 0555), 0);
        FileTestKit::ObeyPermissions obey;
        if (obey.active()) {
            const SeenBox box = save();
            EXPECT_TRUE(box.text.endsWith(QStringLiteral("':\r\nPermission denied.")))
                << box.text.toStdString();
        }
        ::chmod(QFile::encodeName(soundPath(QString())).constData(), 0755);
    }
    EXPECT_EQ(read(QStringLiteral("intro.ini")), before);
    EXPECT_EQ(
        soundFiles(), (QStringList { "intro.ini", "intro_1.wav", "intro_2.wav", "intro_3.wav" }));

    EXPECT_TRUE(save().text.endsWith(QStringLiteral("Settings saved.")));
    EXPECT_EQ(Commands::ReadIni(QStringLiteral("Vorn's Sorvanto"), QStringLiteral("Level1"),
                  soundPath("intro.ini"), {}),
        QStringLiteral("90"));
}

// The lists follow the sound directory by its path, within about a second and without F5:
// deleted, made again, swapped for a link to another folder, made unreadable. Lists never
// show files that cannot be read, and a press then says nothing and plays nothing.
TEST_F(FileSafety, TheListsFollowTheSoundDirectoryByItsPath)
{
    autoPlay = 0;
    addSet(QStringLiteral("intro"), 300, 400, 500);
    start();
    ASSERT_EQ(entries(0), QStringList { QStringLiteral("intro_1") });
    const QString dir = soundPath(QString());
    const QString path = dir.chopped(1);
    const int within = 1500;

    ASSERT_TRUE(QDir().rename(path, path + QStringLiteral(".old")));
    QTRY_VERIFY_WITH_TIMEOUT(entries(0).isEmpty() && entries(1).isEmpty(), within);

    ASSERT_TRUE(QDir().mkpath(dir));
    ASSERT_TRUE(QFile::copy(path + QStringLiteral(".old/intro_2.wav"), dir + "again_2.wav"));
    QTRY_COMPARE_WITH_TIMEOUT(entries(1), QStringList { QStringLiteral("again_2") }, within);

    // Swapped for a link to another folder, as sync tools do; the renamed-away folder is
    // not followed any more.
    const QString synced = m_root.path() + QStringLiteral("/synced/");
    ASSERT_TRUE(QDir().mkpath(synced));
    ASSERT_TRUE(QFile::copy(path + QStringLiteral(".old/intro_3.wav"), synced + "linked_3.wav"));
    ASSERT_TRUE(QDir().rename(path, path + QStringLiteral(".away")));
    ASSERT_EQ(
        ::symlink(QFile::encodeName(synced).constData(), QFile::encodeName(path).constData()), 0);
    QTRY_COMPARE_WITH_TIMEOUT(entries(2), QStringList { QStringLiteral("linked_3") }, within);
    ASSERT_TRUE(QFile::copy(synced + "linked_3.wav", synced + "more_3.wav"));
    QTRY_COMPARE_WITH_TIMEOUT(entries(2), (QStringList { "linked_3", "more_3" }), within);
    pressRow(2, QStringLiteral("linked_3"));

    // Made unreadable: the lists empty, and the Play press has nothing to play.
    FileTestKit::ObeyPermissions obey;
    if (!obey.active())
        GTEST_SKIP() << "permissions cannot be made to count here";
    ASSERT_EQ(::chmod(QFile::encodeName(synced).constData(), 0), 0);
    QTRY_VERIFY_WITH_TIMEOUT(entries(2).isEmpty(), within);
    answerModalBoxes();
    press(ui().playButton(2));
    settle();
    EXPECT_TRUE(seenBoxes().isEmpty());
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> {}));
    EXPECT_FALSE(engine().status(2).playing);
    ASSERT_EQ(::chmod(QFile::encodeName(synced).constData(), 0755), 0);
    QTRY_COMPARE_WITH_TIMEOUT(entries(2), (QStringList { "linked_3", "more_3" }), within);
}

// SIGTERM while "Really delete phrase ...?" is open ends the program as the close box does;
// the box's end is no Yes, and no file goes.
TEST_F(FileSafety, TerminationWhileTheDeleteQuestionIsOpenDeletesNothing)
{
    autoPlay = 0;
    addSet(QStringLiteral("intro"), 300, 400, 500);
    start();
    pressRow(1, QStringLiteral("intro_2"));
    int questions = 0;
    EventLoopKit::runInApplicationLoop([&] {
        AppModul::CloseOnTermination termination;
        termination.setWindow(&form());
        QTimer watch;
        // Counts boxes, not timer turns: the box asked first may still be up for a few turns
        // while the signal travels through the termination pipe on a busy machine.
        QPointer<QMessageBox> seen;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == seen)
                return;
            seen = box;
            if (questions++ == 0)
                std::raise(SIGTERM);
        });
        watch.start(5);
        form().libraryCommands().mnuDel_Click();
    });
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(form().unloaded());
    EXPECT_EQ(read(QStringLiteral("intro_2.wav")).left(4), QByteArray("RIFF"));
}

// A press whose event passes see the window close starts nothing afterwards.
TEST_F(FileSafety, APressCaughtInItsEventPassesStartsNothingAfterTheWindowClosed)
{
    addSet(QStringLiteral("intro"), 300, 400, 500);
    start();
    EventLoopKit::runInApplicationLoop([&] {
        QTimer::singleShot(0, &form(), [&] { form().close(); });
        pressRow(0, QStringLiteral("intro_1"));
    });
    EXPECT_TRUE(form().unloaded());
    settle();
    for (qint16 c = 0; c < 3; ++c)
        EXPECT_FALSE(engine().status(c).playing) << c;
}

// A file name from an archive made under another encoding is listed, plays, takes its set's
// settings and goes to the trash: every entry leads to its own file.
TEST_F(FileSafety, NamesThatAreNotUtf8LeadToTheirOwnFiles)
{
    autoPlay = 1;
    addSet(QStringLiteral("x"), 300, 400, 500);
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    const QByteArray dir = QFile::encodeName(soundPath(QString()));
    for (int n = 1; n <= 3; ++n)
        ASSERT_EQ(::rename((dir + "x_" + QByteArray::number(n) + ".wav").constData(),
                      (dir + "Caf\xE9_" + QByteArray::number(n) + ".wav").constData()),
            0);
    start();
    const QString entry = Commands::PathFromNative("Caf\xE9_1");
    ASSERT_EQ(entries(0), QStringList { entry });
    pressRow(0, entry);
    settle();
    for (qint16 c = 0; c < 3; ++c) {
        const DX7Sound::ChannelStatus st = engine().status(c);
        EXPECT_TRUE(st.playing) << c;
        EXPECT_EQ(
            Commands::NativePath(st.file), dir + "Caf\xE9_" + QByteArray::number(c + 1) + ".wav");
    }
    ui().animKnob3->setValue(77);
    answerModalBoxes();
    ui().mnuSave->trigger();
    struct stat st;
    EXPECT_EQ(::stat((dir + "Caf\xE9.ini").constData(), &st), 0);

    pressRow(1, Commands::PathFromNative("Caf\xE9_2"));
    form().model().aimPopup(1);
    answerModalBoxes(); // answers Yes by accepting
    form().libraryCommands().mnuDel_Click();
    EXPECT_NE(::lstat((dir + "Caf\xE9_2.wav").constData(), &st), 0);
    EXPECT_EQ(
        ::lstat(
            (QFile::encodeName(dataHome.path()) + "/Trash/files/Caf\xE9_2.wav").constData(), &st),
        0);
    qunsetenv("XDG_DATA_HOME");
}

// Names that differ only in letter case, and a special file beside a regular one: the entry
// shown plays, saves and deletes the file it was listed for.
TEST_F(FileSafety, EveryEntryLeadsToTheFileItWasListedFor)
{
    autoPlay = 1;
    phraseSync = 0;
    addPhrase(QStringLiteral("Foo_1.wav"), markedPhrase(300, 0.5));
    addPhrase(QStringLiteral("foo_1.WAV"), markedPhrase(400, 0.7));
    addPhrase(QStringLiteral("X_2.WAV"), markedPhrase(500, 0.6));
    ASSERT_EQ(::mkfifo(QFile::encodeName(soundPath("X_2.wav")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(soundPath("Y_3.wav")));
    addPhrase(QStringLiteral("Y_3.Wav"), markedPhrase(600, 0.4));
    start();
    EXPECT_EQ(entries(0), (QStringList { "Foo_1", "foo_1" }));
    EXPECT_EQ(entries(1), QStringList { "X_2" });
    EXPECT_EQ(entries(2), QStringList { "Y_3" });

    pressRow(0, QStringLiteral("foo_1"));
    EXPECT_EQ(engine().status(0).file, soundPath("foo_1.WAV"));
    pressRow(0, QStringLiteral("Foo_1"));
    EXPECT_EQ(engine().status(0).file, soundPath("Foo_1.wav"));
    pressRow(1, QStringLiteral("X_2"));
    EXPECT_EQ(engine().status(1).file, soundPath("X_2.WAV"));
    pressRow(2, QStringLiteral("Y_3"));
    EXPECT_EQ(engine().status(2).file, soundPath("Y_3.Wav"));

    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    pressRow(0, QStringLiteral("foo_1"));
    form().model().aimPopup(0);
    answerModalBoxes();
    form().libraryCommands().mnuDel_Click();
    qunsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(QFile::exists(soundPath("Foo_1.wav")));
    EXPECT_FALSE(QFile::exists(soundPath("foo_1.WAV")));
    EXPECT_TRUE(QFile::exists(dataHome.path() + "/Trash/files/foo_1.WAV"));
}
