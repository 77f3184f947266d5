#pragma once
// A clock that only moves when told to: a pause moves it on at once, and a
// read on the memory port moves it to the moment its bytes arrive or its
// wait is over. Starts wherever the test likes, near the 32-bit wrap too.
//
// Thread: any; the time is one atomic value that never goes back.

#include <atomic>
#include <chrono>
#include <cstdint>

#include "protocol/Clock.h"

namespace q8sim {

class VirtualClock final : public q8::Clock {
  public:
    explicit VirtualClock(uint64_t startMs = 0) : nowMs_(startMs) {}

    uint32_t TickMs() override { return static_cast<uint32_t>(NowMs()); }
    void Sleep(std::chrono::milliseconds pause) override {
        nowMs_.fetch_add(static_cast<uint64_t>(pause.count()), std::memory_order_acq_rel);
    }

    uint64_t NowMs() const { return nowMs_.load(std::memory_order_acquire); }
    // Moves the clock to `ms` unless it is already past it.
    void AdvanceTo(uint64_t ms) {
        uint64_t now = NowMs();
        while (now < ms && !nowMs_.compare_exchange_weak(now, ms, std::memory_order_acq_rel)) {
        }
    }

  private:
    std::atomic<uint64_t> nowMs_;
};

}  // namespace q8sim
