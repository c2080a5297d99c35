#include "app/ProgramLocations.h"

#include "app/Commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

namespace Commands {

namespace {

const QString kProgramFolder = QStringLiteral("sorvanto");

// An XDG base directory: the variable when it holds an absolute path (the rules say a relative
// one is to be ignored), else `fallback` under the home directory.
QString baseDirectory(
    const QProcessEnvironment& env, const QString& variable, const QString& fallback)
{
    const QString value = env.value(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    QString home = env.value(QStringLiteral("HOME"));
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath();
    return QDir::cleanPath(home + QLatin1Char('/') + fallback);
}

// Moves `from` to `to` unless `to` exists; never replaces anything.
bool renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    return ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE)
        == 0;
}

} // namespace

ProgramLocations ProgramLocations::detect(
    const QString& executablePath, const QProcessEnvironment& env)
{
    ProgramLocations result;
    const QFileInfo executable(executablePath);
    const QString binDir = executable.absolutePath();
    const QString shared = QDir::cleanPath(binDir + QStringLiteral("/../share/") + kProgramFolder);
    result.installed
        = QFileInfo(binDir).fileName() == QLatin1String("bin") && QFileInfo(shared).isDir();

    if (!result.installed) {
        result.appDir = binDir;
        AddBackslash(result.appDir);
        result.iniFile = result.appDir + executable.fileName() + QStringLiteral(".ini");
        return result;
    }
    result.sharedData = shared;
    AddBackslash(result.sharedData);
    result.appDir
        = baseDirectory(env, QStringLiteral("XDG_DATA_HOME"), QStringLiteral(".local/share"))
        + QLatin1Char('/') + kProgramFolder;
    AddBackslash(result.appDir);
    result.iniFile
        = baseDirectory(env, QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral(".config"))
        + QLatin1Char('/') + kProgramFolder + QStringLiteral("/sorvanto.ini");
    return result;
}

QStringList DemoPhraseNames()
{
    return { QStringLiteral("Demo_1.wav"), QStringLiteral("Demo_2.wav"),
        QStringLiteral("Demo_3.wav"), QStringLiteral("Metronome.wav") };
}

bool PrepareProgramLocations(const ProgramLocations& locations)
{
    if (!locations.installed)
        return true;
    bool ok = QDir().mkpath(QFileInfo(locations.iniFile).absolutePath());

    // The program directory existing at all means this is not the first start: whatever the user
    // did to it since (renamed, deleted or changed a demo phrase) stays as it is.
    const QString appDir = QDir::cleanPath(locations.appDir);
    if (QFileInfo(appDir).isDir())
        return ok;
    const QString parent = QFileInfo(appDir).absolutePath();
    if (!QDir().mkpath(parent))
        return false;
    QTemporaryDir staging(
        parent + QStringLiteral("/.") + kProgramFolder + QStringLiteral("-new-XXXXXX"));
    if (!staging.isValid())
        return false;
    for (const QString& name : DemoPhraseNames()) {
        const QString source = locations.sharedData + name;
        if (!QFileInfo(source).isFile())
            continue;
        const QString target = staging.filePath(name);
        if (!QFile::copy(source, target)) {
            ok = false;
            continue;
        }
        // The copy is the user's own file now, whatever mode the installed one has.
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    }
    // Another start that got here first keeps its directory; ours is thrown away.
    if (!renameNoReplace(staging.path(), appDir))
        return ok && QFileInfo(appDir).isDir();
    return ok;
}

} // namespace Commands
