#pragma once
// Conversion between UTF-8 (what the window and the terminal show) and code
// page 936 (what the device stores in names). iconv on POSIX, the code page
// API on Windows. Thread: any.

#include <string>

namespace q8 {

// A lead byte (0x81-0xFE) and a trail byte (0x40-0x7E, 0x80-0xFE) are one
// character, and one U+FFFD when the table has none for them or only a
// private-use one; a lead byte without a trail (a character cut in two, say)
// is one U+FFFD and the next byte is read afresh. The rest of the name still
// shows, and the same on every platform.
std::string GbkToUtf8(const std::string& gbk);

// Characters that code page 936 lacks, and invalid UTF-8, become '?'.
std::string Utf8ToGbk(const std::string& utf8);

// The same from the decoder's table alone: a C library that reads code page
// 936 but cannot write it (emscripten's, in the page) encodes with this.
std::string Utf8ToGbkByTable(const std::string& utf8);

}  // namespace q8
