// The download worker and batch over a real pty against the simulated device.

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include "TransferFixture.h"
#include "protocol/ByteOrder.h"
#include "protocol/DownloadTransfer.h"
#include "protocol/Texts.h"
#include "sim/SimFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;
using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;

constexpr time_t FILE_MTIME = 1118000000;  // June 2005

class DownloadTest : public q8test::TransferFixture {
  protected:
    // A host file of `size` pattern bytes with a fixed modification time.
    q8::DownloadRow HostFile(const std::string& name, uint32_t size) {
        const Bytes data = q8sim::SyntheticData(size);
        WriteFile(name, data);
        const timeval times[2] = {{FILE_MTIME, 0}, {FILE_MTIME, 0}};
        EXPECT_EQ(utimes(PathOf(name).c_str(), times), 0);
        return q8::DownloadRow{name, dir};
    }
    // The worker on its own, as the batch runs it, with the space the last
    // refresh would have left.
    void RunWorker(const q8::DownloadRow& row, int32_t freeBytes = 1 << 22) {
        model.info.freeBytes = freeBytes;
        state.Reset();
        q8::DownloadWorker(transfer, row);
    }
};

// --- One file: frames, padding, entry -----------------------------------------

class DownloadSizes : public DownloadTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(DownloadSizes, AnnouncesAndSendsEveryBlockThenTheEntry) {
    const uint32_t size = GetParam();
    StartDevice();
    const q8::DownloadRow row = HostFile("abcdefghijklmnop.bin", size);
    // Whatever an earlier frame left in the buffer must not reach the device.
    wire.command.bytes.fill(0xCC);

    RunWorker(row, 1 << 22);

    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Done);
    EXPECT_TRUE(ui.Messages().empty());
    const uint32_t blocks = q8::BlockCount(size);
    Bytes begin = {q8::CMD_DOWNLOAD_BEGIN, 0, 0, 0, 0, 0};
    q8::PutLe32(&begin[2], blocks);
    EXPECT_EQ(Sent(q8::CMD_DOWNLOAD_BEGIN), std::vector<Bytes>{begin});

    // An empty file still sends one (all-zero) block.
    const auto frames = Sent(q8::CMD_DOWNLOAD_BLOCK);
    ASSERT_EQ(frames.size(), std::max<uint32_t>(blocks, 1));
    Bytes expected = q8sim::SyntheticData(size);
    expected.resize(frames.size() * q8::BLOCK_SIZE, 0);
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i].size(), q8::DOWNLOAD_BLOCK_FRAME_LENGTH);
        EXPECT_EQ(frames[i][1], 0x20);
        const auto from = expected.begin() + static_cast<long>(i * q8::BLOCK_SIZE);
        EXPECT_EQ(Bytes(frames[i].begin() + 2, frames[i].end() - 2),
                  Bytes(from, from + q8::BLOCK_SIZE))
            << "block " << i;
        EXPECT_EQ(frames[i][514], 0);
        EXPECT_EQ(frames[i][515], 0);
    }

    // A 20-byte name keeps its first 12 and last 4 bytes.
    std::tm local{};
    localtime_r(&FILE_MTIME, &local);
    const q8::DirTime time{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                           local.tm_hour,        local.tm_min,     local.tm_sec};
    const q8::DirEntry entry = q8::DirEntry::Make("abcdefghijkl.bin", time, size);
    Bytes entryFrame(q8::DOWNLOAD_ENTRY_FRAME_LENGTH, 0);
    entryFrame[0] = q8::CMD_DOWNLOAD_ENTRY;
    std::copy(entry.bytes.begin(), entry.bytes.end(), entryFrame.begin() + 2);
    EXPECT_EQ(Sent(q8::CMD_DOWNLOAD_ENTRY), std::vector<Bytes>{entryFrame});

    const auto files = sim->Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].data, q8sim::SyntheticData(size));
    EXPECT_EQ(state.Total(), size);
    EXPECT_EQ(state.Done(), std::max<uint32_t>(blocks, 1) * q8::BLOCK_SIZE);
    EXPECT_EQ(model.info.freeBytes,
              static_cast<int32_t>((1u << 22) - q8::CartridgeFootprint(size)));
    EXPECT_EQ(ui.Captions(), std::vector<std::string>{"下载文件..."});
}

