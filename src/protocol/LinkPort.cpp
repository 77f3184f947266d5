#include "protocol/LinkPort.h"

namespace q8 {

// The port's results are the link's own values.
static_assert(static_cast<uint32_t>(ReadResult::Ok) == READ_OK);
static_assert(static_cast<uint32_t>(ReadResult::PortError) == READ_PORT_ERROR);
static_assert(static_cast<uint32_t>(ReadResult::Timeout) == READ_TIMEOUT);

void LinkPort::Write(const uint8_t* frame, uint32_t length) {
    (void)link_.Write(frame, length);
}

ReadResult LinkPort::Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                          std::chrono::milliseconds deadline) {
    return static_cast<ReadResult>(
        link_.Read(buffer, count, received, static_cast<uint32_t>(deadline.count())));
}

void LinkPort::Purge() {
    link_.Purge();
}

}  // namespace q8
