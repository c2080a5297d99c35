// SPDX-License-Identifier: GPL-3.0-or-later
#include "DialogTestKit.h"
#include "dialogs/SettingsCommand.h"
#include "dialogs/frmDirSelect.h"
#include "dialogs/frmSettings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <unistd.h>

namespace {

double processCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

class Settings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = QDir::cleanPath(tmp.path());
        ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("app/Sounds/Takes")));
        ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("clips")));
        values.AppDir = root + QStringLiteral("/app/");
        values.IniFile = values.AppDir + QStringLiteral("sorvanto.ini");
        values.WAVpath = values.AppDir;
    }

    void TearDown() override
    {
        command.reset();
        flushDeletes();
    }

    frmSettings* openSettings()
    {
        command->mnuSettings_Click();
        return command->dialog();
    }

    QString stored() const
    {
        return Commands::ReadIni(
            values.AppTitle, QStringLiteral("WAVpath"), values.IniFile, QStringLiteral("<none>"));
    }

    // Presses "..." and, once the chooser shows, runs `inChooser` on it from the event loop
    // the handler waits in.
    void chooseWith(frmSettings* dialog, std::function<void(frmDirSelect*)> inChooser)
    {
        whenReady(&host.window, [dialog = QPointer<frmSettings>(dialog), inChooser] {
            if (!dialog)
                return true;
            frmDirSelect* c = dialog->chooser();
            if (!c || !c->isVisible())
                return false;
            inChooser(c);
            return true;
        });
        dialog->browseButton->click();
    }

    QTemporaryDir tmp;
    QString root;
    Commands::ProgramValues values;
    FakeHost host { values };
    std::unique_ptr<SettingsCommand> command
        = std::make_unique<SettingsCommand>(host, values, &host.window);
};

TEST_F(Settings, StoredFormIsRelativeOnlyInsideTheProgramDirectory)
{
    const QString app = values.AppDir;
    EXPECT_EQ(
        frmSettings::storedForm(app + QStringLiteral("Sounds/"), app), QStringLiteral("Sounds/"));
    EXPECT_EQ(frmSettings::storedForm(app, app), QString());
    EXPECT_EQ(frmSettings::storedForm(root + QStringLiteral("/clips/"), app),
        root + QStringLiteral("/clips/"));
    // A sibling that merely starts with the same letters is outside.
    EXPECT_EQ(frmSettings::storedForm(root + QStringLiteral("/apple/"), app),
        root + QStringLiteral("/apple/"));

    // Another letter case of the program directory counts when it is that directory (here
    // through a link, as a case-insensitive file system would have it) ...
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/app"), root + QStringLiteral("/APP")));
    EXPECT_EQ(frmSettings::storedForm(root + QStringLiteral("/APP/"), app), QString());
    EXPECT_EQ(frmSettings::storedForm(root + QStringLiteral("/APP/Sounds/"), app),
        QStringLiteral("Sounds/"));
    // ... and not when it is another directory, which the next start would otherwise swap in.
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("App")));
    EXPECT_EQ(frmSettings::storedForm(root + QStringLiteral("/App/"), app),
        root + QStringLiteral("/App/"));
}

TEST_F(Settings, SaveStoresTheDirectoryRefreshesTheListsAndCloses)
{
    struct Case
    {
        QString typed;
        QString wavPath;
        QString stored;
    };
    const Case cases[] = {
        { values.AppDir + QStringLiteral("Sounds"), values.AppDir + QStringLiteral("Sounds/"),
            QStringLiteral("Sounds/") },
        { values.AppDir, values.AppDir, QString() },
        { root + QStringLiteral("/clips"), root + QStringLiteral("/clips/"),
            root + QStringLiteral("/clips/") },
        // A relative directory is the program directory's, as the next start reads it.
        { QStringLiteral("Sounds/Takes"), values.AppDir + QStringLiteral("Sounds/Takes/"),
            QStringLiteral("Sounds/Takes/") },
    };
    int refreshes = 0;
    for (const Case& c : cases) {
        frmSettings* dialog = openSettings();
        ASSERT_NE(dialog, nullptr);
        dialog->txtPath->setText(c.typed);
        QTest::mouseClick(dialog->saveButton, Qt::LeftButton);
        EXPECT_EQ(values.WAVpath, c.wavPath);
        EXPECT_EQ(stored(), c.stored.isEmpty() ? QStringLiteral("<none>") : c.stored);
        EXPECT_EQ(host.refreshes, ++refreshes);
        EXPECT_EQ(host.wavPathAtRefresh, c.wavPath);
        flushDeletes();
        EXPECT_EQ(command->dialog(), nullptr);
    }
    // The empty value stands for the program directory and is stored as an empty value.
    QFile ini(values.IniFile);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(ini.readAll()).contains(QStringLiteral("WAVpath=")));
}

