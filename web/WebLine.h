#pragma once
// The page's line to the device and its clock. The bytes come from the page's
// serial port through a queue in JavaScript (web/line.js); a read awaits that
// queue, and a pause awaits a timer, so the browser's event loop runs (the
// port's reader, the progress bar, Cancel) while the core's code stays
// synchronous. Needs a build with -sASYNCIFY.
//
// Thread: the page's one thread.

#include "protocol/Clock.h"
#include "protocol/Port.h"

namespace q8web {

// performance.now() as a wrapping 32-bit tick; pauses on setTimeout.
class WebClock final : public q8::Clock {
  public:
    uint32_t TickMs() override;
    void Sleep(std::chrono::milliseconds pause) override;
};

// The JavaScript queue behind the page's serial port. A read ends as the
// serial link's does: each wait for the missing bytes lasts up to the link's
// low-level wait, and the deadline is looked at only after it, so a reply
// that completes inside that last wait still counts.
class WebPort final : public q8::Port {
  public:
    explicit WebPort(q8::Clock& clock) : clock_(clock) {}
    void Write(const uint8_t* frame, uint32_t length) override;
    q8::ReadResult Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                        std::chrono::milliseconds deadline) override;
    void Purge() override;

  private:
    q8::Clock& clock_;
};

}  // namespace q8web
