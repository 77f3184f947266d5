#include "ConsoleUi.h"

#include <cstdio>

namespace q8cli {

void StderrMessages::Show(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace q8cli
