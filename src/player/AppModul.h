// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

class DirectoryWatcher;
class Form1;
class LibraryCommands;
class PlayerKeys;
class PlayerModel;
class SettingsCommand;
namespace Commands {
struct ProgramValues;
}
namespace DX7Sound {
class Engine;
}

// The program's entry routine and the start-up sequence it is built from.
namespace AppModul {

// The running program's parts, built and wired here and nowhere else: the main window (the
// view), the directory watcher, the player model, the library and Settings commands and the
// window-wide keys. The view receives what it shows; no part creates another. The parts go in
// the reverse order: the keys first, the window last. `values` and `engine` are the caller's
// and outlive it. GUI thread only.
class Program
{
public:
    Program(Commands::ProgramValues& values, DX7Sound::Engine& engine);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The main window.
    Form1& window() { return *m_window; }

private:
    std::unique_ptr<Form1> m_window;
    std::unique_ptr<DirectoryWatcher> m_watcher;
    std::unique_ptr<PlayerModel> m_model;
    std::unique_ptr<LibraryCommands> m_library;
    std::unique_ptr<SettingsCommand> m_settings;
    // Last, so that it goes first: no key, focus or tooltip reaches the others while they go.
    std::unique_ptr<PlayerKeys> m_keys;

    friend struct ProgramParts; // the tests' view of the parts (tests/player/ProgramParts.h)
};

// Everything Main does once the paths are known: loads the program settings into `values`
// (which must hold AppDir, AppExeName and TempDir), builds the program's parts (the main
// window places itself and takes its load colours), sets the check marks from the flags and
// the caption to AppTitle, fills the phrase lists, shows the window and opens the sound engine
// (LoadDXSound). Returns the running program; `values` and `engine` are the caller's and must
// outlive it. Tests use it to set the whole program up on temporary directories with any
// engine. GUI thread.
std::unique_ptr<Program> StartProgram(Commands::ProgramValues& values, DX7Sound::Engine& engine);

// Runs the program: --help and --version are answered at once (no window, lock or file);
// otherwise the single-instance test (a second instance returns 0 at once, having touched no
// file), the program's locations (portable or installed, whose folders are prepared), paths,
// StartProgram with the system's sound device, then the event loop until the main window
// closes. Other arguments are accepted and ignored (Qt does not see them either).
// Returns the process exit status. Called once, from main().
int Main(int argc, char** argv);

} // namespace AppModul
