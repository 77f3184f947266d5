// The transfers end to end through the real SerialLink over a pty against
// q8sim, in real time, with the worker thread: a download batch, an upload
// and a cancel while blocks are on the line. Every other transfer case runs
// on the device in memory (transfer_tests); each file here costs a real 2 s
// erase pause and 1 s after it.

#include <string>
#include <vector>

#include "PtyFixture.h"
#include "ResultPrinters.h"
#include "TransferFixture.h"
#include "link/Tick.h"
#include "session/DownloadTransfer.h"
#include "session/UploadTransfer.h"
#include "sim/SimFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

class PtyTransferTest : public q8test::TransferFixtureOn<q8test::DeviceFixture> {
  protected:
    q8::TransferContext transfer{station, state, ui};
};
using DownloadOverPty = PtyTransferTest;
using UploadOverPty = PtyTransferTest;

// One file is enough here: batches of several are followed exactly in memory;
// this is the real link, the worker thread and the real pauses together.
TEST_F(DownloadOverPty, BatchArrivesByteForByte) {
    StartDevice();
    WriteFile("two.bin", q8sim::SyntheticData(1500));
    const std::vector<q8::DownloadRow> rows = {{"two.bin", dir}};

    EXPECT_EQ(q8::DownloadBatch(transfer, rows), q8::BatchResult::Done);

    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(ui.Captions(), (std::vector<std::string>{"擦除剩余空间...", "下载文件..."}));
    const auto files = sim->Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].data, q8sim::SyntheticData(1500));
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].name, "two.bin");
    // Blocks as they crossed the line: 3, the last padded with zeros.
    const auto blocks = Sent(q8::CMD_DOWNLOAD_BLOCK);
    ASSERT_EQ(blocks.size(), 3u);
    Bytes last(q8::BLOCK_SIZE, 0);
    const Bytes two = q8sim::SyntheticData(1500);
    std::copy(two.begin() + 1024, two.end(), last.begin());
    EXPECT_EQ(Bytes(blocks[2].begin() + 2, blocks[2].end() - 2), last);
    EXPECT_EQ(Sent(q8::CMD_HELLO).size(), 2u);
    // Nothing answers the batch end; give the device a moment to take it.
    for (int i = 0; i < 500 && sim->Occurrences(q8::CMD_BATCH_END) == 0; ++i) {
        q8::SleepMs(2);
    }
    EXPECT_EQ(Sent(q8::CMD_BATCH_END), (std::vector<Bytes>{Bytes{0x8F, 0x00}}));
}

TEST_F(UploadOverPty, ReplacesTheTargetByteForByte) {
    q8sim::SimConfig config;
    config.files = {q8sim::SyntheticFile("a.bin", 3000)};
    StartDevice(config);
    WriteFile("target.bin", {'o', 'l', 'd'});
    ui.target = PathOf("target.bin");
    view.mark = 0;

    EXPECT_EQ(q8::UploadFile(transfer), q8::UploadResult::Done);

    EXPECT_EQ(ReadFile("target.bin"), q8sim::SyntheticData(3000));
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"target.bin"});
    EXPECT_EQ(Sent(q8::CMD_UPLOAD_NEXT).size(), 7u);  // six blocks and the end
    EXPECT_TRUE(ui.Messages().empty());
}

// At the line's real speed (about 45 ms a block) the window is cancelled
// once 8 blocks are in; the worker stops within a block or two.
TEST_F(UploadOverPty, CancelledWhileBlocksArriveKeepsTheOldFile) {
    q8sim::SimConfig config;
    config.lineRate = true;
    config.files = {q8sim::SyntheticFile("a.bin", 100000)};
    StartDevice(config);
    WriteFile("target.bin", {'o', 'l', 'd'});
    ui.target = PathOf("target.bin");
    ui.cancelWhen = [](const q8::TransferState& s) { return s.Done() > 8 * q8::BLOCK_SIZE; };
    view.mark = 0;

    EXPECT_EQ(q8::UploadFile(transfer), q8::UploadResult::Stopped);

    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Running);
    const size_t requests = Sent(q8::CMD_UPLOAD_NEXT).size();
    EXPECT_GE(requests, 10u);
    EXPECT_LT(requests, q8::BlockCount(100000));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(ReadFile("target.bin"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(FolderNames(), std::vector<std::string>{"target.bin"});
}

}  // namespace
