#include "session/FormatSize.h"

#include <cmath>
#include <cstdio>

namespace q8 {

namespace {
constexpr uint64_t KILO = 1024;
constexpr uint64_t MEGA = 1024 * 1024;
}  // namespace

std::string FormatSize(uint32_t bytes) {
    return FormatSize64(bytes);
}

std::string FormatSize64(uint64_t bytes) {
    char text[48];
    if (bytes < KILO) {
        std::snprintf(text, sizeof text, "%d*8bits", static_cast<int>(bytes));
    } else if (bytes < MEGA) {
        // Scaling by a power of two is exact, so "%.2f" rounds the true value.
        std::snprintf(text, sizeof text, "%.2f*8Kbits",
                      std::ldexp(static_cast<double>(bytes), -10));
    } else {
        std::snprintf(text, sizeof text, "%.2f*8Mbits",
                      std::ldexp(static_cast<double>(bytes), -20));
    }
    return text;
}

}  // namespace q8
