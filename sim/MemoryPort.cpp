#include "MemoryPort.h"

#include <algorithm>
#include <limits>

#include "link/SerialLink.h"

namespace q8sim {

void MemoryPort::Write(const uint8_t* frame, uint32_t length) {
    if (observer_) {
        observer_(frame, length);
    }
    if (broken_) {
        return;  // the frame never reaches the device
    }
    uint64_t atMs = std::max(clock_.NowMs(), deviceBusyUntilMs_);
    for (const Action& action : answerer_(frame, length)) {
        if (action.kind == Action::Kind::Pause) {
            atMs += action.ms;
            continue;
        }
        for (const uint8_t value : action.bytes) {
            queue_.push_back({atMs, value});
        }
    }
    deviceBusyUntilMs_ = atMs;
}

uint64_t MemoryPort::ArrivalOf(uint32_t n) const {
    if (n == 0) {
        return 0;
    }
    return n <= queue_.size() ? queue_[n - 1].atMs : std::numeric_limits<uint64_t>::max();
}

uint32_t MemoryPort::Take(uint8_t* buffer, uint32_t count) {
    const uint64_t now = clock_.NowMs();
    uint32_t taken = 0;
    while (taken < count && !queue_.empty() && queue_.front().atMs <= now) {
        buffer[taken++] = queue_.front().value;
        queue_.pop_front();
    }
    return taken;
}

q8::ReadResult MemoryPort::Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                                std::chrono::milliseconds deadline) {
    received = 0;
    if (broken_) {
        return q8::ReadResult::PortError;
    }
    const uint64_t deadlineMs = clock_.NowMs() + static_cast<uint64_t>(deadline.count());
    for (;;) {
        // One low-level wait: until every byte still wanted is here, or over.
        const uint64_t waitEndMs = clock_.NowMs() + q8::LINK_READ_WAIT_END_MS;
        clock_.AdvanceTo(std::min(ArrivalOf(count - received), waitEndMs));
        received += Take(buffer + received, count - received);
        if (received == count) {
            return q8::ReadResult::Ok;
        }
        if (clock_.NowMs() > deadlineMs) {
            return q8::ReadResult::Timeout;
        }
    }
}

void MemoryPort::Purge() {
    const uint64_t now = clock_.NowMs();
    while (!queue_.empty() && queue_.front().atMs <= now) {
        queue_.pop_front();
    }
}

MemoryPort::Answerer AnswerWith(DeviceModel& model) {
    return [&model](const uint8_t* frame, uint32_t length) {
        std::vector<Action> actions;
        for (Exchange& exchange : model.Feed(frame, length)) {
            for (Action& action : exchange.actions) {
                actions.push_back(std::move(action));
            }
        }
        return actions;
    };
}

}  // namespace q8sim
