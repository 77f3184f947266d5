#pragma once
// Conversion between UTF-8 (what the window and the terminal show) and code
// page 936 (what the device stores in names). iconv on POSIX, the code page
// API on Windows. Thread: any.

#include <string>

namespace q8 {

// Bytes that are not valid code page 936 (a double-byte character cut in two,
// say) become U+FFFD; the rest of the name still shows.
std::string GbkToUtf8(const std::string& gbk);

// Characters that code page 936 lacks, and invalid UTF-8, become '?'.
std::string Utf8ToGbk(const std::string& utf8);

}  // namespace q8
