// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ProgramLocations.h"

#include "app/Commands.h"
#include "app/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // Without a home there is no default: "/" (where Qt would fall back) is nobody's to fill.
    const QString home = env.value(QStringLiteral("HOME"));
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        return {};
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

// Copies the regular file `from` to the new file `to` (never replacing one), flushed to disk,
// so that the staging folder's rename publishes whole files only. `to` is the user's own file
// (0666 less the umask). On failure `to` is removed and the result says why.
IoResult copyFile(const QString& from, const QString& to)
{
    const QByteArray source = NativePath(from);
    const QByteArray target = NativePath(to);
    const int in = ::open(source.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return IoResult::failure(errno);
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return IoResult::failure(error);
    }
    int error = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        for (ssize_t done = 0; done < n && error == 0;) {
            const ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w > 0)
                done += w;
            else if (w < 0 && errno != EINTR)
                error = errno;
            else if (w == 0)
                error = EIO;
        }
        if (error != 0)
            break;
    }
    if (error == 0 && ::fsync(out) != 0 && errno != EINVAL)
        error = errno;
    if (::close(out) != 0 && error == 0 && errno != EINTR)
        error = errno;
    ::close(in);
    if (error != 0) {
        ::unlink(target.constData());
        return IoResult::failure(error);
    }
    return {};
}

// Copies the demo phrases that the install carries into a new hidden folder beside `appDir`
// and renames that into place. Every failure removes the folder again and says why.
IoResult copyDemoSet(const QString& sharedData, const QString& appDir)
{
    const QString parent = QFileInfo(appDir).absolutePath();
    QByteArray pattern = NativePath(
        parent + QStringLiteral("/.") + kProgramFolder + QStringLiteral("-new-XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr)
        return IoResult::failure(errno);
    const QString staging = PathFromNative(pattern);
    IoResult result;
    for (const QString& name : DemoPhraseNames()) {
        const QString source = sharedData + name;
        // A phrase the install lacks is no failure: the set is what the install carries.
        if (!QFileInfo(source).isFile())
            continue;
        result = copyFile(source, staging + QLatin1Char('/') + name);
        if (!result)
            break;
    }
    // Another start that got here first keeps its directory; ours is thrown away.
    if (result && !renameNoReplace(staging, appDir) && errno != EEXIST && errno != ENOTEMPTY)
        result = IoResult::failure(errno);
    QDir(staging).removeRecursively();
    return result;
}

// True when the folder exists and this process may make files in it (its effective rights).
bool writableFolder(const QString& dir)
{
    const QByteArray native = NativePath(dir);
    struct stat st
    {
    };
    return ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && ::faccessat(AT_FDCWD, native.constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

} // namespace

ProgramLocations ProgramLocations::portable(const QString& executablePath)
{
    ProgramLocations result;
    const QFileInfo executable(executablePath);
    result.executable = executable.absoluteFilePath();
    result.appDir = executable.absolutePath();
    AddBackslash(result.appDir);
    result.iniFile = result.appDir + executable.fileName() + QStringLiteral(".ini");
    return result;
}

ProgramLocations ProgramLocations::detect(
    const QString& executablePath, const QProcessEnvironment& env)
{
    ProgramLocations result = portable(executablePath);
    const QString binDir = QFileInfo(executablePath).absolutePath();
    const QString shared = QDir::cleanPath(binDir + QStringLiteral("/../share/") + kProgramFolder);
    if (QFileInfo(binDir).fileName() != QLatin1String("bin") || !QFileInfo(shared).isDir())
        return result;

    result.installed = true;
    result.sharedData = shared;
    AddBackslash(result.sharedData);
    const QString data
        = baseDirectory(env, QStringLiteral("XDG_DATA_HOME"), QStringLiteral(".local/share"));
    const QString config
        = baseDirectory(env, QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral(".config"));
    result.appDir.clear();
    result.iniFile.clear();
    if (!data.isEmpty()) {
        result.appDir = data + QLatin1Char('/') + kProgramFolder;
        AddBackslash(result.appDir);
    }
    if (!config.isEmpty())
        result.iniFile
            = config + QLatin1Char('/') + kProgramFolder + QStringLiteral("/sorvanto.ini");
    return result;
}

QStringList DemoPhraseNames()
{
    return { QStringLiteral("Demo_1.wav"), QStringLiteral("Demo_2.wav"),
        QStringLiteral("Demo_3.wav"), QStringLiteral("Metronome.wav") };
}

PreparedLocations PrepareProgramLocations(const ProgramLocations& locations)
{
    PreparedLocations out { locations, {}, {} };
    if (!locations.installed)
        return out;

    // The two folders the installed mode needs in the home: the settings file's and the one
    // that holds the program directory.
    QString place;
    QString cause;
    if (locations.iniFile.isEmpty() || locations.appDir.isEmpty()) {
        place = QStringLiteral("the home folder");
        cause = QStringLiteral("HOME is not set");
    } else {
        const QString appDir = QDir::cleanPath(locations.appDir);
        for (const QString& folder :
            { QFileInfo(locations.iniFile).absolutePath(), QFileInfo(appDir).absolutePath() }) {
            if (IoResult made = MakeFolders(folder); !made) {
                place = QLatin1Char('\'') + folder + QLatin1Char('\'');
                cause = made.reason();
                break;
            }
        }
    }
    if (!cause.isEmpty()) {
        const ProgramLocations beside = ProgramLocations::portable(locations.executable);
        const QString what = QStringLiteral("The program could not keep its files in ") + place
            + QStringLiteral(": ") + cause + QLatin1Char('.');
        if (!writableFolder(beside.appDir)) {
            out.fatal = what + QStringLiteral(" The folder beside the program, '") + beside.appDir
                + QStringLiteral("', cannot be written either, so the program ends.");
            return out;
        }
        out.locations = beside;
        out.notice = what
            + QStringLiteral("\r\nFor this run it keeps them beside the program, in '")
            + beside.appDir + QStringLiteral("'.");
        return out;
    }

    // The program directory existing at all means this is not the first start: whatever the user
    // did to it since (renamed, deleted or changed a demo phrase) stays as it is.
    const QString appDir = QDir::cleanPath(locations.appDir);
    if (QFileInfo(appDir).isDir())
        return out;
    if (IoResult copied = copyDemoSet(locations.sharedData, appDir); !copied)
        out.notice = QStringLiteral("The demo phrases could not be copied into '")
            + locations.appDir + QStringLiteral("': ") + copied.reason() + QLatin1Char('.');
    return out;
}

} // namespace Commands
