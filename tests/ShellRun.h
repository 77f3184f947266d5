#pragma once
// Runs a command line through the shell as a user would, and keeps its exit
// code, stdout and stderr.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace q8test {

struct ShellRun {
    int exitCode = -1;  // -1 when the command did not exit normally
    std::string out;
    std::string err;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// `stdoutTo`, when given, replaces the capture of stdout (">/dev/full").
inline ShellRun RunShell(const std::string& command, const std::string& stdoutTo = "") {
    char dir[] = "/tmp/q8run-XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err";
    const std::string line =
        command + " " + (stdoutTo.empty() ? ">" + out : stdoutTo) + " 2>" + err;
    const int status = std::system(line.c_str());
    ShellRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    rmdir(dir);
    return run;
}

}  // namespace q8test
