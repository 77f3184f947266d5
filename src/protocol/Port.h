#pragma once
// The line to the device as the protocol uses it: write a frame, read an
// exact byte count against a deadline, drop what is queued. The product's
// port is the serial link (LinkPort); tests and fuzzers put a device in
// memory behind it, on a clock of their own.
//
// Thread: one at a time, as the link: the window's or a transfer worker's.

#include <chrono>
#include <cstdint>

namespace q8 {

// How a read ended; the values are the link's.
enum class ReadResult : uint32_t {
    Ok = 0,         // every byte asked for arrived
    PortError = 1,  // the port failed (or none is open)
    Timeout = 2,    // the deadline passed first
};

class Port {
  public:
    virtual ~Port() = default;

    // Drops unsent output and writes `length` bytes. Whether it worked is not
    // asked: a frame that did not go out shows as the missing reply.
    virtual void Write(const uint8_t* frame, uint32_t length) = 0;

    // Reads exactly `count` bytes into `buffer`. `received` always holds the
    // number stored so far. One low-level wait lasts up to 400 ms, so a read
    // ends at the latest about 400 ms after its deadline; a reply that is
    // complete by then counts.
    virtual ReadResult Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                            std::chrono::milliseconds deadline) = 0;

    // Drops both queues.
    virtual void Purge() = 0;
};

}  // namespace q8
