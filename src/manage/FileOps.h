// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/IoResult.h"

#include <QString>

// File operations of the library commands. None of them ever replaces or loses a file it was
// not asked to remove; every failure leaves the files as they were. Paths are absolute.
// Callable from any thread (they touch only the file system), used on the GUI thread.
namespace FileOps {

// Renames `from` to `to` atomically, failing (false) when `to` exists: renameat2 with
// RENAME_NOREPLACE, or link + unlink where the file system refuses that flag.
bool RenameNoReplace(const QString& from, const QString& to);

// The link + unlink way of RenameNoReplace, for file systems that refuse RENAME_NOREPLACE.
// Fails when `to` exists or the file system has no hard links; never leaves both names
// behind, never replaces `to`.
bool RenameByLink(const QString& from, const QString& to);

// The rename of a phrase or set settings file in a case-insensitive, case-preserving sound
// directory: fails when an entry of `to`'s directory other than `from` itself matches the
// target name without regard to case; a rename of a file to its own name in another case
// (A_1.WAV to A_1.wav) works, on case-sensitive and case-folding file systems alike.
bool RenameInLibrary(const QString& from, const QString& to);

// The analogue of setting a file's attributes to normal: makes it writable by its owner.
// A symbolic link or a missing file is left alone; failures are ignored.
void SetAttributesNormal(const QString& path);

// Moves the file (or symbolic link) to the desktop trash, from which the user can restore it:
// the user's home trash when the file lies on its file system, else the trash at the top of
// the file's own file system. Never copies and never removes: when no trash can take the file
// the result says why and the file stays where it is. ENOENT without a folder() means the file
// itself is missing; a trash folder that could not be made carries its folder().
Commands::IoResult MoveToTrash(const QString& path);

// Removes the file (or symbolic link) for good; directories are refused. Only after the user
// agreed to lose it.
Commands::IoResult DeletePermanently(const QString& path);

// True when both paths exist and name the same file (device and inode).
bool SameFile(const QString& a, const QString& b);

} // namespace FileOps
