#pragma once
// How long bytes take on the real line: 115200 bit/s, 10 bits a byte (8N1
// with its start and stop bits), about 86.8 us a byte.
// Thread: any; pure.

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "link/SerialLink.h"

namespace q8sim {

inline constexpr uint64_t LINE_BITS_PER_BYTE = 10;
inline constexpr uint64_t NANOSECONDS_PER_SECOND = 1000000000;

inline std::chrono::nanoseconds LineTime(size_t bytes) {
    return std::chrono::nanoseconds(bytes * LINE_BITS_PER_BYTE * NANOSECONDS_PER_SECOND /
                                    q8::LINK_BIT_RATE);
}

}  // namespace q8sim
