// Refresh, erase and delete end to end through the real serial link over a
// pty against q8sim, in real time. Every reply comes at once, so no deadline
// or pause is waited out here; the timing cases run on the in-memory device
// in refresh_tests and maintenance_tests.

#include <cstdint>
#include <tuple>
#include <vector>

#include "PtyFixture.h"
#include "ResultPrinters.h"
#include "session/CartridgeRefresh.h"
#include "session/Maintenance.h"
#include "session/Texts.h"
#include "sim/MemoryPort.h"
#include "sim/VirtualClock.h"

namespace {

using Bytes = std::vector<uint8_t>;
using q8sim::SimConfig;
using q8test::MakeSimFile;

class ExchangeOverLinkTest : public q8test::DeviceFixture {};

// The real link carries exactly what the in-memory line does: the same
// cartridge gives the same rows, texts, flags and frames both ways (the
// in-memory results themselves are checked in refresh_tests).
TEST_F(ExchangeOverLinkTest, RefreshThroughTheLinkMatchesTheInMemoryLine) {
    SimConfig config;
    config.files.push_back(MakeSimFile("a.bin", 1536));
    config.files.push_back(MakeSimFile("\xD6\xD0\xCE\xC4.bin", 70000));  // 中文.bin
    config.totalBytes = 1048576;
    config.freeBytes = 1536;
    StartDevice(config);
    model.status.error = true;

    q8sim::DeviceModel device(config);
    q8sim::VirtualClock clock;
    q8sim::MemoryPort memory(clock, q8sim::AnswerWith(device));
    q8::Wire memoryWire(memory, clock);
    q8::CartridgeModel memoryModel = model;
    q8test::RecordingView memoryView;
    q8::Station inMemory{memoryWire, memoryModel, memoryView};

    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    EXPECT_EQ(q8::Refresh(inMemory).status, q8::RefreshStatus::Ok);

    ASSERT_EQ(view.rows.size(), 2u);
    for (size_t i = 0; i < view.rows.size(); ++i) {
        EXPECT_EQ(view.rows[i].name, memoryView.rows[i].name);
        EXPECT_EQ(view.rows[i].size, memoryView.rows[i].size);
        EXPECT_EQ(view.rows[i].modified, memoryView.rows[i].modified);
    }
    EXPECT_EQ(view.rows[1].name, "中文.bin");
    EXPECT_EQ(model.info.totalText, memoryModel.info.totalText);
    EXPECT_EQ(model.info.freeText, memoryModel.info.freeText);
    EXPECT_EQ(std::tie(model.info.fileCount, model.info.totalBytes, model.info.freeBytes),
              std::tie(memoryModel.info.fileCount, memoryModel.info.totalBytes,
                       memoryModel.info.freeBytes));
    EXPECT_EQ(std::tie(view.shownStatus, view.shownError),
              std::tie(memoryView.shownStatus, memoryView.shownError));
    for (const uint8_t command : {q8::CMD_HELLO, q8::CMD_CARD_INFO, q8::CMD_DIR_ENTRY}) {
        EXPECT_EQ(Sent(command), device.FramesFromHost(command));
    }
    EXPECT_EQ(Sent(q8::CMD_DIR_ENTRY).size(), 3u);
    EXPECT_EQ(sim->DroppedBytes(), 0u);
}

// Delete's own 3000 ms pause before its refresh would cost real time, so the
// delete exchange runs alone here and the refresh after it is called directly.
TEST_F(ExchangeOverLinkTest, EraseAndDeleteChangeTheCartridgeThroughTheLink) {
    SimConfig config;
    config.files.push_back(MakeSimFile("f0.bin", 20000));
    config.files.push_back(MakeSimFile("f1.bin", 20000));
    config.freeBytes = config.totalBytes - 2 * 32768;
    StartDevice(config);

    EXPECT_EQ(q8::EraseVoice(station), q8::MaintenanceResult::Ok);
    EXPECT_EQ(view.shownStatus, q8::TXT_ERASE_DONE);
    EXPECT_FALSE(view.shownError);
    EXPECT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(Sent(q8::CMD_ERASE_VOICE), (std::vector<Bytes>{{0x8E, 0x00}}));

    EXPECT_EQ(q8::DeleteEntry(wire, model.status, 1), q8::DeleteResult::Ok);
    EXPECT_EQ(Sent(q8::CMD_DELETE), (std::vector<Bytes>{{0x8A, 0x01}}));
    const auto files = sim->Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].nameGbk, "f0.bin");

    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].name, "f0.bin");
    EXPECT_EQ(model.info.freeBytes, config.totalBytes - 32768);
    EXPECT_EQ(Sent(q8::CMD_HELLO).size(), 2u);
}

}  // namespace
