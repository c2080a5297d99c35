// SPDX-License-Identifier: GPL-3.0-or-later
// scripts/install-deps.sh run for real against a package list of its own, with apt-get, sudo
// and dpkg-query stand-ins first on PATH (the real ones would change this machine): what it
// asks apt to install, that it always says --no-remove, and that it stops and names the
// packages in the way when apt could only install by removing some.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kScript = QStringLiteral(SORVANTO_SOURCE_DIR "/scripts/install-deps.sh");

void writeExecutable(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

class InstallDepsScript : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("scripts"));
        QDir(dir.path()).mkpath(QStringLiteral("bin"));
        ASSERT_TRUE(QFile::copy(kScript, dir.filePath(QStringLiteral("scripts/install-deps.sh"))));
        // Installed packages are the words of $INSTALLED; a simulated install removes the
        // packages named in $REMOVES_FOR_<package> for each package it is asked for.
        writeExecutable(dir.filePath(QStringLiteral("bin/dpkg-query")),
            "#!/bin/bash\n"
            "pkg=\"${@: -1}\"\n"
            "for p in $INSTALLED; do [ \"$p\" = \"$pkg\" ] && { printf 'install ok installed'; "
            "exit 0; }; done\n"
            "exit 1\n");
        writeExecutable(dir.filePath(QStringLiteral("bin/apt-get")),
            "#!/bin/bash\n"
            "echo \"$*\" >>\"$APT_LOG\"\n"
            "if [[ \" $* \" == *' -s '* ]]; then\n"
            "  for a in \"$@\"; do v=\"REMOVES_FOR_${a//-/_}\"; for r in ${!v:-}; do\n"
            "    echo \"Remv $r [1.0]\"; done; done\n"
            "fi\n"
            "exit 0\n");
        writeExecutable(dir.filePath(QStringLiteral("bin/sudo")), "#!/bin/sh\nexec \"$@\"\n");
    }

    void writePackages(const QByteArray& text)
    {
        QFile file(dir.filePath(QStringLiteral("scripts/packages.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    // Runs the script; returns its exit code and keeps its output and apt's calls.
    int run(const QString& installed, const QStringList& extraEnv = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"),
            dir.filePath(QStringLiteral("bin")) + QStringLiteral(":/usr/bin:/bin"));
        env.insert(QStringLiteral("INSTALLED"), installed);
        env.insert(QStringLiteral("APT_LOG"), dir.filePath(QStringLiteral("apt.log")));
        for (const QString& pair : extraEnv)
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(
            QStringLiteral("bash"), { dir.filePath(QStringLiteral("scripts/install-deps.sh")) });
        if (!process.waitForFinished(60000))
            return -1;
        output = QString::fromUtf8(process.readAll());
        QFile log(dir.filePath(QStringLiteral("apt.log")));
        aptCalls.clear();
        if (log.open(QIODevice::ReadOnly))
            aptCalls
                = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return process.exitCode();
    }

    // The calls that would change the machine (neither a simulation nor the package index).
    QStringList realInstalls() const
    {
        QStringList calls;
        for (const QString& call : aptCalls)
            if (!call.contains(QStringLiteral(" -s ")) && !call.startsWith(QLatin1String("-s "))
                && !call.startsWith(QLatin1String("update")))
                calls << call;
        return calls;
    }

    QTemporaryDir dir;
    QString output;
    QStringList aptCalls;
};

} // namespace

TEST_F(InstallDepsScript, EveryAptCallThatChangesTheMachineInstallsWithNoRemove)
{
    QFile file(kScript);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    // Every apt-get command line that is not a simulation installs, and says --no-remove.
    const QRegularExpression aptLine(QStringLiteral("apt-get[^\\n]*"));
    int installs = 0;
    for (auto it = aptLine.globalMatch(text); it.hasNext();) {
        const QString line = it.next().captured(0);
        if (line.contains(QStringLiteral(" -s ")) || line.contains(QStringLiteral("apt-get update"))
            || line.startsWith(QLatin1String("apt-get directly")))
            continue;
        EXPECT_TRUE(line.contains(QStringLiteral("--no-remove"))) << qPrintable(line);
        EXPECT_FALSE(line.contains(
            QRegularExpression(QStringLiteral("(?<!no-)\\b(remove|purge|autoremove)\\b"))))
            << qPrintable(line);
        ++installs;
    }
    EXPECT_EQ(installs, 1);
    QFile packages(QStringLiteral(SORVANTO_SOURCE_DIR "/scripts/packages.txt"));
    ASSERT_TRUE(packages.open(QIODevice::ReadOnly));
    // JACK 2's development files come first, so a machine with jackd2 keeps it.
    EXPECT_TRUE(QString::fromUtf8(packages.readAll())
                    .contains(QStringLiteral("\nlibjack-jackd2-dev | libjack-dev\n")));
}

TEST_F(InstallDepsScript, InstallsOnlyWhatIsMissingAndPicksTheJackThatFits)
{
    writePackages(
        "# comment\npresent\nabsent   # trailing note\n\nlibjack-jackd2-dev | libjack-dev\n");

    // Everything there: apt is not even asked.
    EXPECT_EQ(run(QStringLiteral("present absent libjack-dev")), 0) << qPrintable(output);
    EXPECT_TRUE(aptCalls.isEmpty()) << qPrintable(aptCalls.join(QLatin1Char('\n')));

    // No JACK at all: JACK 2's files.
    EXPECT_EQ(run(QStringLiteral("present")), 0) << qPrintable(output);
    ASSERT_EQ(realInstalls().size(), 1) << qPrintable(aptCalls.join(QLatin1Char('\n')));
    EXPECT_TRUE(realInstalls()[0].contains(QStringLiteral("--no-remove")));
    EXPECT_TRUE(realInstalls()[0].endsWith(QStringLiteral(" absent libjack-jackd2-dev")))
        << qPrintable(realInstalls()[0]);
    QFile::remove(dir.filePath(QStringLiteral("apt.log")));

    // JACK 1 in use (JACK 2's files would remove its library): JACK 1's files.
    EXPECT_EQ(run(QStringLiteral("present libjack0"),
                  { QStringLiteral("REMOVES_FOR_libjack_jackd2_dev=libjack0") }),
        0)
        << qPrintable(output);
    ASSERT_EQ(realInstalls().size(), 1);
    EXPECT_TRUE(realInstalls()[0].endsWith(QStringLiteral(" absent libjack-dev")))
        << qPrintable(realInstalls()[0]);
}

TEST_F(InstallDepsScript, StopsAndNamesThePackagesInTheWayWithoutInstalling)
{
    writePackages("present\nlibrtaudio-dev\n");
    const int status = run(QStringLiteral("present jackd2 libjack-jackd2-0"),
        { QStringLiteral("REMOVES_FOR_librtaudio_dev=jackd2 libjack-jackd2-0") });
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(output.contains(QStringLiteral("jackd2 libjack-jackd2-0"))) << qPrintable(output);
    EXPECT_TRUE(output.contains(QStringLiteral("Nothing was changed"))) << qPrintable(output);
    EXPECT_TRUE(realInstalls().isEmpty()) << qPrintable(aptCalls.join(QLatin1Char('\n')));
}
