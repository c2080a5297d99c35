// SPDX-License-Identifier: GPL-3.0-or-later
// What assistive technologies learn about the controls: in process through Qt's accessibility
// interfaces, and end to end through AT-SPI as a screen reader on this desktop reads them.
#include "controls/StripButton.h"
#include "controls/animKnob.h"

#include <QAccessible>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A small window holding one column's worth of controls with the names the main window gives.
struct ControlsWindow
{
    QWidget window;
    animKnob* level = new animKnob(&window);
    animKnob* pan = new animKnob(&window);
    miniButton* mute = new miniButton(&window);
    miniButtonGreen* play = new miniButtonGreen(&window);
    syncButton* sync = new syncButton(&window);

    ControlsWindow()
    {
        window.resize(700, 220);
        window.setWindowTitle(QStringLiteral("Controls"));
        level->move(10, 10);
        pan->move(70, 10);
        mute->move(130, 20);
        play->move(170, 20);
        sync->move(5, 80);
        level->setMin(40);
        level->setMax(100);
        level->setValue(80);
        pan->setMin(35);
        pan->setMax(65);
        pan->setValue(50);
        mute->setValue(true);
        level->setAccessibleName(QStringLiteral("Level 1"));
        pan->setAccessibleName(QStringLiteral("Pan 1"));
        mute->setAccessibleName(QStringLiteral("Mute 1"));
        play->setAccessibleName(QStringLiteral("Play 1"));
        sync->setAccessibleName(QStringLiteral("Sync all: start / stop"));
    }
};

} // namespace

TEST(ControlsAccessibility, KnobIsADialWithItsValueAndRange)
{
    ControlsWindow w;
    QAccessibleInterface* knob = QAccessible::queryAccessibleInterface(w.level);
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(knob->role(), QAccessible::Dial);
    EXPECT_EQ(knob->text(QAccessible::Name), "Level 1");
    EXPECT_EQ(knob->text(QAccessible::Value), "80");
    QAccessibleValueInterface* value = knob->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 80);
    EXPECT_EQ(value->minimumValue().toInt(), 40);
    EXPECT_EQ(value->maximumValue().toInt(), 100);
    // Read-only from outside: the host would not hear of a value set this way.
    value->setCurrentValue(55);
    EXPECT_EQ(w.level->Value(), 80);
    w.level->setValue(61);
    EXPECT_EQ(value->currentValue().toInt(), 61);
}

TEST(ControlsAccessibility, StripButtonIsACheckableToggleThatPresses)
{
    ControlsWindow w;
    QAccessibleInterface* mute = QAccessible::queryAccessibleInterface(w.mute);
    ASSERT_NE(mute, nullptr);
    EXPECT_EQ(mute->role(), QAccessible::CheckBox);
    EXPECT_EQ(mute->text(QAccessible::Name), "Mute 1");
    EXPECT_TRUE(mute->state().checkable);
    EXPECT_TRUE(mute->state().checked);
    QAccessibleInterface* sync = QAccessible::queryAccessibleInterface(w.sync);
    ASSERT_NE(sync, nullptr);
    EXPECT_EQ(sync->text(QAccessible::Name), "Sync all: start / stop");
    EXPECT_FALSE(sync->state().checked);

    int pushes = 0;
    QObject::connect(w.sync, &StripButton::Push, [&](bool& v) {
        ++pushes;
        EXPECT_TRUE(v);
    });
    ASSERT_NE(sync->actionInterface(), nullptr);
    sync->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pushes, 1);
    EXPECT_TRUE(sync->state().checked);
    // A disabled button cannot be pressed this way either.
    w.sync->setEnabled(false);
    sync->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(pushes, 1);
}

// Run in two roles. Started by ctest, it starts itself again under a private D-Bus session and
// a virtual X display with accessibility switched on; that copy shows the window and lets a
// Python AT-SPI client read it (and press "Play 1") while its event loop answers.
TEST(ControlsAtspi, ScreenReaderSeesDialsAndToggles)
{
    const QString script = QStringLiteral(SORVANTO_SOURCE_DIR "/tests/controls/atspi_read.py");
    if (qEnvironmentVariableIsSet("SORVANTO_ATSPI_HOST")) {
        ControlsWindow w;
        w.window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.window));
        QProcess reader;
        reader.setProcessChannelMode(QProcess::MergedChannels);
        QEventLoop loop;
        QObject::connect(&reader, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        reader.start(QStringLiteral("/usr/bin/python3"),
            { script, QCoreApplication::applicationName(), QStringLiteral("Play 1") });
        loop.exec();
        const QString out = QString::fromUtf8(reader.readAll());
        printf("%s\n", qPrintable(out));
        ASSERT_EQ(reader.state(), QProcess::NotRunning) << "the AT-SPI reader hung";
        ASSERT_EQ(reader.exitCode(), 0) << qPrintable(out);
        const QStringList lines = out.split(QLatin1Char('\n'));
        EXPECT_TRUE(lines.contains("dial|Level 1|80|40|100|0")) << qPrintable(out);
        EXPECT_TRUE(lines.contains("dial|Pan 1|50|35|65|0")) << qPrintable(out);
        const QString role = QStringLiteral("check box");
        EXPECT_TRUE(lines.contains(role + "|Mute 1||||1")) << qPrintable(out);
        EXPECT_TRUE(lines.contains(role + "|Play 1||||0")) << qPrintable(out);
        EXPECT_TRUE(lines.contains(role + "|Sync all: start / stop||||0")) << qPrintable(out);
        EXPECT_TRUE(lines.contains("after press: " + role + "|Play 1||||1")) << qPrintable(out);
        EXPECT_TRUE(w.play->Value());
        return;
    }

    for (const char* tool : { "dbus-run-session", "xvfb-run" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SORVANTO_ATSPI_HOST", "1");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    env.remove("AT_SPI_BUS_ADDRESS");
    // The X, D-Bus and font libraries keep caches until exit; leaks are checked in this process.
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    host.setProcessEnvironment(env);
    host.setProcessChannelMode(QProcess::MergedChannels);
    host.start(QStringLiteral("dbus-run-session"),
        { "--", "xvfb-run", "-a", "-s", "-screen 0 1024x768x24",
            QCoreApplication::applicationFilePath(),
            "--gtest_filter=ControlsAtspi.ScreenReaderSeesDialsAndToggles" });
    ASSERT_TRUE(host.waitForFinished(120000)) << "the accessibility host did not finish";
    const QString out = QString::fromUtf8(host.readAll());
    EXPECT_EQ(host.exitCode(), 0) << qPrintable(out);
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << qPrintable(out);
}
