// Code page 936 conversion through iconv: whole UTF-8 strings, and single
// code page 936 characters for the shared reader of names.

#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "host/GbkCharacter.h"
#include "host/GbkText.h"
#include "host/Utf8Sequence.h"

namespace q8 {

namespace {

// glibc knows code page 936 by its own name; the C library of the page's
// build (emscripten's) knows only "GBK", and reads it but cannot write it:
// there names are encoded from the decoder's table (Utf8ToGbk below).
#ifdef __EMSCRIPTEN__
constexpr const char* CODE_PAGE_936 = "GBK";
#else
constexpr const char* CODE_PAGE_936 = "CP936";
#endif
constexpr const char* UTF8 = "UTF-8";
// Byte order spelled out, so no byte-order mark comes first.
constexpr const char* UTF32 = "UTF-32BE";
constexpr size_t UTF32_BYTES = 4;
constexpr int BITS_PER_BYTE = 8;
constexpr const char* REPLACEMENT_GBK = "?";
const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);

// The C library loads a converter module on the first open and unloads the
// unused ones whenever a descriptor closes. Sessions on several threads would
// then load and unload them under one another, inside the loader where no
// sanitizer sees the lock; a descriptor of each conversion used here, held
// for the program's life, keeps their modules loaded. They are closed at
// exit, when no session runs any more.
class HeldConverters {
  public:
    HeldConverters() : held_{iconv_open(UTF32, CODE_PAGE_936), iconv_open(CODE_PAGE_936, UTF8)} {}
    HeldConverters(const HeldConverters&) = delete;
    HeldConverters& operator=(const HeldConverters&) = delete;
    ~HeldConverters() {
        for (const iconv_t cd : held_) {
            if (cd != NO_CONVERTER) {
                iconv_close(cd);
            }
        }
    }

    // A C library that only reads code page 936 (emscripten's) cannot open
    // the writing direction at all.
    bool Writes() const { return held_[1] != NO_CONVERTER; }

  private:
    iconv_t held_[2];
};

const HeldConverters& Held() {
    static const HeldConverters held;
    return held;
}

// Converts `in`, replacing each unconvertible piece with `replacement` and
// skipping `skip(byte)` input bytes past it.
template <typename Skip>
std::string Convert(const char* to, const char* from, const std::string& in,
                    const char* replacement, Skip skip) {
    Held();
    iconv_t cd = iconv_open(to, from);
    if (cd == NO_CONVERTER) {
        return std::string();
    }
    std::string out;
    char chunk[256];
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = chunk;
        size_t dstLeft = sizeof chunk;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        const int error = errno;
        out.append(chunk, static_cast<size_t>(dst - chunk));
        if (rc != static_cast<size_t>(-1) || error == E2BIG) {
            continue;
        }
        // EILSEQ: an invalid or unmappable sequence; EINVAL: cut at the end.
        out += replacement;
        const size_t n = std::min(skip(static_cast<unsigned char>(*src)), srcLeft);
        src += n;
        srcLeft -= n;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

}  // namespace

bool DecodeGbkCharacter(const char* bytes, size_t count, char32_t& codePoint) {
    Held();
    iconv_t cd = iconv_open(UTF32, CODE_PAGE_936);
    if (cd == NO_CONVERTER) {
        return false;
    }
    unsigned char unit[UTF32_BYTES];
    char* src = const_cast<char*>(bytes);
    size_t srcLeft = count;
    char* dst = reinterpret_cast<char*>(unit);
    size_t dstLeft = sizeof unit;
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || srcLeft != 0 || dstLeft != 0) {
        return false;
    }
    codePoint = 0;
    for (const unsigned char byte : unit) {
        codePoint = (codePoint << BITS_PER_BYTE) | byte;
    }
    return true;
}

std::string Utf8ToGbk(const std::string& utf8) {
    if (!Held().Writes()) {
        return Utf8ToGbkByTable(utf8);
    }
    return Convert(CODE_PAGE_936, UTF8, utf8, REPLACEMENT_GBK, Utf8SequenceLength);
}

}  // namespace q8
