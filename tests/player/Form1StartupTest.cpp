// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and shutdown of the whole program as Main sets it up, on a private program directory
// and an offline sound device: check marks from stored flags, the lists, Form_Unload's stops and
// writes, the end of the event loop, and the close on termination signals.

#include "player/AppModul.h"
#include "player/Form1.h"
#include "player/Form1Parts.h"
#include "player/PlayerModel.h"
#include "player/ProgramParts.h"

#include "app/CloseOnTermination.h"
#include "app/Commands.h"
#include "app/FileTestKit.h"
#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "dialogs/SettingsCommand.h"
#include "dialogs/frmSettings.h"
#include "player/Form1TestKit.h"
#include "player/PhraseList.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class Form1Startup : public ::testing::Test
{
protected:
    StartedProgram start()
    {
        engine = Form1TestKit::offlineEngine();
        return StartedProgram(AppModul::StartProgram(dir.values, *engine));
    }

    QString stored(const char* key) const
    {
        return Commands::ReadIni(QStringLiteral("Vorn's Sorvanto"), QLatin1String(key),
            dir.iniFile(), QStringLiteral("<none>"));
    }

    Form1TestKit::ProgramDir dir;
    std::unique_ptr<DX7Sound::Engine> engine;
};

} // namespace

TEST_F(Form1Startup, ShowsTheCaptionTheListsAndTheDefaultCheckMarks)
{
    dir.addPhrases({ "Demo_1.wav", "Demo_2.wav", "Demo_3.wav", "Count-in.wav" });
    const auto form = start();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Vorn's Sorvanto"));
    EXPECT_EQ(form->model().entries(0), (QStringList { "Count-in", "Demo_1" }));
    EXPECT_EQ(form->model().entries(1), (QStringList { "Count-in", "Demo_2" }));
    EXPECT_EQ(form->model().entries(2), (QStringList { "Count-in", "Demo_3" }));
    EXPECT_FALSE(ui(*form).mnuEnding->isChecked());
    EXPECT_TRUE(ui(*form).mnuAutoPlay->isChecked());
    EXPECT_TRUE(ui(*form).mnuSync->isChecked());
    // Nothing is written at start-up.
    EXPECT_FALSE(QFile::exists(dir.iniFile()));
}

