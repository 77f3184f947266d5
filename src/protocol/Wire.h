#pragma once
// The port with the one pair of frame buffers and the clock the exchanges
// take their pauses from: every frame goes out and every reply comes in here.
//
// Thread: one at a time, as the port: the window thread (or the CLI's main
// thread), or a transfer worker while its progress window is up.

#include <cstdint>

#include "protocol/Clock.h"
#include "protocol/Frames.h"
#include "protocol/Port.h"
#include "protocol/WireTrace.h"

namespace q8 {

// How a reply header read by ReceiveReply turned out; its status is reply[1].
enum class ReplyCheck {
    Ok,         // both bytes came and byte 0 is the command's reply code
    Missing,    // the read ended without both bytes (deadline or port error)
    WrongCode,  // both came, with another code
};

struct Wire {
    Port& port;
    Clock& clock;
    CommandBuffer command;
    ReplyBuffer reply;
    // Every frame and reply is written here while it is set.
    WireTrace* trace = nullptr;

    Wire(Port& p, Clock& c) : port(p), clock(c) {}

    // Writes the first `length` bytes of the command buffer. Callers never
    // look at the result: a frame that did not go out shows as a missing reply.
    void Send(uint32_t length);

    // The 2-byte frames: code and argument, nothing else of the buffer.
    void SendShort(uint8_t code, uint8_t argument);

    // Reads `count` bytes into the reply buffer from byte 0.
    ReadResult Receive(uint32_t count, milliseconds deadline);

    // Reads the 2-byte header that answers command `code`.
    ReplyCheck ReceiveReply(uint8_t code, milliseconds deadline);

    void Purge() { port.Purge(); }
    void Pause(milliseconds pause) { clock.Sleep(pause); }
};

}  // namespace q8