INSTANTIATE_TEST_SUITE_P(Sizes, DownloadSizes, ::testing::Values(0u, 1u, 1024u, 1025u));

TEST_F(DownloadTest, ResendsTheSameBlockAndTheSameEntryOnStatusOne) {
    SimConfig config;
    config.faults = {Fault{q8::CMD_DOWNLOAD_BLOCK, 2, FaultKind::Status, q8::STATUS_RESEND},
                     Fault{q8::CMD_DOWNLOAD_BLOCK, 3, FaultKind::Status, q8::STATUS_RESEND},
                     Fault{q8::CMD_DOWNLOAD_ENTRY, 1, FaultKind::Status, q8::STATUS_RESEND}};
    StartDevice(config);
    RunWorker(HostFile("r.bin", 1500));

    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Done);
    const auto blocks = Sent(q8::CMD_DOWNLOAD_BLOCK);
    ASSERT_EQ(blocks.size(), 5u);
    EXPECT_EQ(blocks[2], blocks[1]);
    EXPECT_EQ(blocks[3], blocks[1]);
    EXPECT_NE(blocks[4], blocks[1]);
    const auto entries = Sent(q8::CMD_DOWNLOAD_ENTRY);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], entries[1]);
    ASSERT_EQ(sim->Files().size(), 1u);
    EXPECT_EQ(sim->Files()[0].data, q8sim::SyntheticData(1500));
    EXPECT_EQ(state.Done(), 3 * q8::BLOCK_SIZE);
}

// --- Refusals before anything is sent ---------------------------------------------

TEST_F(DownloadTest, SpaceCheckUsesTheFootprint) {
    StartDevice();
    const q8::DownloadRow row = HostFile("big.bin", 16385);  // footprint 32768

    RunWorker(row, 32767);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Refused);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{
                                 "卡盒空间32767*8bits；文件大小32768*8bits。空间不够，不能下载!"});
    EXPECT_TRUE(sim->WireLog().empty());
    EXPECT_EQ(model.info.freeBytes, 32767);

    RunWorker(row, 32768);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Done);
    EXPECT_EQ(model.info.freeBytes, 0);
}

TEST_F(DownloadTest, MissingAndHugeFilesAreRefusedWithNothingSent) {
    StartDevice();
    RunWorker(q8::DownloadRow{"gone.bin", dir});
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Refused);
    // 2 GiB does not fit the entry's size field; it would go out truncated.
    WriteFile("huge.bin", {});
    ASSERT_EQ(truncate(PathOf("huge.bin").c_str(), 1ll << 31), 0);  // sparse
    RunWorker(q8::DownloadRow{"huge.bin", dir}, INT32_MAX);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Refused);

    EXPECT_EQ(ui.Messages(),
              (std::vector<std::string>{
                  "打开文件（" + PathOf("gone.bin") + "）失败!",
                  "卡盒空间2147483647*8bits；文件大小2147483648*8bits。空间不够，不能下载!"}));
    EXPECT_TRUE(sim->WireLog().empty());
}

// --- Failures on the line ---------------------------------------------------------

