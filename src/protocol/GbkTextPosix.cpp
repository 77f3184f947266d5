// Code page 936 conversion through iconv.

#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "protocol/GbkText.h"
#include "protocol/Utf8Sequence.h"

namespace q8 {

namespace {

constexpr const char* CODE_PAGE_936 = "CP936";
constexpr const char* UTF8 = "UTF-8";
constexpr const char* REPLACEMENT_UTF8 = "\xEF\xBF\xBD";  // U+FFFD
constexpr const char* REPLACEMENT_GBK = "?";

// Converts `in`, replacing each unconvertible piece with `replacement` and
// skipping `skip(byte)` input bytes past it.
template <typename Skip>
std::string Convert(const char* to, const char* from, const std::string& in,
                    const char* replacement, Skip skip) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
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

std::string GbkToUtf8(const std::string& gbk) {
    return Convert(UTF8, CODE_PAGE_936, gbk, REPLACEMENT_UTF8,
                   [](unsigned char) { return size_t{1}; });
}

std::string Utf8ToGbk(const std::string& utf8) {
    return Convert(CODE_PAGE_936, UTF8, utf8, REPLACEMENT_GBK, Utf8SequenceLength);
}

}  // namespace q8
