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
    QString appDir; // program directory, ends with '/'
    QString iniFile; // the program's settings file
    QString sharedData; // installed mode: <prefix>/share/sorvanto/ (read only); else empty

    // Decides the mode for the executable at `executablePath` (an absolute path) with the XDG
    // variables and HOME taken from `env`. Touches no file but the existence test of the
    // shared data directory. Any thread.
    static ProgramLocations detect(const QString& executablePath, const QProcessEnvironment& env);
};

// The demo phrases that an installed layout carries in its shared data directory.
QStringList DemoPhraseNames();

// Prepares the installed mode's folders: makes the settings file's directory, and on the first
// start (when the program directory does not exist yet) makes the program directory holding a
// copy of the shared demo phrases. The copy is assembled in a hidden sibling directory and moved
// into place by one rename, so an interrupted first start leaves no half set; a later start
// never touches the user's files. Does nothing in portable mode. Returns false when a step
// failed (the program then runs on whatever exists). GUI thread.
bool PrepareProgramLocations(const ProgramLocations& locations);

} // namespace Commands
