// What the progress window draws from the transfer state.

#include <gtest/gtest.h>

#include "session/ProgressTick.h"

namespace {

using q8::FormatRemaining;
using q8::ProgressPercent;

TEST(ProgressPercent, ExactForEveryThirtyTwoBitValueAndCapped) {
    EXPECT_EQ(ProgressPercent(51200, 1048576), 4);
    // done * 100 no longer fits 32 bits past 42,949,672 bytes.
    EXPECT_EQ(ProgressPercent(50000000, 100000000), 50);
    EXPECT_EQ(ProgressPercent(4294967295u, 4294967295u), 100);
    EXPECT_EQ(ProgressPercent(4294967294u, 4294967295u), 99);
    EXPECT_EQ(ProgressPercent(1536, 1000), 100);  // the last block counts whole
    EXPECT_EQ(ProgressPercent(2048, 0), 100);
}

TEST(FormatRemaining, WorkedExampleAndItsEdges) {
    // 100 blocks after 8000 ms of a 1 MiB file: 6 bytes/ms, 166 s left.
    EXPECT_EQ(FormatRemaining(51200, 1048576, 1000, 9000), "剩余时间：2分46秒");
    // The tick counter wrapped between the start and now.
    EXPECT_EQ(FormatRemaining(51200, 1048576, 0xFFFFF000u, 8000 - 0x1000), "剩余时间：2分46秒");
    // Long transfers keep counting minutes rather than folding into hours.
    EXPECT_EQ(FormatRemaining(1000, 1000 + 4500000, 0, 1000), "剩余时间：75分0秒");
    // Done past total: nothing remains.
    EXPECT_EQ(FormatRemaining(1536, 1000, 0, 100), "剩余时间：0分0秒");
    EXPECT_EQ(FormatRemaining(0, 1000, 0, 100), "");
    EXPECT_EQ(FormatRemaining(1500, 100000, 0, 2000), "");   // below one byte per ms
    EXPECT_EQ(FormatRemaining(1500, 100000, 500, 500), "");  // no time has passed
}

TEST(ReadProgress, GateOutcomesAndDrawing) {
    q8::TransferState state;
    state.Reset();
    state.SetTotal(1048576);
    state.SetStartTick(1000);
    state.SetDone(1024);
    EXPECT_FALSE(q8::ReadProgress(state, 9000).draw);

    state.SetDone(51200);
    q8::ProgressTick tick = q8::ReadProgress(state, 9000);
    EXPECT_FALSE(tick.ended);
    EXPECT_TRUE(tick.draw);
    EXPECT_EQ(tick.percent, 4);
    EXPECT_EQ(tick.remaining, "剩余时间：2分46秒");

    // An outcome ends the window on the tick, without a last drawing. The
    // values are the ones the window's result codes carry.
    const std::pair<uint32_t, int> outcomes[] = {{1, 1}, {2, 3}, {3, 5}, {7, 5}};
    for (const auto& [outcome, result] : outcomes) {
        state.SetOutcome(static_cast<q8::TransferOutcome>(outcome));
        tick = q8::ReadProgress(state, 9000);
        EXPECT_TRUE(tick.ended);
        EXPECT_FALSE(tick.draw);
        EXPECT_EQ(static_cast<int>(tick.result), result) << outcome;
    }
}

}  // namespace
