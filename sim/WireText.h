#pragma once
// One wire record as a line of text for q8sim's --log.
// Thread: any; pure.

#include <string>

#include "WireRecorder.h"

namespace q8sim {

// Bytes shown before a long frame is cut short with its length.
inline constexpr size_t WIRE_TEXT_MAX_BYTES = 24;

// "12345 host> 80 01 (hello)", "12346 dev<  a0 01", "12347 host> 7f (dropped)".
std::string WireText(const WireRecord& record);

}  // namespace q8sim
