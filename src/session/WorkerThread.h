#pragma once
// The thread a transfer runs on. The caller never touches the link, the frame
// buffers or the transfer's file until Ended() is true: a worker blocked in a
// long read can outlive the progress window by seconds.
// Thread: Start, Join and the destructor from the starting thread; Ended from
// any.

#include <atomic>
#include <thread>
#include <utility>

namespace q8 {

class WorkerThread {
  public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { Join(); }

    template <typename Work>
    void Start(Work&& work) {
        Join();
        ended_.store(false, std::memory_order_release);
        thread_ = std::thread([this, w = std::forward<Work>(work)]() mutable {
            w();
            ended_.store(true, std::memory_order_release);
        });
    }

    // True once the work has returned (or when nothing was started).
    bool Ended() const { return ended_.load(std::memory_order_acquire); }

    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    std::atomic<bool> ended_{true};
    std::thread thread_;
};

}  // namespace q8