TEST_F(Form1Startup, CheckMarksComeFromTheStoredFlags)
{
    struct Case
    {
        const char* text;
        bool endingOn, autoPlayOn, syncOn;
    };
    const Case cases[] = {
        { "[Vorn's Sorvanto]\nShowEnding=1\nAutoPlay=0\nPhraseSync=0\n", true, false, false },
        { "[Vorn's Sorvanto]\nShowEnding=2\nAutoPlay=abc\nPhraseSync=1\n", false, false, true },
        { "[vorn's sorvanto]\r\nshowending = \"1\"\r\nAutoPlay=1.5\r\nPhraseSync=-1\r\n", true,
            false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Form1TestKit::ProgramDir fresh;
        fresh.writeSettings(c.text);
        const auto own = Form1TestKit::offlineEngine();
        const StartedProgram form(AppModul::StartProgram(fresh.values, *own));
        EXPECT_EQ(ui(*form).mnuEnding->isChecked(), c.endingOn);
        EXPECT_EQ(ui(*form).mnuAutoPlay->isChecked(), c.autoPlayOn);
        EXPECT_EQ(ui(*form).mnuSync->isChecked(), c.syncOn);
    }
}

TEST_F(Form1Startup, AnyNonZeroShowEndingShowsTheExtensionThoughItsItemIsUnchecked)
{
    dir.addPhrases({ "Demo_1.wav", "Loop.WAV" });
    dir.writeSettings("[Vorn's Sorvanto]\nShowEnding=2\n");
    const auto form = start();
    EXPECT_FALSE(ui(*form).mnuEnding->isChecked());
    EXPECT_EQ(form->model().entries(0), (QStringList { "Demo_1.wav", "Loop.WAV" }));
}

TEST_F(Form1Startup, RefreshEmptiesTheListsBeforeOtherHandlersRunAndClearsSelections)
{
    dir.addPhrases({ "a_1.wav", "b_1.wav" });
    const auto form = start();
    ui(*form).lstPhrase[0]->setCurrentRow(1);
    dir.addPhrases({ "c_1.wav" });
    // A handler that runs while the refresh lets pending events through sees empty lists.
    int seenCount = -1;
    QTimer::singleShot(0, form.get(), [&] { seenCount = int(form->model().entries(0).size()); });
    form->RefreshPhraseLists();
    EXPECT_EQ(seenCount, 0);
    EXPECT_EQ(form->model().entries(0), (QStringList { "a_1", "b_1", "c_1" }));
    EXPECT_EQ(form->model().selectedEntry(0), QString());
}

TEST_F(Form1Startup, LoadDXSoundPreloadsElevenChannelsAtLevel80)
{
    const auto form = start();
    for (qint16 channel = 0; channel <= 10; ++channel) {
        SCOPED_TRACE(channel);
        const DX7Sound::ChannelStatus status = engine->status(channel);
        EXPECT_TRUE(status.exists);
        EXPECT_TRUE(status.Loaded);
        EXPECT_FALSE(status.playing);
        EXPECT_EQ(status.volume, 80 * 60 - 6000);
        EXPECT_EQ(status.file, dir.values.DefaultWav);
    }
    EXPECT_FALSE(engine->status(11).exists);
}

TEST_F(Form1Startup, UnloadStopsOnlyFlaggedChannelsAndStoresTheFlags)
{
    dir.addPhrases({ "a_2.wav" });
    const auto form = start();
    // Column 2 is started by its Play button and flagged; columns 1 and 3 play unflagged
    // (started behind the window's back), so only column 2 is stopped.
    ui(*form).lstPhrase[1]->setCurrentRow(0);
    QTest::mousePress(ui(*form).playButton(1), Qt::LeftButton);
    ASSERT_TRUE(form->model().playing(1));
    for (qint16 channel : { 0, 2 })
        engine->PlayChannel(channel, 1);
    form->close();
    EXPECT_TRUE(form->unloaded());
    EXPECT_TRUE(engine->status(0).playing);
    EXPECT_FALSE(engine->status(1).playing);
    EXPECT_TRUE(engine->status(2).playing);

    EXPECT_EQ(stored("ShowEnding"), QStringLiteral("0"));
    EXPECT_EQ(stored("AutoPlay"), QStringLiteral("1"));
    EXPECT_EQ(stored("PhraseSync"), QStringLiteral("1"));
    const QByteArray text = dir.settingsText();
    EXPECT_FALSE(text.contains("WAVpath"));
    EXPECT_LT(text.indexOf("ShowEnding"), text.indexOf("AutoPlay"));
    EXPECT_LT(text.indexOf("AutoPlay"), text.indexOf("PhraseSync"));
}

TEST_F(Form1Startup, UnloadStoresTheFlagsAsChangedButNeverTheSoundDirectory)
{
    QDir(dir.root.path()).mkpath(QStringLiteral("Sounds"));
    dir.writeSettings("; mine\n[Vorn's Sorvanto]\nWAVpath=Sounds\\\nAutoPlay=1\n");
    const auto form = start();
    ui(*form).mnuEnding->trigger();
    ui(*form).mnuSync->trigger();
    dir.values.WAVpath = QStringLiteral("/elsewhere/");
    form->close();
    EXPECT_EQ(stored("ShowEnding"), QStringLiteral("1"));
    EXPECT_EQ(stored("AutoPlay"), QStringLiteral("1"));
    EXPECT_EQ(stored("PhraseSync"), QStringLiteral("0"));
    EXPECT_EQ(stored("WAVpath"), QStringLiteral("Sounds\\"));
    EXPECT_TRUE(dir.settingsText().startsWith("; mine\n"));
}

TEST_F(Form1Startup, UnloadRunsOnceAndEndsTheEventLoop)
{
    const auto form = start();
    // The application's own loop (a nested QEventLoop would keep the quit state afterwards).
    QTimer::singleShot(0, form.get(), [&] { form->close(); });
    // A safety net: the loop ends with 99 when the close does not end it.
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    safety.start(20000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(form->unloaded());
    EXPECT_FALSE(form->isVisible());

    // A later close (the session ending after the window closed) writes nothing.
    QFile::remove(dir.iniFile());
    form->close();
    EXPECT_FALSE(QFile::exists(dir.iniFile()));
}

// Options that cannot be stored are told before the window goes (the file and the system's
// reason), and the program still ends; where nobody can answer a box (a signal, the session's
// end) the same is one line on stderr and no box.
TEST_F(Form1Startup, UnloadThatCannotStoreTheOptionsSaysSoAndStillEnds)
{
    const auto form = start();
    QDir(dir.root.path()).mkpath(dir.iniFile()); // a directory where the file should be
    QStringList seen;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen << box->text();
            EXPECT_TRUE(form->isVisible()) << "the window is still there while it is told";
            box->accept();
        }
    });
    answer.start(10);
    QTimer::singleShot(0, form.get(), [&] { form->close(); });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    safety.start(20000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(form->unloaded());
    EXPECT_EQ(seen,
        QStringList { QStringLiteral("The options could not be stored in '") + dir.iniFile()
            + QStringLiteral("':\r\nIs a directory.") });

    seen.clear();
    const auto second = start();
    {
        AppModul::CloseOnTermination termination;
        termination.setWindow(second.get());
        testing::internal::CaptureStderr();
        std::raise(SIGTERM);
        EXPECT_TRUE(QTest::qWaitFor([&] { return second->unloaded(); }, 10000));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err,
            "sorvanto: The options could not be stored in '" + dir.iniFile().toStdString()
                + "': Is a directory.\n");
    }
    EXPECT_TRUE(seen.isEmpty());
}

