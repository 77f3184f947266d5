// The system tick wraps after 49.7 days; TickPassed copes with that.

#include "link/Tick.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace q8 {

uint32_t TickMs() {
    return static_cast<uint32_t>(GetTickCount());
}

void SleepMs(uint32_t ms) {
    Sleep(static_cast<DWORD>(ms));
}

}  // namespace q8
