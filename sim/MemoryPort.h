#pragma once
// A line to a device that lives in memory, on a virtual clock. Each frame the
// host writes goes to an answerer at the clock's present time; the writes and
// pauses it answers with are laid out on the clock from then on (after
// whatever the device was still doing). A read takes the bytes whose time has
// come and waits the way the serial link does: one low-level wait of up to
// 400 ms (ending strictly after it) at a time, the deadline looked at after
// each, so a reply complete by the end of the wait in which the deadline
// passes still counts. Waiting only moves the clock: no test sleeps.
//
// Thread: one at a time, as the serial link.

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "DeviceActions.h"
#include "DeviceModel.h"
#include "VirtualClock.h"
#include "protocol/Port.h"

namespace q8sim {

class MemoryPort final : public q8::Port {
  public:
    using Answerer = std::function<std::vector<Action>(const uint8_t* frame, uint32_t length)>;
    // Sees each frame as it is written, before the device answers it.
    using WriteObserver = std::function<void(const uint8_t* frame, uint32_t length)>;

    MemoryPort(VirtualClock& clock, Answerer answerer)
        : clock_(clock), answerer_(std::move(answerer)) {}

    void Write(const uint8_t* frame, uint32_t length) override;
    q8::ReadResult Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                        std::chrono::milliseconds deadline) override;
    void Purge() override;

    // A broken port (an adapter pulled out): frames are lost and every read
    // fails at once.
    void SetBroken(bool broken) { broken_ = broken; }
    void SetWriteObserver(WriteObserver observer) { observer_ = std::move(observer); }

    // Bytes the device has sent or will send that no read has taken yet.
    size_t QueuedBytes() const { return queue_.size(); }
    // When the device is done with everything it was given.
    uint64_t DeviceIdleAtMs() const { return deviceBusyUntilMs_; }

  private:
    struct TimedByte {
        uint64_t atMs;
        uint8_t value;
    };
    // When the `n`-th queued byte arrives; UINT64_MAX when fewer are queued.
    uint64_t ArrivalOf(uint32_t n) const;
    // Moves bytes that have arrived by now into `buffer`, at most `count`.
    uint32_t Take(uint8_t* buffer, uint32_t count);

    VirtualClock& clock_;
    Answerer answerer_;
    WriteObserver observer_;
    std::deque<TimedByte> queue_;  // in arrival order
    uint64_t deviceBusyUntilMs_ = 0;
    bool broken_ = false;
};

// The simulated device as an answerer: frames go into `model`, its writes and
// pauses come back.
MemoryPort::Answerer AnswerWith(DeviceModel& model);

}  // namespace q8sim
