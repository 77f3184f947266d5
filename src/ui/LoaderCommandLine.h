#pragma once
// q8loader's own command line. --help and --version are answered before Qt
// starts, so they work without a display; an argument Qt does not take as its
// own (-platform, -style, ...) is a usage error, as in q8loader-cli.
// Thread: the main thread, before and right after the application is made.

#include <string>
#include <vector>

namespace q8ui {

inline constexpr int EXIT_LOADER_USAGE = 2;

enum class LoaderRequest { RUN, HELP, VERSION, UNKNOWN };

// `args` without the program name: HELP or VERSION when one of them is there
// (the first one wins; Qt's own options may be there too), RUN when there are
// no arguments, UNKNOWN otherwise.
LoaderRequest ReadLoaderArgs(const std::vector<std::string>& args);

// Prints the answer to --help or --version and sets `exitCode`; false when the
// arguments ask for neither.
bool AnswerInfoRequest(int argc, char** argv, int& exitCode);

// After Qt has taken its own options out of argv: false, with the usage on
// stderr, when any argument is left.
bool OnlyQtArguments(int argc, char** argv);

const char* LoaderUsage();

}  // namespace q8ui
