// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small helpers for tests on real files: whole-file reads and writes, a way to meet
// permission checks while the tests run as root, and real write failures: a file-size limit
// (EFBIG, for anyone) and a small file system of its own (ENOSPC, EROFS, another device; needs
// the right to mount, so tests that use it skip without).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace FileTestKit {

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    return f.readAll();
}

inline void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

inline QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// While it lives, the calling thread obeys file permissions even as root: the capabilities
// that override them leave the effective set (they stay permitted and come back at the end).
// active() is false when that could not be arranged; such tests skip.
class ObeyPermissions
{
public:
    ObeyPermissions()
    {
        if (::geteuid() != 0) {
            m_active = true;
            return;
        }
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, m_saved, sizeof reduced);
        const unsigned mask
            = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
        reduced[0].effective &= ~mask;
        m_dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
        m_active = m_dropped;
    }
    ~ObeyPermissions()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    ObeyPermissions(const ObeyPermissions&) = delete;
    ObeyPermissions& operator=(const ObeyPermissions&) = delete;

    bool active() const { return m_active; }

private:
    __user_cap_header_struct m_header {};
    __user_cap_data_struct m_saved[2] {};
    bool m_dropped = false;
    bool m_active = false;
};

// While it lives, no file of this process may grow beyond `bytes`: a write past it fails with
// EFBIG instead of raising SIGXFSZ, as on a disk that has run full. The old limit and signal
// disposition come back at the end.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previous = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::signal(SIGXFSZ, m_previous);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved {};
    sighandler_t m_previous = SIG_DFL;
};

// A tmpfs of `kilobytes` mounted on a temporary directory while it lives: its own device, a
// size that can run full, and a read-only remount. mounted() is false where this process may
// not mount; such tests skip.
class ScratchFileSystem
{
public:
    explicit ScratchFileSystem(int kilobytes = 256)
    {
        if (!m_dir.isValid())
            return;
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
        m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                        options.constData())
            == 0;
    }
    ~ScratchFileSystem()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    ScratchFileSystem(const ScratchFileSystem&) = delete;
    ScratchFileSystem& operator=(const ScratchFileSystem&) = delete;

    bool mounted() const { return m_mounted; }
    // The mount point, without a trailing '/'.
    QString path() const { return m_dir.path(); }
    // Fills the file system to the last byte with one file, so that the next write fails
    // with ENOSPC.
    void fill()
    {
        QFile f(m_dir.filePath(QStringLiteral("filler")));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'f');
        while (f.write(block) == block.size()) { }
        const QByteArray byte(1, 'f');
        while (f.write(byte) == 1) { }
    }
    // Makes the file system read-only (EROFS for every change, root's included).
    bool makeReadOnly()
    {
        return ::mount(nullptr, QFile::encodeName(m_dir.path()).constData(), nullptr,
                   MS_REMOUNT | MS_RDONLY, nullptr)
            == 0;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace FileTestKit
