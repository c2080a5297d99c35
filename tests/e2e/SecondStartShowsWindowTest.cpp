// SPDX-License-Identifier: GPL-3.0-or-later
// A second start of the real program under a real window manager (openbox on Xvfb): the first
// instance's window, minimised, comes back shown and active, and the second start exits 0.
//
// The test runs itself again inside xvfb-run with openbox started first; that second run
// (SORVANTO_SECOND_START_X_RUN set) starts the program twice and reads the window manager's
// view of the window with xprop.
#include "support/WindowManagerRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int kTimeoutMs = 60000;

QString runTool(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(20000))
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The window manager's state atoms of window `id`.
QString netState(const QString& id)
{
    return runTool(
        QStringLiteral("xprop"), { QStringLiteral("-id"), id, QStringLiteral("_NET_WM_STATE") });
}

// The active window as the window manager announces it, in decimal.
qulonglong activeWindow()
{
    const QString line = runTool(
        QStringLiteral("xprop"), { QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW") });
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("window id # (0x[0-9a-fA-F]+)")).match(line);
    return m.hasMatch() ? m.captured(1).toULongLong(nullptr, 16) : 0;
}

} // namespace

TEST(SecondStart, BringsTheMinimisedWindowBackShownAndActive)
{
    for (const char* tool : { "xvfb-run", "openbox", "xdotool", "xprop" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    if (!WindowManagerRun::inside("SORVANTO_SECOND_START_X_RUN", QStringLiteral("SecondStart.*")))
        return;

    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QDir(root.path()).mkpath(QStringLiteral("program"));
    QDir(root.path()).mkpath(QStringLiteral("run"));
    const QString runtimeDir = root.filePath(QStringLiteral("run"));
    QFile::setPermissions(
        runtimeDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString binary = root.filePath(QStringLiteral("program/sorvanto"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(SORVANTO_BINARY), binary));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    std::vector<std::unique_ptr<QProcess>> started;
    const auto launch = [&] {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(binary, {});
        started.push_back(std::move(process));
        return started.back().get();
    };
    struct Stop
    {
        std::vector<std::unique_ptr<QProcess>>& processes;
        ~Stop()
        {
            for (auto& p : processes) {
                if (p->state() == QProcess::NotRunning)
                    continue;
                ::kill(pid_t(p->processId()), SIGTERM);
                if (!p->waitForFinished(10000))
                    p->kill();
            }
        }
    } stop { started };

    QProcess* first = launch();
    ASSERT_TRUE(first->waitForStarted(kTimeoutMs));
    // The program's window, once it is mapped.
    QString window;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            window = runTool(QStringLiteral("xdotool"),
                { QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--pid"), QString::number(first->processId()) })
                         .section(QLatin1Char('\n'), -1);
            return !window.isEmpty();
        },
        kTimeoutMs));

    runTool(QStringLiteral("xdotool"), { QStringLiteral("windowminimize"), window });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return netState(window).contains(QStringLiteral("_NET_WM_STATE_HIDDEN")); }, 10000))
        << qPrintable(netState(window));
    ASSERT_NE(activeWindow(), window.toULongLong());

    QProcess* second = launch();
    ASSERT_TRUE(second->waitForFinished(kTimeoutMs));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);

    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !netState(window).contains(QStringLiteral("_NET_WM_STATE_HIDDEN")); }, 10000))
        << qPrintable(netState(window));
    EXPECT_TRUE(QTest::qWaitFor([&] { return activeWindow() == window.toULongLong(); }, 10000))
        << "active: " << activeWindow() << ", the program's window: " << qPrintable(window);
    EXPECT_EQ(first->state(), QProcess::Running);
}