struct FailureCase {
    const char* name;
    Fault fault;
    const char* message;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadFailures : public DownloadTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DownloadFailures, ShowTheirMessageThenFail) {
    SimConfig config;
    config.faults = {GetParam().fault};
    StartDevice(config);
    RunWorker(HostFile("f.bin", 1200));
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{GetParam().message});
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Failed);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DownloadFailures,
    ::testing::Values(FailureCase{"BeginSilent",
                                  {q8::CMD_DOWNLOAD_BEGIN, 1, FaultKind::Truncate, 1},
                                  "机器断线或退出下载状态！"},
                      FailureCase{"BeginWrongCode",
                                  {q8::CMD_DOWNLOAD_BEGIN, 1, FaultKind::WrongCode, 0xA8},
                                  "数据错误！请重试！"},
                      FailureCase{"BeginStatus",
                                  {q8::CMD_DOWNLOAD_BEGIN, 1, FaultKind::Status, 1},
                                  "传输数据错误，传输中止！"},
                      FailureCase{"BlockSilent",
                                  {q8::CMD_DOWNLOAD_BLOCK, 2, FaultKind::NoReply},
                                  "在下载中传输数据出错！请重试"},
                      FailureCase{"BlockWrongCode",
                                  {q8::CMD_DOWNLOAD_BLOCK, 1, FaultKind::WrongCode, 0xA7},
                                  "在下载中传输数据出错！请重试"},
                      FailureCase{"BlockStatus",
                                  {q8::CMD_DOWNLOAD_BLOCK, 3, FaultKind::Status, 0x80},
                                  "在下载中传输数据出错！请重试"},
                      FailureCase{"EntrySilent",
                                  {q8::CMD_DOWNLOAD_ENTRY, 1, FaultKind::Truncate, 1},
                                  "机器断线或退出下载状态！"},
                      FailureCase{"EntryWrongCode",
                                  {q8::CMD_DOWNLOAD_ENTRY, 1, FaultKind::WrongCode, 0xAF},
                                  "数据错误！请重试！"},
                      FailureCase{"EntryStatus",
                                  {q8::CMD_DOWNLOAD_ENTRY, 1, FaultKind::Status, 2},
                                  "在下载中传输数据出错！"}),
    [](const ::testing::TestParamInfo<FailureCase>& c) { return std::string(c.param.name); });

// A host file whose reads fail from the second block on.
class FailingFile : public q8::SourceFile {
  public:
    int64_t ReadAt(uint64_t offset, uint8_t* buffer, uint32_t count) override {
        return offset == 0 ? SourceFile::ReadAt(offset, buffer, count) : -1;
    }
};

// A host file that another program cuts to 700 bytes while its second block
// is on the way.
class ShrinkingFile : public q8::SourceFile {
  public:
    explicit ShrinkingFile(std::string path) : path_(std::move(path)) {}
    int64_t ReadAt(uint64_t offset, uint8_t* buffer, uint32_t count) override {
        if (offset > 0) {
            EXPECT_EQ(truncate(path_.c_str(), 700), 0);
        }
        return SourceFile::ReadAt(offset, buffer, count);
    }

  private:
    std::string path_;
};

TEST_F(DownloadTest, HostReadErrorOrShrinkingFileFailsTheTransfer) {
    StartDevice();
    const q8::DownloadRow row = HostFile("r.bin", 2000);
    FailingFile failing;
    ShrinkingFile shrinking(PathOf("r.bin"));
    for (q8::SourceFile* file :
         {static_cast<q8::SourceFile*>(&failing), static_cast<q8::SourceFile*>(&shrinking)}) {
        sim->ClearWireLog();
        model.info.freeBytes = 1 << 22;
        state.Reset();
        q8::DownloadWorker(transfer, row, *file);
        EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Failed);
        EXPECT_EQ(ui.Messages().back(), "在下载中传输数据出错！请重试");
        EXPECT_EQ(Sent(q8::CMD_DOWNLOAD_BLOCK).size(), 1u);
        EXPECT_TRUE(Sent(q8::CMD_DOWNLOAD_ENTRY).empty());
    }
    EXPECT_EQ(ui.Messages().size(), 2u);
}

// --- Cancel -------------------------------------------------------------------------

