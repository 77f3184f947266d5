#include "WebLine.h"

#include <emscripten.h>

#include "link/SerialLink.h"
#include "link/Tick.h"

// JavaScript, not C++: clang-format would break its operators.
// clang-format off
// Module.host is the page's (or a test's) side, handed in when the module is
// made: `line` is a Line from web/line.js.

// Up to `count` bytes into `buffer`: as soon as all are queued, else what
// came within `waitMs`; -1 once the port is gone (or none is open) and
// nothing is left.
EM_ASYNC_JS(int, JsReadSome, (uint8_t * buffer, uint32_t count, uint32_t waitMs), {
    const bytes = await Module.host.line.readSome(count, waitMs);
    if (bytes === null) {
        return -1;
    }
    HEAPU8.set(bytes, buffer);
    return bytes.length;
});

// Hands the frame to the port's writer and waits until it is taken, at most
// `budgetMs`; a failed write is not reported, as on the link.
EM_ASYNC_JS(void, JsWrite, (const uint8_t* frame, uint32_t length, uint32_t budgetMs),
            { await Module.host.line.write(HEAPU8.slice(frame, frame + length), budgetMs); });

EM_JS(void, JsPurge, (), { Module.host.line.purge(); });

EM_JS(uint32_t, JsTickMs, (), { return Math.floor(performance.now()) >>> 0; });

EM_ASYNC_JS(void, JsSleep, (uint32_t ms),
            { await new Promise((resolve) => setTimeout(resolve, ms)); });

// clang-format on

namespace q8web {

uint32_t WebClock::TickMs() {
    return JsTickMs();
}

void WebClock::Sleep(std::chrono::milliseconds pause) {
    JsSleep(static_cast<uint32_t>(pause.count()));
}

void WebPort::Write(const uint8_t* frame, uint32_t length) {
    JsWrite(frame, length, q8::LINK_WRITE_TIMEOUT_MS + q8::LINK_WRITE_MS_PER_BYTE * length);
}

// The serial link's read loop, with the queue's wait in place of the system's.
q8::ReadResult WebPort::Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                             std::chrono::milliseconds deadline) {
    const uint32_t end = clock_.TickMs() + static_cast<uint32_t>(deadline.count());
    received = 0;
    for (;;) {
        const int got = JsReadSome(buffer + received, count - received, q8::LINK_READ_WAIT_END_MS);
        if (got < 0) {
            return q8::ReadResult::PortError;
        }
        received += static_cast<uint32_t>(got);
        if (received == count) {
            return q8::ReadResult::Ok;
        }
        if (q8::TickPassed(clock_.TickMs(), end)) {
            return q8::ReadResult::Timeout;
        }
    }
}

void WebPort::Purge() {
    JsPurge();
}

}  // namespace q8web
