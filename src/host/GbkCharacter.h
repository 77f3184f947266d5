#pragma once
// The platform half of reading code page 936: one character, already cut
// out of the name by the shared splitter, to a code point. iconv on POSIX,
// the code page API on Windows. Thread: any.

#include <cstddef>

namespace q8 {

// `count` is 1 (a byte that leads no pair) or 2 (a lead and a trail byte).
// False when the platform's table has no character for the bytes.
bool DecodeGbkCharacter(const char* bytes, size_t count, char32_t& codePoint);

}  // namespace q8
