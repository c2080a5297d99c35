// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/About.h"

#include <array>
#include <cstring>
#include <string_view>

#ifndef SORVANTO_VERSION
#define SORVANTO_VERSION "unknown"
#endif

namespace About {

namespace {

struct HelpSection
{
    std::string_view title;
    std::string_view body; // lines, each ending with '\n'
};

// One entry per section of --help; a new section is one more entry here.
constexpr std::array kHelpSections {
    HelpSection { "Usage",
        "sorvanto [-h | --help | --version]\n"
        "Plays looping phrases (WAV files) of one sound directory in three columns.\n" },
    HelpSection { "Options",
        "-h, --help  print this text and exit\n"
        "--version   print the version and exit\n"
        "Any other argument is ignored.\n" },
    HelpSection { "Files",
        "Installed (sorvanto in a bin/ directory with ../share/sorvanto/ beside it):\n"
        "  settings           $XDG_CONFIG_HOME/sorvanto/sorvanto.ini (~/.config/...)\n"
        "  program directory  $XDG_DATA_HOME/sorvanto/ (~/.local/share/...),\n"
        "                     given a copy of the demo phrases on the first start\n"
        "Portable (any other place, such as a build tree):\n"
        "  settings           sorvanto.ini beside the executable\n"
        "  program directory  the executable's directory\n"
        "The sound directory is the program directory unless the Settings dialog chose\n"
        "another; a relative one is taken from the program directory.\n" },
    HelpSection { "Keys",
        "Wherever the focus is in the main window (not while a box takes typing):\n"
        "Space        press the sync panel: start the selected phrases, or stop all\n"
        "1, 2, 3      press Play of column 1, 2, 3\n"
        "Shift+1..3   press Mute of column 1, 2, 3\n"
        "Enter        in a phrase list: press the row the cursor is on\n"
        "F5           read the sound directory again, keeping the selections\n"
        "Alt+O, F10   open the Options menu\n"
        "Ctrl+S       Save Settings\n"
        "Ctrl+Q       end the program, as closing the window does\n"
        "In a phrase list, for the row the cursor is on:\n"
        "Menu, Shift+F10        open the list's context menu\n"
        "F2, Shift+F2           Rename Phrase, Rename Phrase Set\n"
        "Delete, Shift+Delete   Delete Phrase, Delete Phrase Set\n"
        "In the active main window, the Tempo menu's items:\n"
        "Ctrl+Up, Ctrl+Down               tempo 5 % faster, slower\n"
        "Ctrl+Shift+Up, Ctrl+Shift+Down   tempo 1 % faster, slower\n"
        "Ctrl+Right, Ctrl+Left            key one semitone up, down\n"
        "Ctrl+0                           original tempo and key\n"
        "Tab reaches the knobs (Up, Down turn them) and the buttons (Enter presses).\n" },
};

} // namespace

const char* Version()
{
    return SORVANTO_VERSION;
}

std::string VersionText()
{
    return std::string("sorvanto ") + Version() + '\n';
}

std::string HelpText()
{
    std::string text;
    for (const HelpSection& section : kHelpSections) {
        if (!text.empty())
            text += '\n';
        text += section.title;
        text += ":\n";
        std::string_view body = section.body;
        while (!body.empty()) {
            const std::size_t end = body.find('\n');
            const std::string_view line = body.substr(0, end);
            text += "  ";
            text += line;
            text += '\n';
            body.remove_prefix(end == std::string_view::npos ? body.size() : end + 1);
        }
    }
    return text;
}

std::optional<int> HandleCommandLine(int argc, const char* const* argv, std::FILE* out)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr)
            continue;
        std::string text;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            text = HelpText();
        else if (std::strcmp(argv[i], "--version") == 0)
            text = VersionText();
        else
            continue;
        const bool written = std::fputs(text.c_str(), out) >= 0 && std::fflush(out) == 0;
        return written ? 0 : 1;
    }
    return std::nullopt;
}

} // namespace About
