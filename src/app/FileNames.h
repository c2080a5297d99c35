// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// File names as the file system holds them: any bytes but '/' and NUL. Names that are valid
// UTF-8 decode to the text they spell; every byte that is not part of valid UTF-8 decodes to a
// lone low surrogate U+DC80..U+DCFF, and encodes back to that same byte. So a name from an
// archive made under another encoding (a Latin-1 "Caf\xE9_1.wav") round-trips exactly and a
// list entry always leads back to its own file. Every conversion between a path and the bytes
// handed to the system goes through these two functions. Pure functions; any thread.
namespace Commands {

// The bytes of `path` for the system calls.
QByteArray NativePath(const QString& path);

// The text of a file name or path the system returned.
QString PathFromNative(const QByteArray& bytes);

} // namespace Commands
