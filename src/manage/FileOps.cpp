// SPDX-License-Identifier: GPL-3.0-or-later
#include "manage/FileOps.h"

#include "app/FileNames.h"
#include "app/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace FileOps {

using Commands::IoResult;

namespace {

int renameNoReplaceSyscall(const QByteArray& from, const QByteArray& to)
{
#ifdef SYS_renameat2
    return int(::syscall(
        SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE));
#else
    errno = ENOSYS;
    return -1;
#endif
}

bool flagRefused(int err)
{
    return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}
QString dirOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

// A name in `dir` that no entry uses, for the middle step of a case-only rename.
QString scratchName(const QString& dir)
{
    static std::atomic<unsigned> counter { 0 };
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name
            = QStringLiteral(".sorvanto-rename-%1-%2").arg(::getpid()).arg(counter.fetch_add(1));
        struct stat st;
        QString path = dir + QLatin1Char('/') + name;
        if (::lstat(Commands::NativePath(path).constData(), &st) != 0 && errno == ENOENT)
            return path;
    }
    return {};
}

// True when `dir` holds an entry other than `exceptName` matching `name` without regard
// to case.
bool otherEntryMatches(const QString& dir, const QString& name, const QString& exceptName)
{
    const QStringList all = QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString& entry : all) {
        if (entry == exceptName)
            continue;
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

bool RenameByLink(const QString& from, const QString& to)
{
    const QByteArray f = Commands::NativePath(from);
    const QByteArray t = Commands::NativePath(to);
    // link() never replaces an existing name, which makes it the atomic test for the target.
    if (::link(f.constData(), t.constData()) != 0)
        return false;
    if (::unlink(f.constData()) == 0)
        return true;
    // The old name cannot go: take the new one back so the file keeps exactly one name.
    ::unlink(t.constData());
    return false;
}

bool RenameNoReplace(const QString& from, const QString& to)
{
    const QByteArray f = Commands::NativePath(from);
    const QByteArray t = Commands::NativePath(to);
    if (f.isEmpty() || t.isEmpty())
        return false;
    if (renameNoReplaceSyscall(f, t) == 0)
        return true;
    if (flagRefused(errno))
        return RenameByLink(from, to);
    return false;
}

bool SameFile(const QString& a, const QString& b)
{
    struct stat sa, sb;
    if (::lstat(Commands::NativePath(a).constData(), &sa) != 0)
        return false;
    if (::lstat(Commands::NativePath(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool RenameInLibrary(const QString& from, const QString& to)
{
    const QString fromDir = dirOf(from);
    const QString toDir = dirOf(to);
    const QString fromName = fileName(from);
    const QString toName = fileName(to);
    if (fromName.isEmpty() || toName.isEmpty())
        return false;
    const bool sameDir = fromDir == toDir;
    if (otherEntryMatches(toDir, toName, sameDir ? fromName : QString()))
        return false;
    if (RenameNoReplace(from, to))
        return true;
    const int err = errno;
    // A case-folding file system sees the file's own name in another case as existing.
    // Go through a scratch name; on failure the file gets its old name back.
    if (err != EEXIST || !sameDir || fromName == toName
        || fromName.compare(toName, Qt::CaseInsensitive) != 0 || !SameFile(from, to))
        return false;
    const QString scratch = scratchName(fromDir);
    if (scratch.isEmpty() || !RenameNoReplace(from, scratch))
        return false;
    if (RenameNoReplace(scratch, to))
        return true;
    RenameNoReplace(scratch, from);
    return false;
}

void SetAttributesNormal(const QString& path)
{
    const QByteArray p = Commands::NativePath(path);
    struct stat st;
    if (p.isEmpty() || ::lstat(p.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    if ((st.st_mode & S_IWUSR) == 0)
        (void)::chmod(p.constData(), (st.st_mode & 07777) | S_IWUSR);
}

namespace {

// Makes `path` a directory of this user that nobody else may enter, unless it exists as one.
// A symbolic link or another user's directory is refused (ENOTDIR / EPERM).
IoResult ensureTrashDirectory(const QByteArray& path, bool mustBeOwn)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return IoResult::folderNotCreated(errno, Commands::PathFromNative(path));
    struct stat st
    {
    };
    if (::lstat(path.constData(), &st) != 0)
        return IoResult::failure(errno);
    if (!S_ISDIR(st.st_mode))
        return IoResult::failure(ENOTDIR);
    if (mustBeOwn && st.st_uid != ::geteuid())
        return IoResult::failure(EPERM);
    return {};
}

// A trash can: its files/ and info/ directories, and how its .trashinfo files name the
// original (absolute, or relative to `topdir` for a trash at the top of a file system).
struct TrashCan
{
    QByteArray root;
    QByteArray topdir; // empty for the home trash
};

IoResult openTrashCan(const QByteArray& root, bool mustBeOwn, TrashCan& can, QByteArray topdir)
{
    for (const QByteArray& dir : { root, root + "/files", root + "/info" }) {
        if (IoResult r = ensureTrashDirectory(dir, mustBeOwn); !r)
            return r;
    }
    can.root = root;
    can.topdir = std::move(topdir);
    return {};
}

// The device of `path`, or of its nearest existing ancestor.
std::optional<dev_t> deviceOf(QByteArray path)
{
    for (;;) {
        struct stat st
        {
        };
        if (::stat(path.constData(), &st) == 0)
            return st.st_dev;
        const qsizetype slash = path.lastIndexOf('/');
        if (slash <= 0)
            return std::nullopt;
        path.truncate(slash);
    }
}

// The mount point of the file system that holds `dir` (an existing absolute directory).
QByteArray topDirectoryOf(const QByteArray& dir, dev_t device)
{
    QByteArray top = dir;
    while (top.size() > 1) {
        const qsizetype slash = top.lastIndexOf('/');
        const QByteArray parent = slash <= 0 ? QByteArray("/") : top.left(slash);
        struct stat st
        {
        };
        if (::stat(parent.constData(), &st) != 0 || st.st_dev != device)
            break;
        top = parent;
    }
    return top;
}

// The trash that takes a file of `device` in `dir`: the user's home trash on its own file
// system; elsewhere the file system's shared .Trash/<uid> (a sticky directory that is no
// link) or its .Trash-<uid>. Files are never copied across file systems.
IoResult findTrashCan(const QByteArray& dir, dev_t device, TrashCan& can)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty()) {
        const QByteArray home = Commands::NativePath(data) + "/Trash";
        const std::optional<dev_t> homeDevice = deviceOf(home);
        if (homeDevice && *homeDevice == device) {
            // The data directory itself may still be missing on a new account. A trash that
            // cannot be made cannot take the file: the caller is told which folder and why.
            if (IoResult made = Commands::MakeFolders(data, 0700); !made)
                return made;
            return openTrashCan(home, true, can, {});
        }
    }
    const QByteArray top = topDirectoryOf(dir, device);
    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(::geteuid());
    struct stat shared
    {
    };
    const QByteArray sharedTrash = base + "/.Trash";
    if (::lstat(sharedTrash.constData(), &shared) == 0 && S_ISDIR(shared.st_mode)
        && (shared.st_mode & S_ISVTX)) {
        if (openTrashCan(sharedTrash + '/' + uid, true, can, top))
            return {};
    }
    return openTrashCan(base + "/.Trash-" + uid, true, can, top);
}

QByteArray trashInfo(const TrashCan& can, const QByteArray& original)
{
    QByteArray path = original;
    if (!can.topdir.isEmpty()) {
        const QByteArray prefix = can.topdir == "/" ? QByteArray("/") : can.topdir + '/';
        if (path.startsWith(prefix))
            path = path.mid(prefix.size());
    }
    return "[Trash Info]\nPath=" + path.toPercentEncoding("/") + "\nDeletionDate="
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1()
        + '\n';
}

} // namespace

IoResult MoveToTrash(const QString& path)
{
    QByteArray p = Commands::NativePath(path);
    if (p.isEmpty())
        return IoResult::failure(ENOENT);
    if (!p.startsWith('/'))
        p = Commands::NativePath(QDir::currentPath()) + '/' + p;
    struct stat st
    {
    };
    if (::lstat(p.constData(), &st) != 0)
        return IoResult::failure(errno);
    if (S_ISDIR(st.st_mode))
        return IoResult::failure(EISDIR);
    const qsizetype slash = p.lastIndexOf('/');
    const QByteArray dir = slash == 0 ? QByteArray("/") : p.left(slash);
    const QByteArray name = p.mid(slash + 1);

    TrashCan can;
    if (IoResult r = findTrashCan(dir, st.st_dev, can); !r)
        return r;

    const QByteArray info = trashInfo(can, p);
    for (int n = 1; n < 10000; ++n) {
        const QByteArray trashName = n == 1 ? name : name + '.' + QByteArray::number(n);
        const QByteArray infoPath = can.root + "/info/" + trashName + ".trashinfo";
        // The info file reserves the name; it is written before the file moves, so a crash in
        // between leaves an entry the trash can show, never a file it cannot restore.
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return IoResult::failure(errno);
        }
        const bool written = ::write(fd, info.constData(), size_t(info.size())) == info.size();
        const int writeError = errno;
        if (::close(fd) != 0 || !written) {
            ::unlink(infoPath.constData());
            return IoResult::failure(written ? EIO : writeError);
        }
        const QString target = Commands::PathFromNative(can.root + "/files/" + trashName);
        if (RenameNoReplace(path, target))
            return {};
        const int error = errno;
        ::unlink(infoPath.constData());
        if (error != EEXIST)
            return IoResult::failure(error);
    }
    return IoResult::failure(EEXIST);
}

IoResult DeletePermanently(const QString& path)
{
    const QByteArray p = Commands::NativePath(path);
    if (p.isEmpty())
        return IoResult::failure(ENOENT);
    struct stat st
    {
    };
    if (::lstat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return IoResult::failure(EISDIR);
    if (::unlink(p.constData()) != 0)
        return IoResult::failure(errno);
    return {};
}

} // namespace FileOps
