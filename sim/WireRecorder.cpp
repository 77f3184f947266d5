#include "WireRecorder.h"

#include <chrono>
#include <utility>

namespace q8sim {

uint64_t SteadyMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void WireRecorder::SetObserver(Observer observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void WireRecorder::SetKeep(bool keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    keep_ = keep;
}

void WireRecorder::Add(WireRecord record) {
    Observer observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (keep_) {
            records_.push_back(record);
        }
        observer = observer_;
    }
    if (observer) {
        observer(record);
    }
}

std::vector<WireRecord> WireRecorder::Records() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

void WireRecorder::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
}

}  // namespace q8sim