TEST_F(Settings, AHomeDirectoryIsExpandedAndAMissingOneRefused)
{
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(root + QStringLiteral("/clips")));
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("clips/Music/Loops")));
    SeenNotice seen;
    answerNotices(&host.window, seen);

    // Not stored as typed: the lists would quietly show another directory.
    frmSettings* dialog = openSettings();
    dialog->txtPath->setText(QStringLiteral("~/Music/Loops/"));
    dialog->saveButton->click();
    EXPECT_EQ(values.WAVpath, root + QStringLiteral("/clips/Music/Loops/"));
    EXPECT_EQ(stored(), root + QStringLiteral("/clips/Music/Loops/"));
    EXPECT_EQ(seen.count, 0);
    flushDeletes();
    EXPECT_EQ(command->dialog(), nullptr);

    // A folder that is not there: said so, nothing stored, the dialog stays for a correction.
    for (const QString& typed : { QStringLiteral("~/Music/Lops"), root + QStringLiteral("/gone"),
             QStringLiteral("~nobody/x") }) {
        dialog = openSettings();
        dialog->txtPath->setText(typed);
        const int refreshes = host.refreshes;
        dialog->saveButton->click();
        QString shown = typed;
        shown.replace(QStringLiteral("~/"), root + QStringLiteral("/clips/"));
        EXPECT_EQ(seen.text,
            QStringLiteral("The folder '") + shown + QStringLiteral("' does not exist."));
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(values.WAVpath, root + QStringLiteral("/clips/Music/Loops/"));
        EXPECT_EQ(stored(), root + QStringLiteral("/clips/Music/Loops/"));
        EXPECT_EQ(host.refreshes, refreshes);
        flushDeletes();
        ASSERT_EQ(command->dialog(), dialog);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->txtPath->text(), typed);
        dialog->close();
        flushDeletes();
    }
    EXPECT_EQ(seen.count, 3);
    qputenv("HOME", savedHome);
}

TEST_F(Settings, EscapeIsCancelAndEnterPressesSaveOrTheFocusedButton)
{
    frmSettings* dialog = openSettings();
    dialog->txtPath->setText(root + QStringLiteral("/clips"));
    dialog->txtPath->setFocus();
    QTest::keyClick(dialog->txtPath, Qt::Key_Escape);
    flushDeletes();
    EXPECT_EQ(command->dialog(), nullptr) << "Escape closed the dialog";
    EXPECT_EQ(values.WAVpath, values.AppDir);
    EXPECT_EQ(host.refreshes, 0);

    // Enter in the path box is Save & Close, the default button.
    dialog = openSettings();
    EXPECT_TRUE(dialog->saveButton->isDefault());
    dialog->txtPath->setText(root + QStringLiteral("/clips"));
    QTest::keyClick(dialog->txtPath, Qt::Key_Return);
    flushDeletes();
    EXPECT_EQ(command->dialog(), nullptr);
    EXPECT_EQ(values.WAVpath, root + QStringLiteral("/clips/"));
    EXPECT_EQ(host.refreshes, 1);

    // On a focused button Enter presses that button: Cancel, where the dialog opens.
    dialog = openSettings();
    dialog->txtPath->setText(values.AppDir);
    QTest::keyClick(dialog->cancelButton, Qt::Key_Enter);
    flushDeletes();
    EXPECT_EQ(command->dialog(), nullptr);
    EXPECT_EQ(values.WAVpath, root + QStringLiteral("/clips/"));
}

TEST_F(Settings, TheSavedDirectoryComesBackAtTheNextStart)
{
    for (const QString& typed : { values.AppDir + QStringLiteral("Sounds/Takes"),
             root + QStringLiteral("/clips/"), values.AppDir }) {
        frmSettings* dialog = openSettings();
        dialog->txtPath->setText(typed);
        dialog->saveButton->click();
        flushDeletes();
        Commands::ProgramValues next;
        next.AppDir = values.AppDir;
        next.AppExeName = QStringLiteral("sorvanto");
        Commands::LoadProgramSettings(next);
        EXPECT_EQ(next.IniFile, values.IniFile);
        EXPECT_EQ(next.WAVpath, values.WAVpath) << typed.toStdString();
    }
}

