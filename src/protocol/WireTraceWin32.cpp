// The trace file on Windows, opened through UTF-16: fopen would read the
// UTF-8 path in the ANSI code page and make a Chinese name into another one.

#include "link/Win32Text.h"

#include "protocol/WireTrace.h"

namespace q8 {

FILE* WireTrace::OpenFile(const std::string& path) {
    return _wfopen(Utf8ToWide(path).c_str(), L"w");
}

}  // namespace q8
