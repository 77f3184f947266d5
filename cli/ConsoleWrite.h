#pragma once
// The platform half of WriteText, and the buffered write both platforms use
// for files and pipes. Thread: as WriteText.

#include <cstdio>
#include <string>

namespace q8cli {

// Writes `text` (UTF-8) to `stream` as the platform shows it: the system's
// words for why it failed, empty when it went out.
std::string WriteToStream(FILE* stream, const std::string& text);

// Writes `text` through the stream's buffer: the C library's words for why
// it failed, empty when it went out.
std::string WriteBuffered(FILE* stream, const std::string& text);

}  // namespace q8cli
