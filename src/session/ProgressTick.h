#pragma once
// What the progress window shows, worked out from TransferState on each of
// its 500 ms ticks. The window and the CLI's progress line share it.
// Thread: any; pure: the caller reads the tick on the transfer's clock.

#include <cstdint>
#include <string>

#include "session/TransferState.h"

namespace q8 {

// How a progress window run ended.
enum class ProgressResult : int {
    Done = 1,
    Cancelled = 2,  // Cancel, Escape or the close box
    Failed = 3,     // outcome Failed, or ended by the upload worker
    Refused = 5,    // any other outcome
};

inline constexpr uint32_t PROGRESS_TICK_MS = 500;
// Nothing is drawn until more than this many bytes are done.
inline constexpr uint32_t PROGRESS_GATE_BYTES = 1024;

// Done -> Done, Failed -> Failed, any other ending outcome -> Refused.
ProgressResult ResultOfOutcome(TransferOutcome outcome);

// floor(done * 100 / total), exact for all 32-bit values, at most 100. A total
// of 0 counts as complete.
int ProgressPercent(uint32_t done, uint32_t total);

// "剩余时间：%d分%d秒" from the average rate in whole bytes per millisecond
// since `startTick`; empty when nothing is done or the rate is 0 (also when no
// time has passed). Minutes are not folded into hours. Both ticks come from
// the transfer's own clock.
std::string FormatRemaining(uint32_t done, uint32_t total, uint32_t startTick, uint32_t nowTick);

// One tick of the progress window.
struct ProgressTick {
    bool ended = false;  // an outcome is set: end with `result`, draw nothing
    ProgressResult result = ProgressResult::Refused;
    bool draw = false;  // past the gate: show `percent` and `remaining`
    int percent = 0;
    std::string remaining;  // may be empty, which clears the line
};

ProgressTick ReadProgress(const TransferState& state, uint32_t nowTick);

}  // namespace q8
