// Ticks from the performance counter, not GetTickCount: its 10–16 ms steps
// would let a deadline and a 400 ms wait fall on the same step, so a reply
// the POSIX build refuses as late would be taken here. The tick wraps after
// 49.7 days; TickPassed copes with that.

#include "link/Tick.h"

#include "link/Win32Text.h"

namespace q8 {

namespace {

constexpr int64_t MS_PER_SECOND = 1000;

int64_t CounterFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace

uint32_t TickMs() {
    static const int64_t frequency = CounterFrequency();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    // Whole seconds and the rest apart, so the product cannot overflow.
    const int64_t seconds = now.QuadPart / frequency;
    const int64_t rest = now.QuadPart % frequency;
    return static_cast<uint32_t>(seconds * MS_PER_SECOND + rest * MS_PER_SECOND / frequency);
}

void SleepMs(uint32_t ms) {
    Sleep(static_cast<DWORD>(ms));
}

}  // namespace q8
