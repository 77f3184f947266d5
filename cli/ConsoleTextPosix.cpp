#include "ConsoleText.h"

namespace q8cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void WriteText(FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

bool StderrTakesEscapes() {
    return true;
}

}  // namespace q8cli
