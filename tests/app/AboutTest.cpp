// SPDX-License-Identifier: GPL-3.0-or-later
// --help and --version: found anywhere on the command line, the first one answers, anything
// else is left alone; the text goes to the stream given, and a stream that refuses it is an
// error.

#include "app/About.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Answer
{
    std::optional<int> status;
    std::string text;
};

Answer run(std::vector<const char*> args)
{
    args.insert(args.begin(), "sorvanto");
    std::FILE* out = std::tmpfile();
    Answer answer;
    answer.status = About::HandleCommandLine(int(args.size()), args.data(), out);
    std::rewind(out);
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0)
        answer.text.append(buffer, n);
    std::fclose(out);
    return answer;
}

} // namespace

TEST(About, OtherArgumentsAreIgnoredAndWriteNothing)
{
    for (const std::vector<const char*>& args :
        std::vector<std::vector<const char*>> { {}, { "-v" }, { "-H" }, { "--Help" },
            { "--help=yes" }, { "-platform", "xcb" }, { "help" }, { "" } }) {
        const Answer a = run(args);
        EXPECT_FALSE(a.status.has_value()) << (args.empty() ? "(none)" : args[0]);
        EXPECT_TRUE(a.text.empty());
    }
    // argc 0 (no program name either) is not an error.
    EXPECT_FALSE(About::HandleCommandLine(0, nullptr, stdout).has_value());
}

TEST(About, TheFirstOfHelpAndVersionAnswersWhereverItStands)
{
    const Answer version = run({ "--ignored", "--version", "--help" });
    ASSERT_EQ(version.status, 0);
    EXPECT_EQ(version.text, std::string("sorvanto ") + SORVANTO_VERSION + "\n");
    EXPECT_EQ(About::Version(), std::string(SORVANTO_VERSION));

    const Answer help = run({ "--help", "--version" });
    ASSERT_EQ(help.status, 0);
    EXPECT_EQ(help.text, About::HelpText());

    // -h is --help.
    const Answer shortHelp = run({ "--ignored", "-h", "--version" });
    ASSERT_EQ(shortHelp.status, 0);
    EXPECT_EQ(shortHelp.text, About::HelpText());
}

TEST(About, HelpHasItsSectionsInOrderWithIndentedLines)
{
    const std::string help = About::HelpText();
    const std::size_t usage = help.find("Usage:\n");
    const std::size_t options = help.find("\nOptions:\n");
    const std::size_t files = help.find("\nFiles:\n");
    ASSERT_EQ(usage, 0u);
    ASSERT_NE(options, std::string::npos);
    ASSERT_NE(files, std::string::npos);
    EXPECT_LT(options, files);
    const std::size_t keys = help.find("\nKeys:\n");
    ASSERT_NE(keys, std::string::npos);
    EXPECT_LT(files, keys);
    for (const char* key : { "Space", "Shift+1..3", "Enter", "F5", "Alt+O, F10", "Ctrl+S" })
        EXPECT_NE(help.find(key, keys), std::string::npos) << key;
    EXPECT_NE(help.find("--version"), std::string::npos);
    EXPECT_NE(help.find("$XDG_CONFIG_HOME/sorvanto/sorvanto.ini"), std::string::npos);
    EXPECT_NE(help.find("$XDG_DATA_HOME/sorvanto/"), std::string::npos);
    // Every line is a section title, a blank line between sections, or indented; none is
    // wider than a terminal.
    std::size_t start = 0;
    while (start < help.size()) {
        const std::size_t end = help.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "the text ends with a line end";
        const std::string line = help.substr(start, end - start);
        EXPECT_LE(line.size(), 80u) << line;
        EXPECT_TRUE(line.empty() || line.back() == ':' || line.rfind("  ", 0) == 0) << line;
        if (!line.empty()) {
            EXPECT_NE(line.back(), ' ') << line;
        }
        start = end + 1;
    }
}

TEST(About, AStreamThatRefusesTheTextGivesAFailureStatus)
{
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    const char* args[] = { "sorvanto", "--help" };
    EXPECT_EQ(About::HandleCommandLine(2, args, full), 1);
    std::fclose(full);
}
