#pragma once
// The one record a running transfer shares with its progress window. Five
// 32-bit fields without a lock: the worker's stores are release and the
// readers' loads acquire, so a reader that sees `done` rise also sees the
// total and the start tick the worker wrote before it.
//
// Thread: the starting operation writes before the worker starts and then
// only clears keep-running; the worker writes done, total, start tick and the
// outcome; the progress window only reads.

#include <atomic>
#include <cstdint>

namespace q8 {

// How a transfer ended, as the worker's last act.
enum class TransferOutcome : uint32_t {
    Running = 0,  // also after Cancel
    Done = 1,
    Failed = 2,   // the worker has shown its message
    Refused = 3,  // before any block moved
};

class TransferState {
  public:
    // What the starting operation does before it starts a worker.
    void Reset() {
        SetDone(0);
        SetOutcome(TransferOutcome::Running);
        keepRunning_.store(1, std::memory_order_release);
    }
    void Cancel() { keepRunning_.store(0, std::memory_order_release); }
    bool KeepRunning() const { return keepRunning_.load(std::memory_order_acquire) != 0; }

    void SetDone(uint32_t bytes) { done_.store(bytes, std::memory_order_release); }
    void AddDone(uint32_t bytes) { SetDone(Done() + bytes); }  // single writer
    uint32_t Done() const { return done_.load(std::memory_order_acquire); }

    void SetTotal(uint32_t bytes) { total_.store(bytes, std::memory_order_release); }
    uint32_t Total() const { return total_.load(std::memory_order_acquire); }

    void SetStartTick(uint32_t tick) { startTick_.store(tick, std::memory_order_release); }
    uint32_t StartTick() const { return startTick_.load(std::memory_order_acquire); }

    void SetOutcome(TransferOutcome outcome) { outcome_.store(outcome, std::memory_order_release); }
    TransferOutcome Outcome() const { return outcome_.load(std::memory_order_acquire); }

  private:
    std::atomic<uint32_t> keepRunning_{0};
    std::atomic<uint32_t> done_{0};
    std::atomic<uint32_t> total_{0};
    std::atomic<uint32_t> startTick_{0};
    std::atomic<TransferOutcome> outcome_{TransferOutcome::Running};
};

}  // namespace q8
