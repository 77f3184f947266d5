// The in-memory line the protocol tests run on: it must time replies the way
// the serial link does, to the millisecond, or every test above it measures
// the wrong thing.

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "sim/MemoryPort.h"
#include "sim/VirtualClock.h"

namespace {

using Bytes = std::vector<uint8_t>;
using q8::ReadResult;
using q8sim::Action;
using std::chrono::milliseconds;

constexpr uint64_t START_MS = 1000;

// A device that answers every frame with the pieces it is given, each after
// its pause.
struct Line {
    std::vector<Action> answer;
    q8sim::VirtualClock clock{START_MS};
    q8sim::MemoryPort port{clock, [this](const uint8_t*, uint32_t) { return answer; }};

    void Ask(std::vector<Action> actions) {
        answer = std::move(actions);
        const uint8_t frame[2] = {0x80, 0x01};
        port.Write(frame, sizeof frame);
    }
    uint64_t Elapsed() const { return clock.NowMs() - START_MS; }
};

// The last moment a reply may complete and still count: the end of the
// low-level wait (401 ms each) in which the deadline passes.
TEST(MemoryPort, ReplyCountsUntilTheWaitInWhichTheDeadlinePassesEnds) {
    const struct {
        uint32_t deadlineMs;
        uint64_t lastMs;
    } cases[] = {{400, 401}, {500, 802}, {800, 802}, {2500, 2807}, {4000, 4010}, {8000, 8020}};
    for (const auto& c : cases) {
        for (const uint64_t arrival : {c.lastMs, c.lastMs + 1}) {
            SCOPED_TRACE(testing::Message() << c.deadlineMs << " ms, reply at " << arrival);
            Line line;
            line.Ask({Action::Pause(static_cast<uint32_t>(arrival)), Action::Write({0xA0, 0x01})});
            uint8_t buffer[2] = {};
            uint32_t received = 9;
            const ReadResult result =
                line.port.Read(buffer, 2, received, milliseconds(c.deadlineMs));
            if (arrival == c.lastMs) {
                EXPECT_EQ(result, ReadResult::Ok);
                EXPECT_EQ(received, 2u);
                EXPECT_EQ(line.Elapsed(), arrival);  // returns as the last byte comes
            } else {
                EXPECT_EQ(result, ReadResult::Timeout);
                EXPECT_EQ(received, 0u);
                EXPECT_EQ(line.Elapsed(), c.lastMs);
            }
        }
    }
}

TEST(MemoryPort, PiecesGatherWithinOneWaitAndAWaitNeverEndsEarly) {
    // Deadline 20 ms: the first wait runs its 401 ms whatever the deadline.
    Line line;
    line.Ask({Action::Pause(150), Action::Write({1, 2, 3}), Action::Pause(200),
              Action::Write({4, 5, 6})});
    uint8_t buffer[6] = {};
    uint32_t received = 0;
    EXPECT_EQ(line.port.Read(buffer, 6, received, milliseconds(20)), ReadResult::Ok);
    EXPECT_EQ(Bytes(buffer, buffer + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(line.Elapsed(), 350u);

    // The rest only after the wait: what came is kept, the read times out.
    line.Ask({Action::Pause(100), Action::Write({7, 8, 9}), Action::Pause(700),
              Action::Write({10, 11, 12})});
    const uint64_t before = line.Elapsed();
    EXPECT_EQ(line.port.Read(buffer, 6, received, milliseconds(20)), ReadResult::Timeout);
    EXPECT_EQ(received, 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{7, 8, 9}));
    EXPECT_EQ(line.Elapsed() - before, 401u);
    // The late piece is still on its way and comes with the next read.
    EXPECT_EQ(line.port.Read(buffer, 3, received, milliseconds(400)), ReadResult::Ok);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{10, 11, 12}));
}

TEST(MemoryPort, PurgeDropsWhatHasArrivedButNotWhatIsStillComing) {
    Line line;
    line.Ask({Action::Write({1, 2}), Action::Pause(300), Action::Write({3, 4})});
    line.port.Purge();
    EXPECT_EQ(line.port.QueuedBytes(), 2u);
    uint8_t buffer[2] = {};
    uint32_t received = 0;
    EXPECT_EQ(line.port.Read(buffer, 2, received, milliseconds(400)), ReadResult::Ok);
    EXPECT_EQ(Bytes(buffer, buffer + 2), (Bytes{3, 4}));
    EXPECT_EQ(line.Elapsed(), 300u);
}

TEST(MemoryPort, TheDeviceAnswersOneFrameAfterAnother) {
    // A second frame written while the device still works on the first is
    // answered only once the first answer is out.
    Line line;
    line.Ask({Action::Pause(1000), Action::Write({1})});
    line.Ask({Action::Pause(500), Action::Write({2})});
    EXPECT_EQ(line.port.DeviceIdleAtMs(), START_MS + 1500);
    uint8_t buffer[2] = {};
    uint32_t received = 0;
    EXPECT_EQ(line.port.Read(buffer, 2, received, milliseconds(2500)), ReadResult::Ok);
    EXPECT_EQ(line.Elapsed(), 1500u);
}

TEST(MemoryPort, BrokenPortFailsAtOnceAndPausesCostNothingButVirtualTime) {
    Line line;
    line.Ask({Action::Write({1, 2})});
    line.port.SetBroken(true);
    uint8_t buffer[2] = {};
    uint32_t received = 7;
    EXPECT_EQ(line.port.Read(buffer, 2, received, milliseconds(8000)), ReadResult::PortError);
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(line.Elapsed(), 0u);
    // Nothing written meanwhile reaches the device: once the port works
    // again, only the earlier answer is there.
    line.Ask({Action::Write({3, 4})});
    line.port.SetBroken(false);
    EXPECT_EQ(line.port.Read(buffer, 2, received, milliseconds(400)), ReadResult::Ok);
    EXPECT_EQ(Bytes(buffer, buffer + 2), (Bytes{1, 2}));
    EXPECT_EQ(line.port.QueuedBytes(), 0u);

    q8sim::VirtualClock clock(0xFFFFFFFFull - 10);
    const uint32_t before = clock.TickMs();
    clock.Sleep(milliseconds(3000));
    EXPECT_EQ(static_cast<uint32_t>(clock.TickMs() - before), 3000u);  // across the wrap
    EXPECT_EQ(clock.NowMs(), 0xFFFFFFFFull - 10 + 3000);
    clock.AdvanceTo(5);  // never back
    EXPECT_EQ(clock.NowMs(), 0xFFFFFFFFull - 10 + 3000);
}

}  // namespace