TEST_F(DownloadTest, CancelDuringTheEraseWaitWaitsForTheWorker) {
    struct Case {
        const char* name;
        std::vector<Fault> faults;
        std::vector<std::string> messages;
        q8::TransferOutcome outcome;
        std::vector<std::string> captions;  // the last ones come after the window closed
    };
    // The device answers while the worker reads: a good reply lets it end
    // silently at its next step; a bad one is still reported, after the
    // window has gone and before the batch goes on.
    const Case cases[] = {
        {"good reply", {}, {}, q8::TransferOutcome::Running, {"擦除剩余空间...", "下载文件..."}},
        {"wrong code",
         {Fault{q8::CMD_DOWNLOAD_BEGIN, 1, FaultKind::WrongCode, 0xA8}},
         {"数据错误！请重试！"},
         q8::TransferOutcome::Failed,
         {"擦除剩余空间..."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig config;
        config.downloadBeginDelayMs = 3500;
        config.faults = c.faults;
        StartDevice(config);
        q8test::ScriptedUi caseUi;
        q8::TransferContext caseTransfer{station, state, caseUi};
        // Cancel once the worker has slept its 2000 ms and reads the reply.
        uint32_t beginSeen = 0;
        caseUi.cancelWhen = [this, &beginSeen](const q8::TransferState&) {
            if (beginSeen == 0 && sim->Occurrences(q8::CMD_DOWNLOAD_BEGIN) > 0) {
                beginSeen = q8::TickMs();
            }
            return beginSeen != 0 && q8::TickMs() - beginSeen > 2500;
        };

        EXPECT_EQ(q8::DownloadBatch(caseTransfer, {HostFile("c.bin", 3000)}), q8::BATCH_STOPPED);

        EXPECT_TRUE(caseUi.workerOutlivedWindow);
        EXPECT_EQ(caseUi.Messages(), c.messages);
        EXPECT_EQ(state.Outcome(), c.outcome);
        EXPECT_TRUE(Sent(q8::CMD_DOWNLOAD_BLOCK).empty());
        EXPECT_TRUE(Sent(q8::CMD_BATCH_END).empty());
        EXPECT_EQ(caseUi.Captions(), c.captions);
        sim->Stop();
    }
}

TEST_F(DownloadTest, CancelDuringBlocksStopsAtTheNextStep) {
    StartDevice();
    ui.cancelWhen = [](const q8::TransferState& s) { return s.Done() > 2048; };

    EXPECT_EQ(q8::DownloadBatch(transfer, {HostFile("c.bin", 200000)}), q8::BATCH_STOPPED);

    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Running);
    EXPECT_FALSE(state.KeepRunning());
    const size_t sent = Sent(q8::CMD_DOWNLOAD_BLOCK).size();
    EXPECT_GE(sent, 5u);
    EXPECT_LT(sent, q8::BlockCount(200000));
    EXPECT_TRUE(Sent(q8::CMD_DOWNLOAD_ENTRY).empty());
    EXPECT_TRUE(ui.Messages().empty());
}

// --- The batch ----------------------------------------------------------------------

TEST_F(DownloadTest, BatchSendsEveryRowRefreshesAndEndsOnce) {
    StartDevice();
    const std::vector<q8::DownloadRow> rows = {HostFile("one.bin", 700), HostFile("two.bin", 20)};

    EXPECT_EQ(q8::DownloadBatch(transfer, rows), q8::BATCH_DONE);

    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0].name, "one.bin");
    EXPECT_EQ(view.rows[1].name, "two.bin");
    EXPECT_EQ(ui.Lines(), (std::vector<std::string>{PathOf("one.bin"), PathOf("two.bin")}));
    // Nothing answers the batch end; give the device a moment to take it.
    for (int i = 0; i < 500 && sim->Occurrences(q8::CMD_BATCH_END) == 0; ++i) {
        q8::SleepMs(2);
    }
    EXPECT_EQ(Sent(q8::CMD_BATCH_END), (std::vector<Bytes>{Bytes{0x8F, 0x00}}));
    // Refresh first, after each file, and the batch end last of all.
    EXPECT_EQ(Sent(q8::CMD_HELLO).size(), 3u);
    const auto log = sim->WireLog();
    ASSERT_FALSE(log.empty());
    size_t last = log.size() - 1;
    while (log[last].direction != q8sim::WireRecord::HostToDevice) {
        --last;
    }
    EXPECT_EQ(log[last].bytes, (Bytes{0x8F, 0x00}));
}