TEST_F(Settings, CancelChangesNothingAndTheNextOpeningShowsTheOldDirectory)
{
    frmSettings* dialog = openSettings();
    EXPECT_EQ(dialog->txtPath->text(), values.AppDir);
    dialog->txtPath->setText(root + QStringLiteral("/clips"));
    dialog->cancelButton->click();
    flushDeletes();
    EXPECT_EQ(command->dialog(), nullptr);
    EXPECT_EQ(values.WAVpath, values.AppDir);
    EXPECT_FALSE(QFile::exists(values.IniFile));
    EXPECT_EQ(host.refreshes, 0);

    dialog = openSettings();
    EXPECT_EQ(dialog->txtPath->text(), values.AppDir);
    dialog->close(); // the close box is Cancel too
    EXPECT_EQ(values.WAVpath, values.AppDir);
    EXPECT_EQ(host.refreshes, 0);
}

TEST_F(Settings, SettingsWhileOpenBringsTheSameDialogAndRefillsThePath)
{
    frmSettings* dialog = openSettings();
    dialog->txtPath->setText(QStringLiteral("edited"));
    values.WAVpath = root + QStringLiteral("/clips/");
    EXPECT_EQ(openSettings(), dialog);
    EXPECT_EQ(dialog->txtPath->text(), values.WAVpath);
}

