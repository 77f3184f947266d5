#include "ui/LoaderCommandLine.h"

#include <cstdio>

#include "version/Version.h"

namespace q8ui {

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_OUTPUT_FAILED = 1;

std::vector<std::string> Arguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

// A closed or full stdout is a failure, as in q8loader-cli.
int Print(const std::string& text) {
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    return written ? EXIT_OK : EXIT_OUTPUT_FAILED;
}

}  // namespace

LoaderRequest ReadLoaderArgs(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            return LoaderRequest::HELP;
        }
        if (arg == "--version") {
            return LoaderRequest::VERSION;
        }
    }
    return args.empty() ? LoaderRequest::RUN : LoaderRequest::UNKNOWN;
}

bool AnswerInfoRequest(int argc, char** argv, int& exitCode) {
    switch (ReadLoaderArgs(Arguments(argc, argv))) {
        case LoaderRequest::HELP:
            exitCode = Print(LoaderUsage());
            return true;
        case LoaderRequest::VERSION:
            exitCode = Print(q8version::VersionLine("q8loader"));
            return true;
        default:
            return false;
    }
}

bool OnlyQtArguments(int argc, char** argv) {
    const std::vector<std::string> left = Arguments(argc, argv);
    if (left.empty()) {
        return true;
    }
    std::fprintf(stderr, "q8loader: unknown argument: %s\n%s", left.front().c_str(), LoaderUsage());
    return false;
}

const char* LoaderUsage() {
    return "usage: q8loader [--help | --version] [Qt options]\n"
           "The Q8 download tool's window: lists the cartridge of the device on COM1\n"
           "(falling back to COM2), sends content files to it, reads them back, deletes\n"
           "the last file, erases the recorded voice and formats the cartridge.\n"
           "\n"
           "  --help      this text\n"
           "  --version   the version\n"
           "\n"
           "On Linux COM1 and COM2 are the devices named by Q8LOADER_COM1 and\n"
           "Q8LOADER_COM2 (default /dev/ttyS0 and /dev/ttyS1). Qt takes its own options,\n"
           "such as -platform offscreen or -style NAME, as every Qt program does.\n";
}

}  // namespace q8ui
