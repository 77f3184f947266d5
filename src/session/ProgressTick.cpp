#include "session/ProgressTick.h"

#include <cstdio>

#include "session/Texts.h"

namespace q8 {

ProgressResult ResultOfOutcome(TransferOutcome outcome) {
    switch (outcome) {
        case TransferOutcome::Done:
            return ProgressResult::Done;
        case TransferOutcome::Failed:
            return ProgressResult::Failed;
        default:
            return ProgressResult::Refused;
    }
}

int ProgressPercent(uint32_t done, uint32_t total) {
    if (total == 0) {
        return 100;
    }
    const uint64_t percent = static_cast<uint64_t>(done) * 100 / total;
    return percent > 100 ? 100 : static_cast<int>(percent);
}

std::string FormatRemaining(uint32_t done, uint32_t total, uint32_t startTick, uint32_t nowTick) {
    if (done == 0) {
        return {};
    }
    const uint32_t elapsed = nowTick - startTick;  // unsigned: right across a wrap
    if (elapsed == 0) {
        return {};
    }
    const uint32_t rate = done / elapsed;
    if (rate == 0) {
        return {};
    }
    int32_t remaining = static_cast<int32_t>(total - done);
    if (remaining < 0) {
        remaining = 0;
    }
    const uint32_t ms = static_cast<uint32_t>(remaining) / rate;
    const uint32_t minutes = ms / 60000;
    const uint32_t seconds = ms / 1000 - minutes * 60;
    char text[64];
    std::snprintf(text, sizeof text, TXT_REMAINING, static_cast<int>(minutes),
                  static_cast<int>(seconds));
    return text;
}

ProgressTick ReadProgress(const TransferState& state, uint32_t nowTick) {
    ProgressTick tick;
    const TransferOutcome outcome = state.Outcome();
    if (outcome != TransferOutcome::Running) {
        tick.ended = true;
        tick.result = ResultOfOutcome(outcome);
        return tick;
    }
    if (state.Done() <= PROGRESS_GATE_BYTES) {
        return tick;
    }
    tick.draw = true;
    tick.percent = ProgressPercent(state.Done(), state.Total());
    tick.remaining = FormatRemaining(state.Done(), state.Total(), state.StartTick(), nowTick);
    return tick;
}

}  // namespace q8
