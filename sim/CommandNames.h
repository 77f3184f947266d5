#pragma once
// Short names of the command codes and fault kinds, as q8sim's options and
// its log spell them.
// Thread: any; pure.

#include <cstdint>
#include <string>

#include "SimConfig.h"

namespace q8sim {

// "download-block" for CMD_DOWNLOAD_BLOCK, nullptr for a code we do not know.
const char* CommandName(uint8_t command);

// A command by name or by number ("download-block", "0x88", "136"). False for
// anything that is not one of the device's commands.
bool ParseCommand(const std::string& text, uint8_t& command);

bool ParseFaultKind(const std::string& text, FaultKind& kind);

}  // namespace q8sim
