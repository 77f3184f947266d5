#include "protocol/WireTrace.h"

#include <cerrno>

#include "link/SerialLink.h"
#include "link/Tick.h"
#include "protocol/CommandNames.h"
#include "protocol/Frames.h"

namespace q8 {

namespace {

constexpr char SENT = '>';
constexpr char RECEIVED = '<';
constexpr const char* UNKNOWN_NAME = "?";
// A read of data that follows a reply header (sizes, blocks, entries).
constexpr const char* DATA_NAME = "data";

// errno after a failed call; EIO when the C library left it unset.
int LastError() {
    return errno != 0 ? errno : EIO;
}

}  // namespace

WireTrace::~WireTrace() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool WireTrace::Open(const std::string& path) {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    errno = 0;
    file_ = OpenFile(path);
    error_ = file_ == nullptr ? LastError() : 0;
    startMs_ = TickMs();
    return file_ != nullptr;
}

void WireTrace::Sent(const uint8_t* frame, uint32_t length) {
    const char* name = length > 0 ? CommandName(frame[0]) : nullptr;
    Line(SENT, name != nullptr ? name : UNKNOWN_NAME, frame, length, std::string());
}

void WireTrace::Received(const uint8_t* bytes, uint32_t count, uint32_t received, ReadResult result,
                         std::chrono::milliseconds deadline) {
    // A 2-byte read is a reply header; longer ones carry data.
    const char* name = DATA_NAME;
    if (count == REPLY_HEADER_LENGTH) {
        const char* reply = received > 0 ? ReplyName(bytes[0]) : nullptr;
        name = reply != nullptr ? reply : UNKNOWN_NAME;
    }
    std::string note;
    if (result == ReadResult::Timeout) {
        note = "deadline " + std::to_string(deadline.count()) + " ms passed with " +
               std::to_string(received) + " of " + std::to_string(count) + " bytes";
    } else if (result != ReadResult::Ok) {
        note = "port error after " + std::to_string(received) + " of " + std::to_string(count) +
               " bytes";
    }
    Line(RECEIVED, name, bytes, received, note);
}

void WireTrace::Line(char direction, const char* name, const uint8_t* bytes, uint32_t length,
                     const std::string& note) {
    if (file_ == nullptr || error_ != 0) {
        return;
    }
    errno = 0;
    std::fprintf(file_, "%8u %c %-14s %4u ", TickMs() - startMs_, direction, name, length);
    for (uint32_t i = 0; i < length; ++i) {
        std::fprintf(file_, " %02X", bytes[i]);
    }
    if (!note.empty()) {
        std::fprintf(file_, "  ! %s", note.c_str());
    }
    std::fputc('\n', file_);
    if (std::fflush(file_) != 0 || std::ferror(file_)) {
        error_ = LastError();
    }
}

}  // namespace q8
