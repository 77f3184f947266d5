#pragma once
// Byte counts as the lists and space texts show them: "%d*8bits" below 1024,
// "%.2f*8Kbits" below 1048576, "%.2f*8Mbits" from there on. The number counts
// bytes; the unit names bits (the hint line explains it). Thread: any.

#include <cstdint>
#include <string>

namespace q8 {

// The device's 32-bit unsigned figures: card space and directory sizes.
std::string FormatSize(uint32_t bytes);
// The same for sizes that may pass 4 GiB (host files); FormatSize equals it
// for every 32-bit value.
std::string FormatSize64(uint64_t bytes);

}  // namespace q8
