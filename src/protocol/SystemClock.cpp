#include "link/Tick.h"
#include "protocol/Clock.h"

namespace q8 {

namespace {

class TickClock final : public Clock {
  public:
    uint32_t TickMs() override { return q8::TickMs(); }
    void Sleep(std::chrono::milliseconds pause) override {
        SleepMs(static_cast<uint32_t>(pause.count()));
    }
};

}  // namespace

Clock& SystemClock() {
    static TickClock clock;
    return clock;
}

}  // namespace q8
