// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Paths.h"

#include "app/FileNames.h"
#include "app/ProgramLocations.h"
#include "app/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The clip's resource lives in this static library; nothing else refers to it, so the linker
// would drop it without this explicit registration. Q_INIT_RESOURCE must not stand inside a
// namespace.
static void registerSoundResource()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(sound);
        return true;
    }();
    (void)registered;
}

namespace Commands {

namespace {

// Makes sure `dir` is a directory owned by this user that nobody else can enter; creates it
// (0700) when missing. `allowSymlink` accepts a directory reached through a link (the
// platform's runtime directory may be one), never for a fallback under the shared /tmp.
bool ensurePrivateDirectory(const QString& dir, bool allowSymlink)
{
    const QByteArray native = NativePath(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st
    {
    };
    const int rc
        = allowSymlink ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st);
    if (rc != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return false;
    return true;
}

} // namespace

void InitPaths(ProgramValues& values, const ProgramLocations& locations)
{
    values.AppDir = locations.appDir;
    AddBackslash(values.AppDir);
    values.IniFile = locations.iniFile;
    values.AppExeName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    values.TempDir = GetTempDir();
}

QString& AddBackslash(QString& path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

bool DirExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    DIR* dir = ::opendir(NativePath(path).constData());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const int fd
        = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

IoResult MakeFolders(const QString& dir, unsigned mode)
{
    const QByteArray native = NativePath(QDir::cleanPath(dir));
    if (native.isEmpty() || !native.startsWith('/'))
        return IoResult::failure(EINVAL);
    // Down from the root: an existing folder is passed, the first one that is missing and
    // cannot be made is the cause the user needs to hear.
    for (qsizetype end = native.indexOf('/', 1);; end = native.indexOf('/', end + 1)) {
        const QByteArray folder = end < 0 ? native : native.left(end);
        if (::mkdir(folder.constData(), mode_t(mode)) != 0 && errno != EEXIST) {
            const int error = errno;
            struct stat st
            {
            };
            // A folder this user may not create but that exists (a read-only parent of an
            // existing home, an automount point) is fine.
            if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
                return IoResult::folderNotCreated(error, PathFromNative(folder));
        } else {
            struct stat st
            {
            };
            if (::stat(folder.constData(), &st) != 0)
                return IoResult::folderNotCreated(errno, PathFromNative(folder));
            if (!S_ISDIR(st.st_mode))
                return IoResult::folderNotCreated(ENOTDIR, PathFromNative(folder));
        }
        if (end < 0)
            return {};
    }
}

QString GetLongName(const QString& path)
{
    return path;
}

QString GetTempDir()
{
    // Without XDG_RUNTIME_DIR (a root shell, ssh without a session) Qt would warn on every call
    // before it falls back; the private fallback below serves the same purpose quietly.
    // A directory of the program's own inside it: fixed names such as Default.wav and the
    // instance lock can then never be another program's files.
    QString dir;
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!runtime.isEmpty() && ensurePrivateDirectory(runtime, true)) {
            dir = runtime + QStringLiteral("/sorvanto");
            if (!ensurePrivateDirectory(dir, false))
                dir.clear();
        }
    }
    if (dir.isEmpty()) {
        dir = QDir::tempPath() + QStringLiteral("/sorvanto-runtime-")
            + QString::number(::geteuid());
        if (!ensurePrivateDirectory(dir, false))
            return {};
    }
    return AddBackslash(dir);
}

QString ExtractResource(const QString& path, const QString& name, const QString& type)
{
    registerSoundResource();
    QFile resource(QStringLiteral(":/") + type + QLatin1Char('/') + name);
    if (path.isEmpty() || !resource.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = resource.readAll();
    const QByteArray native = NativePath(path);
    const int fd
        = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return {};
    qsizetype done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ok = false;
            break;
        }
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(native.constData()); // this call created it; leave no half clip behind
        return {};
    }
    return path;
}

} // namespace Commands
