#pragma once
// Where the protocol takes its time from: the tick a transfer's start is
// stamped with, and the pauses between a frame and its reply. The product
// uses the system's; tests use a virtual one that jumps over the pauses.
//
// Thread: any.

#include <chrono>
#include <cstdint>

namespace q8 {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds, 32 bits, wrapping like a system tick.
    virtual uint32_t TickMs() = 0;
    virtual void Sleep(std::chrono::milliseconds pause) = 0;
};

// The system's tick counter and sleep; one for the whole process.
Clock& SystemClock();

}  // namespace q8
