// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/IoResult.h"

#include <QString>

// The program-wide values and the program settings file: what start-up reads, what the end of
// the run stores, and the profile (INI) front end every settings file goes through. GUI thread
// only.
namespace Commands {

// The product caption: settings section of every profile file, main window caption and the
// title of every message box.
inline const QString kAppTitle = QStringLiteral("Vorn's Sorvanto");

// The program-wide values worked out at start-up. One instance is owned by the running
// program (AppModul::Main) and passed by reference to whoever needs it; GUI thread only.
struct ProgramValues
{
    QString AppDir; // program directory, ends with '/'
    QString AppExeName; // executable file name
    QString TempDir; // the program's private runtime directory, ends with '/'
    QString AppTitle = kAppTitle;
    QString IniFile; // the settings file: AppDir + AppExeName + ".ini" when portable
    QString WAVpath; // absolute sound directory, ends with '/'
    qint16 ShowEnding = 0; // 1 = lists show ".wav"; any non-zero value shows it
    qint16 AutoPlay = 1; // 1 = a click in a list also plays
    qint16 PhraseSync = 1; // 1 = a click lines the lists up and loads the set settings
    qint16 LineUpByName = 1; // 1 = lining up picks the pressed set's members by name, 0 by row
    qint16 PlayInStep = 0; // 1 = a Play press joins the playing parts at their loop phase
    QString DefaultWav; // TempDir + "Default.wav"
};

// Sets AppTitle, IniFile (AppDir + AppExeName + ".ini" unless InitPaths chose it), WAVpath, the
// option flags and DefaultWav from the settings file, and writes the default clip into TempDir
// when it is missing. The caller mirrors the flags into the
// main window's check marks.
void LoadProgramSettings(ProgramValues& values);

// The sound directory for a stored WAVpath value: empty means `appDir`; a value starting with
// '/' is absolute; anything else is relative to `appDir` (backslashes read as '/', one leading
// separator dropped). Ends with '/'; `appDir` when the result is not a listable directory.
QString ResolveSoundDirectory(const QString& stored, const QString& appDir);

// Writes ShowEnding, AutoPlay, PhraseSync, LineUpByName and PlayInStep (in that order) into
// IniFile in one atomic edit, making the settings file's folder first when it is missing. A
// failure says why; when the folder could not be made, the result names it.
IoResult StoreProgramFlags(const ProgramValues& values);

// Writes one key of the program settings file (IniFile, section AppTitle) as WriteIni does,
// making the file's folder first when it is missing; a failure names that folder when it was
// the cause.
IoResult StoreProgramSetting(const ProgramValues& values, const QString& key, const QString& value);

// Reads one value of a profile file: case-insensitive section and key, first match wins,
// trimmed, one pair of enclosing quotes removed, at most 2047 characters; `def` when the file,
// section or key is missing or the value is empty.
QString ReadIni(
    const QString& section, const QString& key, const QString& file, const QString& def);

// Writes one value of a profile file, editing the text in place and replacing the file
// atomically (see SaveFileAtomically). On failure the file is as it was and the result says
// why.
IoResult WriteIni(
    const QString& section, const QString& key, const QString& value, const QString& file);

} // namespace Commands
