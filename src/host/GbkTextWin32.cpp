// Code page 936 conversion through the Windows code page API, one character
// at a time, so that bad input is replaced exactly as the iconv backend does:
// each character code page 936 lacks (or bad UTF-8 sequence) becomes one '?'.
// The system's own whole-string conversion gives "??" for a character outside
// the basic plane. Reading names, the shared reader cuts the characters and
// this file only looks each one up.

#include "link/Win32Text.h"

#include <algorithm>

#include "host/GbkCharacter.h"
#include "host/GbkText.h"
#include "host/Utf8Sequence.h"

namespace q8 {

namespace {

constexpr UINT CODE_PAGE_936 = 936;
constexpr char REPLACEMENT_GBK = '?';
// One character: two UTF-16 units, or two code page 936 bytes.
constexpr int LONGEST_CHARACTER = 4;

// Converts exactly one character's bytes to UTF-16; false when they are not
// one valid character of `codePage`.
bool OneToWide(UINT codePage, const char* bytes, int count, std::wstring& wide) {
    wchar_t units[LONGEST_CHARACTER];
    const int n =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, units, LONGEST_CHARACTER);
    if (n <= 0) {
        return false;
    }
    wide.assign(units, static_cast<size_t>(n));
    return true;
}

// Converts one character's UTF-16 units; false when code page 936 lacks it.
bool OneToGbk(const std::wstring& wide, std::string& out) {
    char bytes[LONGEST_CHARACTER];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CODE_PAGE_936, WC_NO_BEST_FIT_CHARS, wide.data(),
                                      static_cast<int>(wide.size()), bytes, LONGEST_CHARACTER,
                                      nullptr, &usedDefault);
    if (n <= 0 || usedDefault) {
        return false;
    }
    out.append(bytes, static_cast<size_t>(n));
    return true;
}

}  // namespace

// Every character of code page 936 is in the basic plane: one UTF-16 unit.
bool DecodeGbkCharacter(const char* bytes, size_t count, char32_t& codePoint) {
    std::wstring wide;
    if (!OneToWide(CODE_PAGE_936, bytes, static_cast<int>(count), wide) || wide.size() != 1) {
        return false;
    }
    codePoint = wide[0];
    return true;
}

std::string Utf8ToGbk(const std::string& utf8) {
    std::string out;
    std::wstring wide;
    size_t at = 0;
    while (at < utf8.size()) {
        const size_t length = Utf8SequenceLength(static_cast<unsigned char>(utf8[at]));
        const size_t count = std::min(length, utf8.size() - at);
        if (count != length ||
            !OneToWide(CP_UTF8, utf8.data() + at, static_cast<int>(count), wide) ||
            !OneToGbk(wide, out)) {
            out += REPLACEMENT_GBK;
        }
        at += count;
    }
    return out;
}

}  // namespace q8
