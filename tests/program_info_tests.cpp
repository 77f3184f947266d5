// --version and --help of the three programs as a user runs them, and their
// manual pages kept in step with the --help texts.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ShellRun.h"
#include "version/Version.h"

namespace {

using ProgramRun = q8test::ShellRun;
using q8test::ReadAll;

// Runs `program args` through the shell, `environment` (NAME=VALUE words or
// `env -u NAME`) in front.
ProgramRun RunProgram(const std::string& program, const std::string& args,
                      const std::string& environment = "") {
    return q8test::RunShell("env " + environment + " '" + program + "' " + args);
}

struct Program {
    const char* name;
    const char* path;
    const char* manPage;
};

std::vector<Program> Programs() {
    std::vector<Program> programs = {
        {"q8loader-cli", Q8LOADER_CLI_PATH, Q8_SOURCE_DIR "/cli/q8loader-cli.1"},
        {"q8sim", Q8SIM_PATH, Q8_SOURCE_DIR "/sim/q8sim.1"},
    };
#ifdef Q8LOADER_PATH
    programs.push_back({"q8loader", Q8LOADER_PATH, Q8_SOURCE_DIR "/src/ui/q8loader.1"});
#endif
    return programs;
}

// How roff spells a word in the page's source: every hyphen as "\-".
std::string RoffText(const std::string& word) {
    std::string text;
    for (const char c : word) {
        text += c == '-' ? std::string("\\-") : std::string(1, c);
    }
    return text;
}

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || c == '-';
}

// The lower-case word (letters and hyphens) that starts at `at`.
std::string WordAt(const std::string& text, size_t at) {
    size_t end = at;
    while (end < text.size() && IsWordChar(text[end])) {
        ++end;
    }
    return text.substr(at, end - at);
}

// What a manual must name from a --help text: every --option, and the
// command words that start a line indented by two spaces (q8loader-cli's
// commands).
std::set<std::string> NamedInHelp(const std::string& help) {
    std::set<std::string> names;
    for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        const std::string word = WordAt(help, at + 2);
        if (!word.empty() && word.front() != '-') {
            names.insert("--" + word);
        }
    }
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] >= 'a' && line[2] <= 'z') {
            names.insert(WordAt(line, 2));
        }
    }
    return names;
}

constexpr const char* NO_DISPLAY = "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb";

}  // namespace

TEST(VersionLine, NamesTheProgramTheVersionAndTheCheckout) {
    struct Case {
        const char* describe;
        const char* line;
    };
    const Case cases[] = {
        {"", "q8sim 1.2\n"},
        {"v1.2-3-gabc1234", "q8sim 1.2 (git v1.2-3-gabc1234)\n"},
        {"abc1234-dirty", "q8sim 1.2 (git abc1234-dirty)\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(q8version::VersionLine("q8sim", "1.2", c.describe), c.line) << c.describe;
    }
}

TEST(ProgramInfo, VersionIsOneLineWithTheProjectVersion) {
    for (const Program& program : Programs()) {
        const ProgramRun run = RunProgram(program.path, "--version", NO_DISPLAY);
        EXPECT_EQ(run.exitCode, 0) << program.name << ": " << run.err;
        const std::string prefix = std::string(program.name) + " " + Q8_PROJECT_VERSION_TEXT;
        EXPECT_TRUE(run.out == prefix + "\n" || run.out.rfind(prefix + " (git ", 0) == 0)
            << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        EXPECT_EQ(run.err, "") << program.name;
    }
}

// The window's --help and --version come before Qt starts: they work where
// no display can be opened.
TEST(ProgramInfo, HelpGoesToStdoutWithoutADisplay) {
    for (const Program& program : Programs()) {
        const ProgramRun run = RunProgram(program.path, "--help", NO_DISPLAY);
        EXPECT_EQ(run.exitCode, 0) << program.name << ": " << run.err;
        EXPECT_EQ(run.out.rfind(std::string("usage: ") + program.name + " ", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "") << program.name;
    }
}

TEST(ProgramInfo, UnknownOptionIsAUsageErrorWithTheUsageOnStderr) {
    for (const Program& program : Programs()) {
        const ProgramRun run =
            RunProgram(program.path, "--no-such-option", "QT_QPA_PLATFORM=offscreen");
        EXPECT_EQ(run.exitCode, 2) << program.name;
        EXPECT_NE(run.err.find(std::string("usage: ") + program.name), std::string::npos)
            << program.name << ": " << run.err;
        EXPECT_EQ(run.out, "") << program.name;
    }
}

TEST(ManPages, NameEveryOptionAndCommandOfTheHelpText) {
    for (const Program& program : Programs()) {
        const std::string page = ReadAll(program.manPage);
        ASSERT_FALSE(page.empty()) << program.manPage;
        const ProgramRun help = RunProgram(program.path, "--help");
        const std::set<std::string> names = NamedInHelp(help.out);
        EXPECT_TRUE(names.count("--version")) << program.name;
        for (const std::string& name : names) {
            EXPECT_NE(page.find(RoffText(name)), std::string::npos)
                << program.manPage << " does not mention " << name;
        }
    }
}
