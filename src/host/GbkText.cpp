// Code page 936 names cut into characters the same way on every platform, so
// that a bad byte costs the same characters everywhere; only the table
// look-up of each character is the platform's.

#include "host/GbkText.h"

#include <algorithm>
#include <unordered_map>

#include "host/GbkCharacter.h"
#include "host/Utf8Sequence.h"

namespace q8 {

namespace {

constexpr unsigned char FIRST_LEAD = 0x81;
constexpr unsigned char LAST_LEAD = 0xFE;
// Trail bytes: 0x40-0x7E and 0x80-0xFE (0x7F is DEL).
constexpr unsigned char FIRST_TRAIL = 0x40;
constexpr unsigned char TRAIL_GAP = 0x7F;
constexpr unsigned char LAST_TRAIL = 0xFE;
// Windows maps the user-defined pairs here and iconv nowhere; no font shows
// them, so they read as undecodable on both.
constexpr char32_t FIRST_PRIVATE_USE = 0xE000;
constexpr char32_t LAST_PRIVATE_USE = 0xF8FF;
constexpr char32_t REPLACEMENT = 0xFFFD;
// What the encoders write for a character code page 936 lacks.
constexpr char REPLACEMENT_BYTE = '?';

// UTF-8: the largest code point of 1, 2 and 3 bytes, the lead byte's marks,
// and the 6 bits each continuation byte carries.
constexpr char32_t LAST_ONE_BYTE = 0x7F;
constexpr char32_t LAST_TWO_BYTES = 0x7FF;
constexpr char32_t LAST_THREE_BYTES = 0xFFFF;
constexpr unsigned char TWO_BYTE_LEAD = 0xC0;
constexpr unsigned char THREE_BYTE_LEAD = 0xE0;
constexpr unsigned char FOUR_BYTE_LEAD = 0xF0;
constexpr unsigned char CONTINUATION = 0x80;
constexpr int CONTINUATION_BITS = 6;
constexpr char32_t CONTINUATION_MASK = 0x3F;

bool IsLead(unsigned char byte) {
    return byte >= FIRST_LEAD && byte <= LAST_LEAD;
}

bool IsTrail(unsigned char byte) {
    return byte >= FIRST_TRAIL && byte <= LAST_TRAIL && byte != TRAIL_GAP;
}

void AppendUtf8(char32_t codePoint, std::string& out) {
    if (codePoint <= LAST_ONE_BYTE) {
        out += static_cast<char>(codePoint);
        return;
    }
    const int more = codePoint <= LAST_TWO_BYTES ? 1 : codePoint <= LAST_THREE_BYTES ? 2 : 3;
    const unsigned char lead = more == 1   ? TWO_BYTE_LEAD
                               : more == 2 ? THREE_BYTE_LEAD
                                           : FOUR_BYTE_LEAD;
    out += static_cast<char>(lead | (codePoint >> (more * CONTINUATION_BITS)));
    for (int i = more - 1; i >= 0; --i) {
        out += static_cast<char>(CONTINUATION |
                                 ((codePoint >> (i * CONTINUATION_BITS)) & CONTINUATION_MASK));
    }
}

// The character of `count` bytes at `bytes`, or U+FFFD.
char32_t Decode(const char* bytes, size_t count) {
    char32_t codePoint = REPLACEMENT;
    if (!DecodeGbkCharacter(bytes, count, codePoint) ||
        (codePoint >= FIRST_PRIVATE_USE && codePoint <= LAST_PRIVATE_USE)) {
        return REPLACEMENT;
    }
    return codePoint;
}

// The code point of the UTF-8 character of `length` bytes at `bytes`; false
// for a bad one (a stray or missing continuation, an overlong form).
bool DecodeUtf8(const unsigned char* bytes, size_t length, char32_t& codePoint) {
    constexpr char32_t SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};
    constexpr unsigned char LEAD_BITS[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    if (length == 1) {
        codePoint = bytes[0];
        return codePoint <= LAST_ONE_BYTE;
    }
    codePoint = bytes[0] & LEAD_BITS[length];
    for (size_t i = 1; i < length; ++i) {
        if ((bytes[i] & ~CONTINUATION_MASK) != CONTINUATION) {
            return false;
        }
        codePoint = (codePoint << CONTINUATION_BITS) | (bytes[i] & CONTINUATION_MASK);
    }
    return codePoint >= SMALLEST[length];
}

// Every character the decoder knows, by code point; where two byte forms
// read as the same character the first one in byte order is written.
const std::unordered_map<char32_t, std::string>& EncodingTable() {
    static const std::unordered_map<char32_t, std::string> table = [] {
        std::unordered_map<char32_t, std::string> built;
        for (unsigned byte = 0; byte < FIRST_LEAD; ++byte) {
            const std::string one(1, static_cast<char>(byte));
            built.emplace(Decode(one.data(), 1), one);
        }
        for (unsigned lead = FIRST_LEAD; lead <= LAST_LEAD; ++lead) {
            for (unsigned trail = FIRST_TRAIL; trail <= LAST_TRAIL; ++trail) {
                if (trail != TRAIL_GAP) {
                    const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
                    built.emplace(Decode(pair.data(), 2), pair);
                }
            }
        }
        built.erase(REPLACEMENT);  // what the decoder gives for no character
        return built;
    }();
    return table;
}

}  // namespace

std::string Utf8ToGbkByTable(const std::string& utf8) {
    const auto& table = EncodingTable();
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    std::string out;
    size_t at = 0;
    while (at < utf8.size()) {
        // A bad sequence is skipped as far as its lead byte reaches, as the
        // system encoders skip it.
        const size_t length = Utf8SequenceLength(bytes[at]);
        char32_t codePoint = 0;
        auto found = table.end();
        if (at + length <= utf8.size() && DecodeUtf8(bytes + at, length, codePoint)) {
            found = table.find(codePoint);
        }
        out += found != table.end() ? found->second : std::string(1, REPLACEMENT_BYTE);
        at += std::min(length, utf8.size() - at);
    }
    return out;
}

std::string GbkToUtf8(const std::string& gbk) {
    std::string out;
    size_t at = 0;
    while (at < gbk.size()) {
        const auto byte = static_cast<unsigned char>(gbk[at]);
        if (!IsLead(byte)) {
            AppendUtf8(Decode(gbk.data() + at, 1), out);
            ++at;
        } else if (at + 1 < gbk.size() && IsTrail(static_cast<unsigned char>(gbk[at + 1]))) {
            AppendUtf8(Decode(gbk.data() + at, 2), out);
            at += 2;
        } else {
            // A lead byte without its trail: the next byte is read afresh.
            AppendUtf8(REPLACEMENT, out);
            ++at;
        }
    }
    return out;
}

}  // namespace q8
