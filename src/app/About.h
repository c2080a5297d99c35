// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>

// What the program says about itself on the command line.
namespace About {

// The program's version, as the build gave it ("0.1").
const char* Version();

// The text of --version: program name and version, one line.
std::string VersionText();

// The text of --help: its sections (usage, options, files, keys) in order, each a title line and
// indented lines.
std::string HelpText();

// Looks for --help (or -h) or --version among the arguments (argv[1..argc-1]); the first one found
// is answered by writing its text to `out`, and the exit status is returned (0; 1 when `out`
// refused the text). Without either
// the result is empty and nothing is written: every other argument is ignored. Needs nothing
// of Qt, so it runs before any window, lock or settings file exists. Main thread.
std::optional<int> HandleCommandLine(int argc, const char* const* argv, std::FILE* out);

} // namespace About
