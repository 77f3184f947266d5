#pragma once
// Short names of the device's commands ("download-block"), as the wire trace
// and the simulator's options and log spell them. Thread: any; pure.

#include <cstdint>

namespace q8 {

// The name of a command code, nullptr for a code the device does not know.
const char* CommandName(uint8_t command);

// The name of the command a reply code answers, nullptr for none.
const char* ReplyName(uint8_t reply);

}  // namespace q8