TEST_F(Settings, DesignGeometryFontsAndFocus)
{
    frmSettings* d = openSettings();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(d->size(), QSize(533, 85));
    EXPECT_EQ(d->parentWidget(), &host.window);
    EXPECT_TRUE(d->isWindow());
    EXPECT_TRUE(d->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(d->cancelButton->geometry(), QRect(4, 48, 89, 33));
    EXPECT_EQ(d->txtPath->geometry(), QRect(4, 20, 505, 19));
    EXPECT_EQ(d->pathCaption->geometry(), QRect(4, 4, 261, 17));
    EXPECT_EQ(d->browseButton->geometry(), QRect(508, 20, 21, 18));
    EXPECT_EQ(d->saveButton->geometry(), QRect(412, 48, 117, 33));
    EXPECT_EQ(d->txtPath->palette().color(QPalette::Base), QColor(64, 64, 64));
    EXPECT_EQ(d->txtPath->palette().color(QPalette::Text), QColor(128, 255, 255));
    EXPECT_TRUE(d->saveButton->font().bold());
    EXPECT_EQ(d->saveButton->font().pixelSize(), 11);
    EXPECT_FALSE(d->cancelButton->font().bold());
    // "&&" is the literal ampersand: no mnemonic, one ampersand shown.
    EXPECT_EQ(d->saveButton->text(), QStringLiteral("Save && Close"));
    EXPECT_EQ(d->focusWidget(), d->cancelButton);
    EXPECT_EQ(tabChain(d->cancelButton),
        (QList<QWidget*> { d->cancelButton, d->txtPath, d->browseButton, d->saveButton }));
}

TEST_F(Settings, ChooserCancelPutsBackTheTextOfTheMoment)
{
    frmSettings* dialog = openSettings();
    const QString atPress = values.AppDir + QStringLiteral("Sounds");
    dialog->txtPath->setText(atPress);
    chooseWith(dialog, [&](frmDirSelect* c) {
        EXPECT_EQ(c->windowTitle(), QStringLiteral("Sound Directory (WAVE Files)"));
        EXPECT_EQ(c->currentDirectory(), atPress);
        dialog->txtPath->setText(QStringLiteral("typed during the wait"));
        c->cancelButton->click();
    });
    EXPECT_TRUE(!dialog->chooser() || dialog->chooser()->isFinished());
    EXPECT_EQ(dialog->txtPath->text(), atPress);
    EXPECT_EQ(values.WAVpath, values.AppDir) << "the chooser itself stores nothing";
}

TEST_F(Settings, ChooserOkFillsThePathBoxAndTheCloseBoxEndsTheWait)
{
    frmSettings* dialog = openSettings();
    dialog->txtPath->setText(values.AppDir + QStringLiteral("Sounds/"));
    chooseWith(dialog, [](frmDirSelect* c) {
        ASSERT_TRUE(c->setCurrentDirectory(c->currentDirectory() + QStringLiteral("/Takes")));
        c->okButton->click();
    });
    EXPECT_EQ(dialog->txtPath->text(), values.AppDir + QStringLiteral("Sounds/Takes/"));

    chooseWith(dialog, [](frmDirSelect* c) {
        c->setCurrentDirectory(QStringLiteral("/"));
        c->close();
    });
    EXPECT_TRUE(!dialog->chooser() || dialog->chooser()->isFinished());
    EXPECT_EQ(dialog->txtPath->text(), values.AppDir + QStringLiteral("Sounds/Takes/"));
    flushDeletes();
    EXPECT_EQ(dialog->chooser(), nullptr);

    // A second opening starts from the box's text again, here a missing directory: the
    // working directory.
    dialog->txtPath->setText(root + QStringLiteral("/gone"));
    chooseWith(dialog, [](frmDirSelect* c) {
        EXPECT_EQ(c->currentDirectory(), QDir::cleanPath(QDir::currentPath()));
        c->cancelButton->click();
    });
    EXPECT_EQ(dialog->txtPath->text(), root + QStringLiteral("/gone"));
}

TEST_F(Settings, SecondPressWhileWaitingSharesTheOneChooser)
{
    frmSettings* dialog = openSettings();
    dialog->txtPath->setText(values.AppDir);
    const QString second = values.AppDir + QStringLiteral("Sounds/");
    int waitsEnded = 0;
    chooseWith(dialog, [&](frmDirSelect* first) {
        whenReady(&host.window, [&] {
            EXPECT_EQ(dialog->chooser(), first);
            first->cancelButton->click();
            return true;
        });
        dialog->txtPath->setText(second);
        dialog->browseButton->click(); // waits again, on the same chooser
        ++waitsEnded;
    });
    ++waitsEnded;
    EXPECT_EQ(waitsEnded, 2);
    EXPECT_TRUE(!dialog->chooser() || dialog->chooser()->isFinished());
    // Cancel hands back the start path of the latest press.
    EXPECT_EQ(dialog->txtPath->text(), second);
}

TEST_F(Settings, ClosingTheSettingsDialogDuringTheWaitEndsItSafely)
{
    frmSettings* dialog = openSettings();
    QPointer<frmSettings> alive(dialog);
    QPointer<frmDirSelect> chooser;
    chooseWith(dialog, [&](frmDirSelect* c) {
        chooser = c;
        dialog->txtPath->setText(root + QStringLiteral("/clips"));
        dialog->saveButton->click(); // "Save & Close" while the chooser is open
    });
    EXPECT_EQ(values.WAVpath, root + QStringLiteral("/clips/"));
    EXPECT_TRUE(!chooser || chooser->isFinished());
    flushDeletes();
    EXPECT_TRUE(alive.isNull());
    EXPECT_TRUE(chooser.isNull());
    EXPECT_EQ(command->dialog(), nullptr);
}

TEST_F(Settings, WaitSleepsWhileTheChooserStaysOpen)
{
    frmSettings* dialog = openSettings();
    dialog->txtPath->setText(values.AppDir);
    QElapsedTimer wall;
    double cpu = 0;
    chooseWith(dialog, [&](frmDirSelect* c) {
        QTimer::singleShot(1000, c, [c] { c->cancelButton->click(); });
        wall.start();
        cpu = processCpuSeconds();
    });
    cpu = processCpuSeconds() - cpu;
    EXPECT_GE(wall.elapsed(), 950);
    EXPECT_LT(cpu, 0.2) << "CPU seconds used during one second of waiting";
    std::printf("[ measure  ] CPU during a 1 s chooser wait: %.3f s\n", cpu);
}

// The program ends while the chooser is open: the wait returns at once instead of keeping the
// process alive. Run in a child process, since ending the event loops is for good.
TEST(SettingsDeathTest, ProgramEndDuringTheWaitEndsIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(20); // a wait that never ends fails by the signal
            QTemporaryDir tmp;
            Commands::ProgramValues values;
            values.AppDir = tmp.path() + QStringLiteral("/");
            FakeHost host(values);
            SettingsCommand command(host, values, &host.window);
            command.mnuSettings_Click();
            frmSettings* dialog = command.dialog();
            whenReady(&host.window, [dialog] {
                if (!dialog->chooser() || !dialog->chooser()->isVisible())
                    return false;
                QCoreApplication::exit(0);
                return true;
            });
            dialog->browseButton->click();
            _exit(dialog->chooser() && !dialog->chooser()->isFinished()
                    ? 3
                    : 4); // no leak check of a child
        },
        ::testing::ExitedWithCode(3), "");
}

} // namespace
