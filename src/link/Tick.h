#pragma once
// The millisecond tick counter and sleep that deadlines and pauses use.
// Thread: any.

#include <cstdint>

namespace q8 {

// Milliseconds of a monotonic clock, 32 bits, wrapping like a system tick.
uint32_t TickMs();

void SleepMs(uint32_t ms);

// True when `now` lies strictly after `deadline`. The difference is taken as
// a signed 32-bit value so that a wrap of the tick counter between the two
// readings does not end a wait early.
inline bool TickPassed(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) > 0;
}

}  // namespace q8
