// Refresh, erase and delete end to end through the real serial link over a
// pty against q8sim, in real time. Every reply comes at once, so no deadline
// or pause is waited out here; the timing cases run on the in-memory device
// in refresh_tests and maintenance_tests.

#include <cstdint>
#include <vector>

#include "PtyFixture.h"
#include "protocol/CartridgeRefresh.h"
#include "protocol/Maintenance.h"
#include "protocol/Texts.h"

namespace {

using Bytes = std::vector<uint8_t>;
using q8sim::SimConfig;
using q8test::MakeSimFile;

class ExchangeOverLinkTest : public q8test::DeviceFixture {};

TEST_F(ExchangeOverLinkTest, RefreshReadsNamesAndSpaceThroughTheLink) {
    SimConfig config;
    config.files.push_back(MakeSimFile("a.bin", 1536));
    config.files.push_back(MakeSimFile("\xD6\xD0\xCE\xC4.bin", 70000));  // 中文.bin
    config.totalBytes = 1048576;
    config.freeBytes = 1536;
    StartDevice(config);
    model.status.error = true;

    EXPECT_EQ(q8::Refresh(station), q8::REFRESH_OK);

    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0].name, "a.bin");
    EXPECT_EQ(view.rows[0].size, "1.50*8Kbits");
    EXPECT_EQ(view.rows[0].modified, "2005-3-7 9:5");
    EXPECT_EQ(view.rows[1].name, "中文.bin");
    EXPECT_EQ(view.rows[1].size, "68.36*8Kbits");
    EXPECT_EQ(model.info.fileCount, 2);
    EXPECT_EQ(model.info.totalText, "空间共计:1.00*8Mbits");
    EXPECT_EQ(model.info.freeText, "空闲空间:1.50*8Kbits");
    EXPECT_EQ(view.shownStatus, "");
    EXPECT_FALSE(view.shownError);
    EXPECT_EQ(Sent(q8::CMD_HELLO), (std::vector<Bytes>{{0x80, 0x01}}));
    EXPECT_EQ(Sent(q8::CMD_CARD_INFO), (std::vector<Bytes>{{0x82, 0x00}}));
    EXPECT_EQ(Sent(q8::CMD_DIR_ENTRY), (std::vector<Bytes>{{0x83, 0}, {0x83, 1}, {0x83, 2}}));
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

    EXPECT_EQ(q8::Refresh(station), q8::REFRESH_OK);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].name, "f0.bin");
    EXPECT_EQ(model.info.freeBytes, static_cast<int32_t>(config.totalBytes - 32768));
    EXPECT_EQ(Sent(q8::CMD_HELLO).size(), 2u);
}

}  // namespace
