#include "WireText.h"

#include <algorithm>
#include <cstdio>

#include "CommandNames.h"

namespace q8sim {

std::string WireText(const WireRecord& record) {
    std::string text = std::to_string(record.atMs);
    text += record.direction == WireRecord::HostToDevice ? " host>" : " dev< ";
    const size_t shown = std::min(record.bytes.size(), WIRE_TEXT_MAX_BYTES);
    for (size_t i = 0; i < shown; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", record.bytes[i]);
        text += hex;
    }
    if (shown < record.bytes.size()) {
        text += " ... " + std::to_string(record.bytes.size()) + " bytes";
    }
    if (record.dropped) {
        text += " (dropped)";
    } else if (record.direction == WireRecord::HostToDevice && !record.bytes.empty()) {
        const char* name = CommandName(record.bytes[0]);
        if (name != nullptr) {
            text += std::string(" (") + name + ")";
        }
    }
    return text;
}

}  // namespace q8sim
