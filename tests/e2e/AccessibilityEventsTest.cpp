// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader is told while the player is used: after each change of each control,
// the description (name, value, key) that the accessibility interface reports is the one of the
// moment, and a change event announced it; names are words; the dialogs are dialogs with every
// control named; a knob moves by the same amount on every Up.
//
// Qt raises accessibility events only while an accessibility bridge is active, so the test runs
// itself again on a virtual X display in a private D-Bus session whose accessibility bus is up
// (SORVANTO_A11Y_EVENTS_RUN set in that run).
#include "e2e/PlayerFixture.h"

#include "controls/NameEdit.h"
#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "dialogs/SettingsCommand.h"
#include "dialogs/frmDirSelect.h"
#include "dialogs/frmSettings.h"
#include "manage/LibraryCommands.h"
#include "manage/frmRenSet.h"
#include "manage/frmRename.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "player/PlayerKeys.h"

#include <QAccessible>
#include <QAccessibleEvent>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace PlayerTest;

namespace {

constexpr const char* kMarker = "SORVANTO_A11Y_EVENTS_RUN";

// The events Qt hands to assistive technologies: which object, which kind.
struct EventLog
{
    static std::vector<std::pair<QObject*, QAccessible::Event>>& events()
    {
        static std::vector<std::pair<QObject*, QAccessible::Event>> log;
        return log;
    }
    static void record(QAccessibleEvent* event)
    {
        events().emplace_back(event->object(), event->type());
    }
    static int count(QObject* object, QAccessible::Event type)
    {
        return int(std::count(events().begin(), events().end(),
            std::pair<QObject*, QAccessible::Event>(object, type)));
    }
};

// Starts the inner run: a private D-Bus session, its accessibility bus started, Xvfb.
bool insideAccessibleSession(const QString& filter)
{
    if (!qEnvironmentVariableIsEmpty(kMarker))
        return true;
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kMarker), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    // The X, D-Bus and font libraries keep caches until exit; leaks are checked elsewhere.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::MergedChannels);
    // xvfb-run outermost, so that the X server goes with the run whatever becomes of it.
    const QString script
        = QStringLiteral("dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus "
                         "org.a11y.Bus.GetAddress >/dev/null || exit 3; "
                         "exec \"$0\" --gtest_filter=\"$1\"");
    run.start(QStringLiteral("xvfb-run"),
        { QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
            QStringLiteral("dbus-run-session"), QStringLiteral("--"), QStringLiteral("sh"),
            QStringLiteral("-c"), script, QCoreApplication::applicationFilePath(), filter });
    if (!run.waitForFinished(180000)) {
        ADD_FAILURE() << "the accessible session did not finish";
        return false;
    }
    const QString out = QString::fromUtf8(run.readAll());
    EXPECT_EQ(run.exitCode(), 0) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test"))) << qPrintable(out);
    return false;
}

class AccessibilityEvents : public PlayerFixture
{
protected:
    void SetUp() override
    {
        for (const char* tool : { "dbus-run-session", "dbus-send", "xvfb-run" })
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
    }

    void startPlayer()
    {
        autoPlay = 0;
        addSet(QStringLiteral("intro"), 300, 400, 500);
        start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
        ASSERT_TRUE(QTest::qWaitFor([] { return QAccessible::isActive(); }, 10000))
            << "the accessibility bridge did not come up";
        m_previous = QAccessible::installUpdateHandler(&EventLog::record);
        EventLog::events().clear();
    }

    void TearDown() override
    {
        if (QAccessible::isActive())
            QAccessible::installUpdateHandler(m_previous);
    }

    static QString description(QWidget* widget)
    {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
        return iface ? iface->text(QAccessible::Description) : QStringLiteral("<none>");
    }

    static QAccessibleInterface* of(QWidget* widget)
    {
        return QAccessible::queryAccessibleInterface(widget);
    }

    // Waits until `widget`'s description is `expected` and a change of it was announced.
    static void expectAnnounced(QWidget* widget, const QString& expected)
    {
        const bool told = QTest::qWaitFor(
            [&] {
                return description(widget) == expected
                    && EventLog::count(widget, QAccessible::DescriptionChanged) > 0;
            },
            5000);
        EXPECT_TRUE(told) << qPrintable(widget->accessibleName()) << " says "
                          << qPrintable(description(widget)) << ", announced "
                          << EventLog::count(widget, QAccessible::DescriptionChanged);
        EventLog::events().clear();
    }

    QAccessible::UpdateHandler m_previous = nullptr;
};

} // namespace

