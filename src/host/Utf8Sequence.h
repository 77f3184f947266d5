#pragma once
// How far one UTF-8 character reaches, for converters that step over a bad
// one: both text backends skip the same bytes, so both platforms give the
// same text for the same input. Thread: any.

#include <cstddef>

namespace q8 {

// Length of the UTF-8 sequence that starts with `lead`; 1 for a stray byte,
// so that one bad byte is skipped at a time.
inline size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    if (lead >= 0xC2) {
        return 2;
    }
    return 1;
}

}  // namespace q8
