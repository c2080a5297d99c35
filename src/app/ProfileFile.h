// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/IoResult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

// The profile (INI) file format underneath ReadIni and WriteIni: look-ups in a file's text and
// in-place edits that leave every other byte alone. Plain functions without shared state; GUI
// thread in this program, but safe on any thread.
namespace Commands {

// A profile file's bytes held for several look-ups, so that a set of keys costs one file read.
// Owns its copy of the bytes.
class ProfileText
{
public:
    explicit ProfileText(QByteArray bytes = {});
    // The text of the regular file at `path`; empty when it is missing, not a regular file or
    // unreadable (a FIFO or device never blocks the caller).
    static ProfileText fromFile(const QString& path);

    // The value of `key` in the first section named `section` (both without regard to case),
    // trimmed of blanks and tabs, one pair of enclosing quotes removed, at most 2047
    // characters; `def` when the section or key is missing or the value is empty.
    QString value(const QString& section, const QString& key, const QString& def) const;

private:
    QByteArray m_bytes;
};

// `text` with `key` of `section` set to `value`: the key's value replaced in place (its
// spelling kept), or a new key line after the section's last non-blank line, or a new section
// at the end. Every other byte stays. Empty when the names or the value cannot be stored
// without changing the file's structure (a line break anywhere, "]" in the section, "=" in
// the key, a key that is blank or starts with "[").
std::optional<QByteArray> EditProfileText(
    const QByteArray& text, const QString& section, const QString& key, const QString& value);

// Profile files larger than this read as unreadable: no settings file is anywhere near it,
// and a sparse or runaway file must not take the program's memory.
constexpr qint64 kMaxProfileBytes = qint64(64) << 20;

// Replaces the file at `path` by `bytes` atomically: a new file beside it (hidden, named after
// it and this process), written, flushed to disk and renamed over the old one, keeping the old
// file's permissions and writing through a symbolic link to its target. Every step is checked;
// on any failure the old file stays byte for byte and the new one is removed. Leftovers of
// earlier saves of the same file by processes that no longer run are removed first. A missing
// directory is not created.
IoResult SaveFileAtomically(const QString& path, const QByteArray& bytes);

// Sets several keys of one section, in the given order, with one atomic write: the same text
// as that many WriteIni calls, but never half of them. EINVAL when a name or value cannot be
// stored; the read error when an existing file cannot be read (it is never replaced then).
IoResult WriteIniKeys(const QString& section, const QList<std::pair<QString, QString>>& keyValues,
    const QString& file);

// Reads the whole regular file at `path` into `out` without blocking on FIFOs or devices;
// files larger than kMaxProfileBytes fail with EFBIG.
IoResult ReadRegularFile(const QString& path, QByteArray& out);

} // namespace Commands