// The settings folder of an installed program that is gone, or cannot be made: the reason
// names the folder, not a missing file.
TEST_F(Form1Startup, TheReasonNamesTheFolderThatCouldNotBeMade)
{
    Commands::ProgramValues v = dir.values;
    const QString blocked = dir.root.filePath(QStringLiteral("config"));
    QFile(blocked).open(QIODevice::WriteOnly); // a file where the folder should be
    v.IniFile = blocked + QStringLiteral("/sorvanto/sorvanto.ini");
    const Commands::IoResult flags = Commands::StoreProgramFlags(v);
    EXPECT_EQ(flags.reason(),
        QStringLiteral("The folder '") + blocked
            + QStringLiteral("' could not be created: Not a directory"));
    EXPECT_EQ(
        Commands::StoreProgramSetting(v, QStringLiteral("WAVpath"), QStringLiteral("x")).reason(),
        flags.reason());

    // A folder that went since start-up is made again.
    v.IniFile = dir.root.filePath(QStringLiteral("cfg/sorvanto/sorvanto.ini"));
    ASSERT_TRUE(Commands::StoreProgramFlags(v));
    EXPECT_EQ(Commands::ReadIni(v.AppTitle, QStringLiteral("AutoPlay"), v.IniFile, {}),
        QStringLiteral("1"));

    const QString readOnly = dir.root.filePath(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(readOnly));
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    v.IniFile = readOnly + QStringLiteral("/cfg/sorvanto/sorvanto.ini");
    FileTestKit::ObeyPermissions obey;
    if (!obey.active())
        GTEST_SKIP() << "permissions cannot be made to count here";
    EXPECT_EQ(Commands::StoreProgramFlags(v).reason(),
        QStringLiteral("The folder '") + readOnly
            + QStringLiteral("/cfg' could not be created: Permission denied"));
}

