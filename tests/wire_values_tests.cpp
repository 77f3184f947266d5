// Every frame, read, deadline, pause and purge each operation puts on the
// line, written out as literal values. The simulated device takes its codes
// from the same constants as the host, so a mistyped code, length or
// deadline would pass every other test; this table would not.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "RecordingStation.h"
#include "TempFolder.h"
#include "session/CartridgeRefresh.h"
#include "session/DownloadTransfer.h"
#include "session/Maintenance.h"
#include "session/UploadTransfer.h"
#include "sim/DeviceModel.h"
#include "sim/MemoryPort.h"
#include "sim/SimFiles.h"
#include "sim/VirtualClock.h"

namespace {

using Events = std::vector<std::string>;

std::string Hex(const uint8_t* bytes, uint32_t count) {
    std::string text;
    char byte[4];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += byte;
    }
    return text;
}

// Passes everything on to the in-memory line and writes down what the
// protocol asked of it: a frame as its length and first bytes (the code and
// the argument; 6 for the download begin, whose block count matters), a read
// as its count and deadline, a pause, a purge.
class RecordingPort final : public q8::Port, public q8::Clock {
  public:
    RecordingPort(q8sim::MemoryPort& port, q8sim::VirtualClock& clock)
        : port_(port), clock_(clock) {}

    void Write(const uint8_t* frame, uint32_t length) override {
        const uint32_t shown = frame[0] == 0x87 ? 6 : 2;
        events.push_back("write " + std::to_string(length) + ": " + Hex(frame, shown));
        port_.Write(frame, length);
    }
    q8::ReadResult Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                        std::chrono::milliseconds deadline) override {
        std::string event = "read ";
        event += std::to_string(count);
        event += " by ";
        event += std::to_string(deadline.count());
        events.push_back(event);
        return port_.Read(buffer, count, received, deadline);
    }
    void Purge() override {
        events.push_back("purge");
        port_.Purge();
    }
    uint32_t TickMs() override { return clock_.TickMs(); }
    void Sleep(std::chrono::milliseconds pause) override {
        events.push_back("pause " + std::to_string(pause.count()));
        clock_.Sleep(pause);
    }

    Events events;

  private:
    q8sim::MemoryPort& port_;
    q8sim::VirtualClock& clock_;
};

// A transfer's window side that nothing looks at: the workers run on the
// test's own thread here.
class QuietUi final : public q8::TransferUi {
  public:
    void Show(const std::string& text) override { shown.push_back(text); }
    void PrepareProgress(const std::string&, const std::string&) override {}
    q8::ProgressResult RunProgress(const q8::TransferState&) override {
        return q8::ProgressResult::Done;
    }
    void ChangeCaption(const std::string&) override {}
    void EndProgress(q8::ProgressResult) override {}
    void WaitForWorker(const q8::WorkerThread&) override {}
    bool ChooseUploadTarget(std::string&) override { return false; }
    std::vector<std::string> shown;
};

class WireValues : public ::testing::Test {
  protected:
    WireValues() {
        q8sim::SimConfig config;
        config.files = {q8sim::SyntheticFile("a.bin", 600)};
        device = q8sim::DeviceModel(config);
    }
    // What the operation did, from its first purge or frame on.
    Events Run(const std::function<void()>& operation) {
        recorder.events.clear();
        operation();
        return recorder.events;
    }

    q8sim::DeviceModel device;
    q8sim::VirtualClock clock;
    q8sim::MemoryPort memory{clock, q8sim::AnswerWith(device)};
    RecordingPort recorder{memory, clock};
    q8::Wire wire{recorder, recorder};
    q8::CartridgeModel model;
    q8test::RecordingView view;
    q8::Station station{wire, model, view};
    QuietUi ui;
    q8::TransferState state;
    q8::TransferContext transfer{station, state, ui};
};

// Hello, card info with its data, and the directory up to its end marker.
const Events REFRESH_WITH_ONE_FILE = {
    "purge",         "write 2: 80 01", "read 2 by 500",  "write 2: 82 00", "read 2 by 400",
    "read 8 by 400", "write 2: 83 00", "read 32 by 400", "write 2: 83 01", "read 32 by 400"};

