// Ticks from the monotonic clock, so a change of the wall clock cannot end or
// stretch a wait.

#include "link/Tick.h"

#include <time.h>

#include <cerrno>

namespace q8 {

namespace {
constexpr uint64_t MS_PER_SECOND = 1000;
constexpr uint64_t NS_PER_MS = 1000000;
}  // namespace

uint32_t TickMs() {
    timespec now{};
    (void)clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * MS_PER_SECOND +
                        static_cast<uint64_t>(now.tv_nsec) / NS_PER_MS;
    return static_cast<uint32_t>(ms);
}

void SleepMs(uint32_t ms) {
    timespec left{};
    left.tv_sec = static_cast<time_t>(ms / MS_PER_SECOND);
    left.tv_nsec = static_cast<long>((ms % MS_PER_SECOND) * NS_PER_MS);
    // nanosleep leaves the unslept rest in `left` when a signal cuts it short.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace q8
