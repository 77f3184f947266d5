// Code page 936 conversion through the Windows code page API, one character
// at a time, so that bad input is replaced exactly as the iconv backend does:
// each invalid code page 936 byte becomes one U+FFFD, each character code
// page 936 lacks (or bad UTF-8 sequence) one '?'. The system's own whole-string
// conversion gives '?' for a cut double-byte character and "??" for a
// character outside the basic plane.

#include "link/Win32Text.h"

#include <algorithm>

#include "protocol/GbkText.h"
#include "protocol/Utf8Sequence.h"

namespace q8 {

namespace {

constexpr UINT CODE_PAGE_936 = 936;
constexpr const char* REPLACEMENT_UTF8 = "\xEF\xBF\xBD";  // U+FFFD
constexpr char REPLACEMENT_GBK = '?';
// One character: two UTF-16 units, or two code page 936 bytes.
constexpr int LONGEST_CHARACTER = 4;

bool IsGbkLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

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

// Converts one character's UTF-16 units; false when `codePage` lacks it.
bool OneFromWide(UINT codePage, const std::wstring& wide, std::string& out) {
    char bytes[LONGEST_CHARACTER];
    BOOL usedDefault = FALSE;
    const bool exact = codePage != CP_UTF8;
    const int n = WideCharToMultiByte(codePage, exact ? WC_NO_BEST_FIT_CHARS : 0, wide.data(),
                                      static_cast<int>(wide.size()), bytes, LONGEST_CHARACTER,
                                      nullptr, exact ? &usedDefault : nullptr);
    if (n <= 0 || usedDefault) {
        return false;
    }
    out.append(bytes, static_cast<size_t>(n));
    return true;
}

}  // namespace

std::string GbkToUtf8(const std::string& gbk) {
    std::string out;
    std::wstring wide;
    size_t at = 0;
    while (at < gbk.size()) {
        const bool pair = IsGbkLeadByte(static_cast<unsigned char>(gbk[at])) && at + 1 < gbk.size();
        const int count = pair ? 2 : 1;
        if (OneToWide(CODE_PAGE_936, gbk.data() + at, count, wide) &&
            OneFromWide(CP_UTF8, wide, out)) {
            at += static_cast<size_t>(count);
            continue;
        }
        // A byte that starts no valid character: it alone is replaced and
        // the next byte is read afresh.
        out += REPLACEMENT_UTF8;
        ++at;
    }
    return out;
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
            !OneFromWide(CODE_PAGE_936, wide, out)) {
            out += REPLACEMENT_GBK;
        }
        at += count;
    }
    return out;
}

}  // namespace q8
