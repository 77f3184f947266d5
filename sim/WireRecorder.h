#pragma once
// Everything that crossed the simulated line: each complete host frame (or
// dropped byte) and each piece of reply, with the time it happened.
// Thread: any; every member locks.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace q8sim {

struct WireRecord {
    enum Direction { HostToDevice, DeviceToHost };
    Direction direction = HostToDevice;
    std::vector<uint8_t> bytes;
    uint64_t atMs = 0;     // steady clock; the same clock in every process
    bool dropped = false;  // a host byte that started no known frame
};

// Milliseconds of the steady clock, the time base of WireRecord::atMs.
uint64_t SteadyMs();

class WireRecorder {
  public:
    using Observer = std::function<void(const WireRecord&)>;

    // Called for each new record, on the thread that adds it, outside the lock.
    void SetObserver(Observer observer);
    // When off, records only reach the observer.
    void SetKeep(bool keep);
    void Add(WireRecord record);
    std::vector<WireRecord> Records() const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<WireRecord> records_;
    Observer observer_;
    bool keep_ = true;
};

}  // namespace q8sim
