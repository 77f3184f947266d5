#include "ConsoleText.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "ConsoleWrite.h"

namespace q8cli {

namespace {

constexpr size_t ESCAPE_BYTES = 32;

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

std::string Utf8Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : std::string();
}

std::string WriteToStream(FILE* stream, const std::string& text) {
    return WriteBuffered(stream, text);
}

bool StderrTakesEscapes() {
    return true;
}

void EraseLinesAbove(size_t lines) {
    char escapes[ESCAPE_BYTES];
    std::snprintf(escapes, sizeof escapes, "\033[%zuA\r\033[J", lines);
    WriteText(stderr, escapes);
}

size_t StderrColumns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace q8cli