Events Then(Events first, const Events& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST_F(WireValues, RefreshAndMaintenanceExchanges) {
    EXPECT_EQ(Run([&] { q8::Refresh(station); }), REFRESH_WITH_ONE_FILE);
    EXPECT_EQ(Run([&] { q8::EraseVoice(station); }),
              Then({"purge", "write 2: 8E 00", "read 2 by 2500"}, REFRESH_WITH_ONE_FILE));
    view.mark = 0;
    EXPECT_EQ(Run([&] { q8::DeleteLastFile(station, ui); }),
              (Events{"purge", "write 2: 8A 00", "read 2 by 2500", "pause 3000", "purge",
                      "write 2: 80 01", "read 2 by 500", "write 2: 82 00", "read 2 by 400",
                      "read 8 by 400", "write 2: 83 00", "read 32 by 400"}));
    EXPECT_EQ(Run([&] { q8::FormatCartridge(station); }),
              (Events{"purge", "write 4: 85 00", "pause 3000", "read 2 by 4000", "purge",
                      "write 2: 80 01", "read 2 by 500", "write 2: 82 00", "read 2 by 400",
                      "read 8 by 400", "write 2: 83 00", "read 32 by 400"}));
}

TEST_F(WireValues, DownloadAndUploadExchanges) {
    const q8test::TempFolder folder("q8wire");
    ASSERT_TRUE(folder.Made());
    const std::string path = folder.PathOf("b.bin");
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const std::vector<uint8_t> data = q8sim::SyntheticData(600);
    ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
    std::fclose(file);

    model.info.freeBytes = 1 << 20;
    state.Reset();
    // 600 bytes: two blocks, each answered, then the entry.
    EXPECT_EQ(Run([&] {
                  q8::DownloadWorker(transfer, q8::DownloadRow{"b.bin", folder.Path()});
              }),
              (Events{"purge", "write 6: 87 00 02 00 00 00", "pause 2000", "read 2 by 8000",
                      "write 516: 88 20", "read 2 by 800", "write 516: 88 20", "read 2 by 800",
                      "write 34: 89 00", "read 2 by 800"}));
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Done);
    EXPECT_EQ(Run([&] { q8::SendBatchEnd(wire); }), (Events{"write 2: 8F 00"}));

    // Entry 1 (the file just sent): its size, two blocks, the end.
    struct Sink final : q8::ByteSink {
        bool Write(const uint8_t*, uint32_t) override { return true; }
        bool Commit() override { return true; }
    } sink;
    state.Reset();
    EXPECT_EQ(Run([&] { q8::UploadWorker(transfer, 1, sink); }),
              (Events{"purge", "write 2: 8B 01", "read 2 by 2500", "read 4 by 2500",
                      "write 2: 8C 00", "read 2 by 2500", "read 512 by 2500", "write 2: 8C 00",
                      "read 2 by 2500", "read 512 by 2500", "write 2: 8C 00", "read 2 by 2500"}));
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Done);
    EXPECT_TRUE(ui.shown.empty());
}

// The reply code the host accepts for each command.
TEST_F(WireValues, ReplyCodesAreTheCommandCodesPlus0x20) {
    const struct {
        uint8_t command, reply;
    } pairs[] = {{0x80, 0xA0}, {0x82, 0xA2}, {0x85, 0xA5}, {0x87, 0xA7}, {0x88, 0xA8},
                 {0x89, 0xA9}, {0x8A, 0xAA}, {0x8B, 0xAB}, {0x8C, 0xAC}, {0x8E, 0xAE}};
    for (const auto& p : pairs) {
        SCOPED_TRACE(Hex(&p.command, 1));
        // A device that answers with the literal code, whatever it was asked.
        q8sim::MemoryPort replying(clock, [&p](const uint8_t*, uint32_t) {
            return std::vector<q8sim::Action>{q8sim::Action::Write({p.reply, 0x00})};
        });
        q8::Wire probe{replying, clock};
        probe.SendShort(p.command, 0);
        EXPECT_EQ(probe.ReceiveReply(p.command, std::chrono::milliseconds(400)),
                  q8::ReplyCheck::Ok);
        probe.SendShort(p.command, 0);
        EXPECT_EQ(
            probe.ReceiveReply(static_cast<uint8_t>(p.command + 1), std::chrono::milliseconds(400)),
            q8::ReplyCheck::WrongCode);
    }
}

}  // namespace
