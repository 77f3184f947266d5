#pragma once
// A record of every frame sent and every reply read, for a bug report: the
// milliseconds since the trace began, the direction, the command's name, the
// length and the bytes in hex, and every deadline that passed or port error
// that ended a read. Off unless a file is given: the wire then pays one test
// of a null pointer per frame.
//
// Thread: whichever uses the wire, one at a time (the window's or a
// worker's), as the wire itself.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "protocol/Port.h"

namespace q8 {

class WireTrace {
  public:
    WireTrace() = default;
    WireTrace(const WireTrace&) = delete;
    WireTrace& operator=(const WireTrace&) = delete;
    ~WireTrace();

    // Starts a new trace in `path` (UTF-8; replacing it). False when it
    // cannot be written; Error() then tells why.
    bool Open(const std::string& path);
    // The errno of the failed Open, or of the first write that failed (the
    // trace ends there); 0 while every line went out.
    int Error() const { return error_; }

    void Sent(const uint8_t* frame, uint32_t length);
    // One read of `count` bytes: what arrived, how the read ended and the
    // deadline it had.
    void Received(const uint8_t* bytes, uint32_t count, uint32_t received, ReadResult result,
                  std::chrono::milliseconds deadline);

  private:
    // The platform's fopen for a UTF-8 path; errno tells why it failed.
    static FILE* OpenFile(const std::string& path);
    void Line(char direction, const char* name, const uint8_t* bytes, uint32_t length,
              const std::string& note);

    FILE* file_ = nullptr;
    uint32_t startMs_ = 0;
    int error_ = 0;
};

}  // namespace q8