TEST_F(AccessibilityEvents, DescriptionsFollowEveryChangeOfEveryControl)
{
    if (!insideAccessibleSession(QStringLiteral("AccessibilityEvents.DescriptionsFollow*")))
        return;
    startPlayer();
    // The presses are the buttons' own (what a click and a key both run), so that the window
    // needs no pointer focus on this bare display.

    EXPECT_EQ(description(ui().miniButton1), QStringLiteral("Mute 1: off\nKey: Shift+1"));
    ui().miniButton1->press();
    expectAnnounced(ui().miniButton1, QStringLiteral("Mute 1: on\nKey: Shift+1"));
    // The level's text tells its Mute as well.
    EXPECT_EQ(
        description(ui().animKnob1), QStringLiteral("Level 1: -12.0 dB, muted\nKeys: Up, Down"));
    ui().miniButton1->press();
    expectAnnounced(ui().miniButton1, QStringLiteral("Mute 1: off\nKey: Shift+1"));

    // A press in the list starts the set (Auto Play off: the sync panel does it).
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    ui().syncButton1->press();
    settle();
    expectAnnounced(ui().miniButtonGreen1, QStringLiteral("Play 1: playing\nKey: 1"));
    EXPECT_EQ(description(ui().miniButtonGreen3), QStringLiteral("Play 3: playing\nKey: 3"));
    EXPECT_EQ(description(ui().syncButton1),
        QStringLiteral("Sync all: start / stop: playing, tempo 100%, key 0\nKey: Space"));
    ui().miniButtonGreen2->press();
    expectAnnounced(ui().miniButtonGreen2, QStringLiteral("Play 2: stopped\nKey: 2"));

    // Knobs: by the keyboard, by the program (a set's settings), with value events too.
    ui().animKnob3->setFocus();
    QTest::keyClick(ui().animKnob3, Qt::Key_Up);
    EXPECT_GT(EventLog::count(ui().animKnob3, QAccessible::ValueChanged), 0);
    const QString level2 = PlayerKeys::levelText(ui().animKnob3->Value());
    expectAnnounced(
        ui().animKnob3, QStringLiteral("Level 2: ") + level2 + QStringLiteral("\nKeys: Up, Down"));
    EXPECT_EQ(
        of(ui().animKnob3)->valueInterface()->currentValue().toInt(), ui().animKnob3->Value());
    ui().animKnob6->setValue(60);
    expectAnnounced(ui().animKnob6, QStringLiteral("Pan 3: R10\nKeys: Up, Down; Enter centres"));
    ui().animKnob3->setValue(85);
    expectAnnounced(ui().animKnob3,
        QStringLiteral("Level 2: ") + PlayerKeys::levelText(85)
            + QStringLiteral("\nKeys: Up, Down"));
}

TEST_F(AccessibilityEvents, NamesAreWordsAndDialogsAreDialogsWithEveryControlNamed)
{
    if (!insideAccessibleSession(QStringLiteral("AccessibilityEvents.NamesAreWords*")))
        return;
    startPlayer();

    for (int c = 0; c < 3; ++c) {
        auto* caption = form().findChild<QLabel*>(QStringLiteral("headerCaption%1").arg(c + 1));
        ASSERT_NE(caption, nullptr);
        EXPECT_EQ(of(caption)->text(QAccessible::Name), QStringLiteral("Phrase %1").arg(c + 1));
    }

    // Every control of every dialog has a name a screen reader can say, and no name is spelt
    // out letter by letter.
    const auto expectNamed = [](QWidget* dialog) {
        ASSERT_NE(dialog, nullptr);
        QAccessibleInterface* window = of(dialog);
        EXPECT_EQ(window->role(), QAccessible::Dialog) << qPrintable(dialog->windowTitle());
        for (QWidget* child : dialog->findChildren<QWidget*>()) {
            if (!child->isVisibleTo(dialog) || child->focusPolicy() == Qt::NoFocus)
                continue;
            if (child->parentWidget() && qobject_cast<QComboBox*>(child->parentWidget()))
                continue; // a combo box's own line edit
            const QString name = of(child)->text(QAccessible::Name);
            EXPECT_FALSE(name.trimmed().isEmpty())
                << qPrintable(dialog->windowTitle()) << ": " << qPrintable(child->objectName());
            static const QRegularExpression spelt(QStringLiteral("^(\\S )+\\S$"));
            EXPECT_FALSE(spelt.match(name).hasMatch()) << qPrintable(name);
        }
    };

    form().settingsCommand().mnuSettings_Click();
    settle();
    auto* settings = form().findChild<frmSettings*>();
    expectNamed(settings);
    EXPECT_EQ(of(settings->txtPath)->text(QAccessible::Name), QStringLiteral("Sound Directory"));
    EXPECT_EQ(of(settings->browseButton)->text(QAccessible::Name),
        QStringLiteral("Choose Sound Directory"));

    // It deletes itself when closed.
    const QPointer<frmDirSelect> chooser
        = new frmDirSelect(QStringLiteral("/"), QStringLiteral("Choose"), &form());
    chooser->load();
    settle();
    expectNamed(chooser);
    EXPECT_EQ(of(chooser->cancelButton)->text(QAccessible::Name), QStringLiteral("Cancel"));
    EXPECT_EQ(of(chooser->okButton)->text(QAccessible::Name), QStringLiteral("OK"));
    EXPECT_FALSE(of(chooser->focusWidget())->text(QAccessible::Name).isEmpty())
        << "the control the chooser focuses first";
    chooser->close();
    settings->close();
    settle();

    pressRow(0, QStringLiteral("intro_1"));
    settle();
    form().libraryCommands().mnuRename_Click();
    settle();
    expectNamed(form().libraryCommands().renameDialog());
    form().libraryCommands().renameDialog()->close();
    form().libraryCommands().mnuRenameSet_Click();
    settle();
    expectNamed(form().libraryCommands().renameSetDialog());
    form().libraryCommands().renameSetDialog()->close();
    settle();
}
