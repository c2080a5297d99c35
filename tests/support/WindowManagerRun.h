// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Runs a test again under a real window manager: the first (outer) run starts this test binary a
// second time under xvfb-run with openbox, filtered to the test, and checks that it passed; the
// second (inner) run does the work on the xcb platform.

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <gtest/gtest.h>

namespace WindowManagerRun {

// True in the inner run (`markerVariable` is set): the caller goes on with its body. In the outer
// run, starts the inner one for `gtestFilter`, records a failure unless it passed, and returns
// false. `extraEnvironment` ("NAME=value" each) is added to the inner run's environment. Call
// from the test body on the GUI thread.
inline bool inside(const char* markerVariable, const QString& gtestFilter,
    const QStringList& extraEnvironment = {})
{
    if (!qEnvironmentVariableIsEmpty(markerVariable))
        return true;
    const QString script = QStringLiteral(
        "openbox --sm-disable >/dev/null 2>&1 & wm=$!; "
        "for i in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | "
        "grep -q 'window id' && break; sleep 0.1; done; "
        "\"$0\" --gtest_filter=\"$1\"; rc=$?; kill $wm; exit $rc");
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(markerVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // The X and font libraries keep caches until exit; leaks are checked elsewhere.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    for (const QString& pair : extraEnvironment)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QStringLiteral("xvfb-run"),
        { QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x1024x24"),
            QStringLiteral("sh"), QStringLiteral("-c"), script,
            QCoreApplication::applicationFilePath(), gtestFilter });
    if (!run.waitForFinished(180000)) {
        ADD_FAILURE() << "the run under Xvfb did not finish";
        return false;
    }
    const QString out = QString::fromUtf8(run.readAll());
    EXPECT_EQ(run.exitCode(), 0) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test"))) << qPrintable(out);
    return false;
}

} // namespace WindowManagerRun
