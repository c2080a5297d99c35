#pragma once

// The program's entry routine.
namespace AppModul {

// Runs the program: single-instance test, paths, settings, main window, phrase lists, sound
// engine, then the event loop until the main window closes. Arguments are accepted and
// ignored. Returns the process exit status.
int Main(int argc, char** argv);

} // namespace AppModul