TEST_F(DownloadTest, BatchStopsAtSixFilesOnTheCartridge) {
    struct Case {
        int filesBefore;
        size_t rows;
        size_t sent;
    };
    for (const Case c : {Case{6, 1, 0}, Case{4, 3, 2}}) {
        SCOPED_TRACE(c.filesBefore);
        SimConfig config;
        for (int i = 0; i < c.filesBefore; ++i) {
            config.files.push_back(q8sim::SyntheticFile("old" + std::to_string(i) + ".bin", 10));
        }
        StartDevice(config);
        std::vector<q8::DownloadRow> rows;
        for (size_t i = 0; i < c.rows; ++i) {
            rows.push_back(HostFile("new" + std::to_string(i) + ".bin", 100));
        }
        EXPECT_EQ(q8::DownloadBatch(transfer, rows), q8::BATCH_FULL);
        EXPECT_EQ(Sent(q8::CMD_DOWNLOAD_ENTRY).size(), c.sent);
        EXPECT_TRUE(Sent(q8::CMD_BATCH_END).empty());
        EXPECT_EQ(ui.Messages().back(), "下载文件已经不能超过6个！");
        EXPECT_EQ(sim->Files().size(), 6u);
        sim->Stop();
    }
}

// The refresh after a file fails: the count it left (0) must not let the
// next row past the six-file check.
TEST_F(DownloadTest, BatchEndsWhenTheRefreshAfterAFileFails) {
    SimConfig config;
    for (int i = 0; i < 5; ++i) {
        config.files.push_back(q8sim::SyntheticFile("old" + std::to_string(i) + ".bin", 10));
    }
    config.faults = {Fault{q8::CMD_HELLO, 2, FaultKind::NoReply}};
    StartDevice(config);
    const std::vector<q8::DownloadRow> rows = {HostFile("a.bin", 100), HostFile("b.bin", 100)};

    EXPECT_EQ(q8::DownloadBatch(transfer, rows), q8::BATCH_REFRESH_FAILED);
    EXPECT_EQ(Sent(q8::CMD_DOWNLOAD_ENTRY).size(), 1u);
    EXPECT_EQ(sim->Files().size(), 6u);
    EXPECT_TRUE(Sent(q8::CMD_BATCH_END).empty());
    EXPECT_EQ(model.status.text, "没有在COM1上找到设备！");
    EXPECT_TRUE(model.status.error);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(DownloadTest, EmptyListAndFailedRefreshSendNothing) {
    StartDevice();
    EXPECT_EQ(q8::DownloadBatch(transfer, {}), q8::BATCH_EMPTY);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"没有打开下载文件!"});
    EXPECT_TRUE(sim->WireLog().empty());

    sim->WithModel([](q8sim::DeviceModel& m) { m.SetMachineType(7); });
    EXPECT_EQ(q8::DownloadBatch(transfer, {HostFile("x.bin", 5)}), q8::BATCH_REFRESH_FAILED);
    EXPECT_EQ(model.status.text, "机器不匹配！请用Q8！");
    EXPECT_TRUE(model.status.error);
    EXPECT_TRUE(Sent(q8::CMD_DOWNLOAD_BEGIN).empty());
    EXPECT_EQ(ui.Messages().size(), 1u);
}

}  // namespace
