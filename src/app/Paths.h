// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/IoResult.h"

#include <QString>

// The program's paths and the file-system probes shared by every subsystem: the program and
// runtime directories, the directory separator rule, and the embedded default clip. GUI thread
// only (InitPaths needs the application object); the probes themselves touch only the file
// system.
namespace Commands {

struct ProgramValues;
struct ProgramLocations;

// Sets AppDir and IniFile from `locations` (portable or installed), AppExeName from the running
// executable and TempDir from the user's runtime directory (created private if missing).
void InitPaths(ProgramValues& values, const ProgramLocations& locations);

// Appends '/' to `path` unless it already ends with one; changes and returns the argument.
QString& AddBackslash(QString& path);

// True when `path` names a directory that can be opened for listing.
bool DirExists(const QString& path);

// True when `path` names a regular file that can be opened for reading.
bool FileExists(const QString& path);

// Makes the directory `dir` (absolute) and every missing folder above it, each new one with
// `mode` less the umask. Succeeds when `dir` is a directory afterwards (made now or before);
// otherwise the result names the first folder that could not be made and the system's reason
// (a component that is a file, a parent that is not writable, a full disk).
IoResult MakeFolders(const QString& dir, unsigned mode = 0777);

// The path unchanged: this platform has no short names and its names are case-sensitive.
QString GetLongName(const QString& path);

// The program's private directory inside the user's runtime directory (<runtime>/sorvanto/),
// made 0700 when missing; /tmp/sorvanto-runtime-<uid>/ without a usable runtime directory.
// Ends with '/'; empty when no private directory can be had.
QString GetTempDir();

// Writes the embedded resource `name` of kind `type` (":/<type>/<name>") to `path` with an
// exclusive create, never through a symbolic link. Returns `path`, or "" on any failure.
QString ExtractResource(const QString& path, const QString& name, const QString& type);

} // namespace Commands
