#include "ConsoleUi.h"

#include "ConsoleText.h"

namespace q8cli {

void StderrMessages::Show(const std::string& text) {
    WriteText(stderr, text + "\n");
}

void StderrMessages::ShowWithDetail(const std::string& text, const std::string& detail) {
    WriteText(stderr, detail.empty() ? text + "\n" : text + "\n" + detail + "\n");
}

}  // namespace q8cli
