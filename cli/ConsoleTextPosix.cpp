#include "ConsoleText.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

#include "ConsoleWrite.h"

namespace q8cli {

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

size_t StderrColumns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace q8cli
