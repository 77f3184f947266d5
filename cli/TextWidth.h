#pragma once
// How wide UTF-8 text is on a terminal, for lines that must not wrap and
// columns that must line up. Thread: any; pure.

#include <string>

namespace q8cli {

// One column for ASCII and two-byte sequences, two for three- and four-byte
// ones (CJK and the full-width signs the texts use).
size_t DisplayWidth(const std::string& text);

// `text` cut at a character boundary to at most `columns` columns.
std::string FitWidth(const std::string& text, size_t columns);

// `text` with spaces after it up to `columns` columns.
std::string PadRight(const std::string& text, size_t columns);

}  // namespace q8cli
