#include "manage/FileOps.h"

#include "app/FileNames.h"

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

// Makes sure the user's trash (Trash with files/ and info/ in the data directory) exists as
// directories and returns its device. Empty when it cannot be had: QFile::moveToTrash would
// then put the file into files/ of the current directory instead.
std::optional<dev_t> establishHomeTrash()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data))
        return std::nullopt;
    const QString trash = data + QStringLiteral("/Trash");
    std::optional<dev_t> device;
    for (const QString& dir :
        { trash, trash + QStringLiteral("/files"), trash + QStringLiteral("/info") }) {
        const QByteArray d = Commands::NativePath(dir);
        if (::mkdir(d.constData(), 0700) != 0 && errno != EEXIST)
            return std::nullopt;
        struct stat st;
        if (::lstat(d.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return std::nullopt;
        if (!device)
            device = st.st_dev;
    }
    return device;
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

bool DeleteToTrash(const QString& path)
{
    const QByteArray p = Commands::NativePath(path);
    struct stat st;
    if (p.isEmpty() || ::lstat(p.constData(), &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode))
        return false;
    const std::optional<dev_t> trashDevice = establishHomeTrash();
    if (trashDevice) {
        if (QFile::moveToTrash(path))
            return true;
        struct stat again;
        if (::lstat(p.constData(), &again) != 0)
            return true; // the trash took it after all
        if (again.st_dev != st.st_dev || again.st_ino != st.st_ino)
            return false; // another file now has the name: not the one the user confirmed
        // On the trash's own file system the trash was there and refused: the file stays.
        // Elsewhere the trash needed a directory of that file system and none could be had.
        if (*trashDevice == st.st_dev)
            return false;
    }
    return ::unlink(p.constData()) == 0;
}

} // namespace FileOps
