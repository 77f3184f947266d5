#pragma once
// Turns the reply the device means to send into writes and pauses, bent by
// whatever reply faults hit this frame.
// Thread: any; pure.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DeviceActions.h"
#include "SimConfig.h"

namespace q8sim {

struct Reply {
    std::vector<uint8_t> bytes;  // empty: the command has no reply
    size_t dataOffset = 0;       // where the data part starts; 0 = none
    uint32_t delayMs = 0;        // the device's own work time before replying
};

// Status and Corrupt faults are the model's business and are ignored here.
std::vector<Action> ShapeReply(const Reply& reply, const std::vector<Fault>& faults);

}  // namespace q8sim
