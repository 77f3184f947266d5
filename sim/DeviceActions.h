#pragma once
// What the device does about one host frame: writes and pauses, in order.
// Thread: plain data, no locking.

#include <cstdint>
#include <utility>
#include <vector>

namespace q8sim {

struct Action {
    enum class Kind { Write, Pause };
    Kind kind = Kind::Write;
    std::vector<uint8_t> bytes;  // Write only
    uint32_t ms = 0;             // Pause only

    static Action Write(std::vector<uint8_t> data) {
        Action action;
        action.bytes = std::move(data);
        return action;
    }
    static Action Pause(uint32_t milliseconds) {
        Action action;
        action.kind = Kind::Pause;
        action.ms = milliseconds;
        return action;
    }
};

// One complete host frame, or one byte that starts no known frame and was
// dropped, with the device's answer to it.
struct Exchange {
    std::vector<uint8_t> frame;
    bool dropped = false;
    std::vector<Action> actions;
};

}  // namespace q8sim
