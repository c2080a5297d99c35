// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on a virtual X display under a private D-Bus session with accessibility on,
// read the way a screen reader reads it (AT-SPI): every control of the main window has its
// name, the knobs their values and ranges, the toggles their state, the menu items their check
// marks. Then SIGTERM closes it as its close box does.

#include "app/Commands.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(StartupAccessibility, ScreenReaderSeesTheWholeMainWindow)
{
    for (const char* tool : { "dbus-run-session", "xvfb-run" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";

    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QDir(root.path()).mkpath(QStringLiteral("program"));
    QDir(root.path()).mkpath(QStringLiteral("run"));
    const QString runtimeDir = root.filePath(QStringLiteral("run"));
    QFile::setPermissions(
        runtimeDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString binary = root.filePath(QStringLiteral("program/sorvanto"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(SORVANTO_BINARY), binary));

    QProcess session;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    // The X, D-Bus and font libraries keep caches until exit; our own leaks are checked by the
    // in-process tests.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    session.setProcessEnvironment(env);
    session.setProcessChannelMode(QProcess::MergedChannels);
    // The program runs in the background while the reader walks its tree; then SIGTERM, and
    // the program's own status is printed.
    const QString script = QStringLiteral(
        "\"$0\" & pid=$!; /usr/bin/python3 \"$1\" sorvanto; rc=$?; kill -TERM $pid; wait $pid; "
        "echo \"program status: $?\"; exit $rc");
    session.start(QStringLiteral("dbus-run-session"),
        { QStringLiteral("--"), QStringLiteral("xvfb-run"), QStringLiteral("-a"),
            QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"), QStringLiteral("sh"),
            QStringLiteral("-c"), script, binary,
            QStringLiteral(SORVANTO_SOURCE_DIR "/tests/controls/atspi_read.py") });
    ASSERT_TRUE(session.waitForFinished(120000)) << "the session did not finish";
    const QString out = QString::fromUtf8(session.readAll());
    ASSERT_EQ(session.exitCode(), 0) << qPrintable(out);

    const QStringList lines = out.split(QLatin1Char('\n'));
    QStringList expected { QStringLiteral("frame|Vorn's Sorvanto||||0"),
        QStringLiteral("check box|Sync all: start / stop||||0"),
        QStringLiteral("menu item|Phrase Sync||||1"), QStringLiteral("menu item|Auto Play||||1"),
        QStringLiteral("menu item|Show Extension||||0"),
        QStringLiteral("menu item|Save Settings||||0") };
    for (int c = 1; c <= 3; ++c) {
        const QString n = QString::number(c);
        expected << QStringLiteral("dial|Level %1|80|40|100|0").arg(n)
                 << QStringLiteral("dial|Pan %1|50|35|65|0").arg(n)
                 << QStringLiteral("check box|Mute %1||||0").arg(n)
                 << QStringLiteral("check box|Play %1||||0").arg(n)
                 << QStringLiteral("list|Phrase %1||||0").arg(n);
    }
    // The spaced column captions are read as words (the reader keeps one object per name, so
    // the caption stands behind its list's line).
    EXPECT_FALSE(out.contains(QStringLiteral("P H R A S E"))) << qPrintable(out);
    for (const QString& line : expected)
        EXPECT_TRUE(lines.contains(line)) << qPrintable(line) << "\n" << qPrintable(out);
    EXPECT_TRUE(lines.contains(QStringLiteral("program status: 0"))) << qPrintable(out);
    EXPECT_EQ(Commands::ReadIni(QStringLiteral("Vorn's Sorvanto"), QStringLiteral("PhraseSync"),
                  root.filePath(QStringLiteral("program/sorvanto.ini")), QString()),
        QStringLiteral("1"));
}
