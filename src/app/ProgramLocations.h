// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace Commands {

// Where the program keeps its settings file and its program directory, decided once at
// start-up from the executable's own path.
//
// Portable: anything that is not an installed layout (a build tree, an unpacked folder). The
// program directory is the executable's directory and the settings file sits beside the
// executable, as it always has, so existing settings files and relative sound directories
// keep working.
//
// Installed: the executable's directory is named "bin" and "../share/sorvanto/" exists beside
// it (after `cmake --install` into any prefix, a DESTDIR staging tree or the package), whether
// or not the user can write there. The settings file is $XDG_CONFIG_HOME/sorvanto/sorvanto.ini
// and the program directory $XDG_DATA_HOME/sorvanto/, each defaulting as the XDG base
// directory rules say (~/.config, ~/.local/share).
//
// A plain value; made on the GUI thread and passed by reference to whoever needs it.
struct ProgramLocations
{
    bool installed = false;
    QString appDir; // program directory, ends with '/'; empty when installed without a home
    QString iniFile; // the program's settings file; empty when installed without a home
    QString sharedData; // installed mode: <prefix>/share/sorvanto/ (read only); else empty
    QString executable; // the executable's absolute path

    // Decides the mode for the executable at `executablePath` (an absolute path) with the XDG
    // variables and HOME taken from `env`. Touches no file but the existence test of the
    // shared data directory. An XDG folder that is not set, with HOME not set (or not
    // absolute) either, leaves appDir or iniFile empty: there is no home to keep files in.
    // Any thread.
    static ProgramLocations detect(const QString& executablePath, const QProcessEnvironment& env);
    // The portable locations of the executable at `executablePath`: the program directory is
    // the executable's, the settings file sits beside it. Any thread.
    static ProgramLocations portable(const QString& executablePath);
};

// What PrepareProgramLocations found: the locations to run with, and what the user must hear.
struct PreparedLocations
{
    ProgramLocations locations; // the installed ones, or the portable ones standing in
    QString notice; // to be told once the window is up; empty when all went well
    QString fatal; // set when no place can keep the program's files: the program ends with it
};

// The demo phrases that an installed layout carries in its shared data directory.
QStringList DemoPhraseNames();

// Prepares the installed mode's folders: makes the settings file's folder and the folder that
// holds the program directory, and on the first start (when the program directory does not
// exist yet) the program directory holding a copy of the shared demo phrases. The copy is
// assembled in a hidden sibling directory and moved into place by one rename only when every
// phrase was copied; otherwise the sibling is removed, the notice says why, and the next start
// tries again. A later start never touches the user's files.
//
// Without a home (HOME not set, or folders that cannot be made there) the portable locations
// beside the executable stand in for this run, and the notice says where the program could not
// keep its files; when those are not writable either, `fatal` says so. Portable mode is
// returned unchanged. GUI thread.
PreparedLocations PrepareProgramLocations(const ProgramLocations& locations);

} // namespace Commands
