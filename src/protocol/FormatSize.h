#pragma once
// Byte counts as the lists and space texts show them: "%d*8bits" below 1024,
// "%.2f*8Kbits" below 1048576, "%.2f*8Mbits" from there on. The number counts
// bytes; the unit names bits (the hint line explains it). Thread: any.

#include <cstdint>
#include <string>

namespace q8 {

std::string FormatSize(int32_t bytes);
// The same for sizes that may pass 2 GiB (host files); FormatSize(int32_t)
// equals it for every value from 0 up.
std::string FormatSize64(uint64_t bytes);

}  // namespace q8
