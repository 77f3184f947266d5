#pragma once
// Judging the host's log after (or during) an operation. A failed check
// prints what failed and the end of the log, then aborts, which libFuzzer
// reports as a crash with the input that caused it.

#include <cstdint>
#include <string>
#include <vector>

#include "Recorder.h"

namespace q8fuzz {

[[noreturn]] void OracleFailed(const std::string& what, const std::vector<Event>& log);

inline void Require(bool holds, const std::string& what, const std::vector<Event>& log) {
    if (!holds) {
        OracleFailed(what, log);
    }
}

// The log as frames with the reads that followed each, and the transfers'
// start and end marks. Sleeps and purges are left out.
struct Item {
    enum class Kind { Frame, Start, End };
    Kind kind = Kind::Frame;
    const Event* event = nullptr;  // the frame, or the mark
    std::vector<const Event*> reads;
    uint8_t Code() const { return event->bytes.empty() ? 0 : event->bytes[0]; }
};
std::vector<Item> Items(const std::vector<Event>& log);

// Empty when every read that followed the frame is complete and is what a
// device that accepted the frame sends (right code, success status, all of
// its data); else what was wrong.
std::string ReplyProblem(const Item& frame);

// What a successful refresh read.
struct RefreshSeen {
    int files = 0;
    uint32_t totalBytes = 0;
    uint32_t freeBytes = 0;
};
// Items [first, end) must be a refresh that succeeded: hello, card info, and
// directory entries up to an end marker or the thirteenth, every reply a
// success.
RefreshSeen CheckRefreshSucceeded(const std::vector<Item>& items, size_t first, size_t end,
                                  const std::vector<Event>& log);

// Every read lasts at most its deadline plus one low-level wait, and the whole
// operation at most the sum of those and of the pauses the host took.
void CheckTiming(const std::vector<Event>& log, uint64_t elapsedMs);

// What an upload may have written so far: the blocks the host read, cut at
// the size it read from the begin reply (nothing before that size came).
std::vector<uint8_t> UploadedBytes(const std::vector<Event>& log);

}  // namespace q8fuzz
