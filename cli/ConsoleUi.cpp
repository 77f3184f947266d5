#include "ConsoleUi.h"

#include "ConsoleText.h"

namespace q8cli {

void StderrMessages::Show(const std::string& text) {
    WriteText(stderr, text + "\n");
}

}  // namespace q8cli