TEST_F(Form1Startup, TerminationSignalsCloseTheWindowAsItsCloseBoxDoes)
{
    for (const int signal : { SIGTERM, SIGINT, SIGHUP }) {
        SCOPED_TRACE(signal);
        QFile::remove(dir.iniFile());
        const auto form = start();
        {
            AppModul::CloseOnTermination termination;
            termination.setWindow(form.get());
            std::raise(signal);
            EXPECT_TRUE(QTest::qWaitFor([&] { return form->unloaded(); }, 10000));
        }
        EXPECT_EQ(stored("PhraseSync"), QStringLiteral("1"));
    }
}

TEST_F(Form1Startup, ASignalBeforeTheWindowExistsClosesItOnceItIsThere)
{
    AppModul::CloseOnTermination termination;
    std::raise(SIGTERM);
    QTest::qWait(50); // the signal is taken while there is no window yet
    const auto form = start();
    termination.setWindow(form.get());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->unloaded(); }, 10000));
}

TEST_F(Form1Startup, TheWatcherRestoresThePreviousSignalHandling)
{
    struct sigaction before
    {
    };
    ::sigaction(SIGHUP, nullptr, &before);
    {
        AppModul::CloseOnTermination termination;
        struct sigaction during
        {
        };
        ::sigaction(SIGHUP, nullptr, &during);
        EXPECT_NE(during.sa_handler, before.sa_handler);
    }
    struct sigaction after
    {
    };
    ::sigaction(SIGHUP, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST_F(Form1Startup, UnloadLeavesOpenDialogsToGoWithTheWindowWithoutTheirCloseHandlers)
{
    auto form = start();
    ui(*form).mnuSettings->trigger();
    const QPointer<QWidget> dialog = form->settingsCommand().dialog();
    ASSERT_FALSE(dialog.isNull());
    ASSERT_TRUE(dialog->isVisible());

    QTimer::singleShot(0, form.get(), [&] { form->close(); });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    safety.start(20000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    // Its own close handling never ran (it would have hidden it); it ends with the window.
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    form.reset();
    EXPECT_TRUE(dialog.isNull());
}

TEST_F(Form1Startup, EveryControlReachesItsHandler)
{
    dir.addPhrases({ "a_1.wav", "a_2.wav", "a_3.wav" });
    const auto form = start();
    // A right press in the third list is recorded and opens the popup.
    const PhraseList* third = ui(*form).lstPhrase[2];
    QTest::mousePress(
        third->viewport(), Qt::RightButton, {}, third->visualItemRect(third->item(0)).center());
    EXPECT_EQ(form->model().currentListIndex(), 2);
    EXPECT_TRUE(ui(*form).mnuPop->isVisible());
    ui(*form).mnuPop->hide();

    // Mute reaches the engine; a double-click centres a pan knob.
    QTest::mousePress(ui(*form).muteButton(1), Qt::LeftButton);
    EXPECT_EQ(engine->status(1).volume, -6000);
    ui(*form).panKnob(0)->setValue(60);
    QTest::mouseDClick(ui(*form).panKnob(0), Qt::LeftButton);
    EXPECT_EQ(ui(*form).panKnob(0)->Value(), 50);

    // Play and the sync panel start and stop through the Playing flags.
    ui(*form).lstPhrase[0]->setCurrentRow(0);
    QTest::mousePress(ui(*form).playButton(0), Qt::LeftButton);
    EXPECT_TRUE(form->model().playing(0));
    EXPECT_TRUE(engine->status(0).playing);
    QTest::mousePress(ui(*form).syncButton1, Qt::LeftButton);
    EXPECT_FALSE(form->model().playing(0));
    EXPECT_FALSE(engine->status(0).playing);
}
