// The download worker and batch against the device in memory, on virtual
// time, with the real worker thread where the batch starts one.

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include "ResultPrinters.h"
#include "TransferFixture.h"
#include "protocol/ByteOrder.h"
#include "session/DownloadTransfer.h"
#include "sim/SimFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;
using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;
using q8test::TimedFrame;

constexpr time_t FILE_MTIME = 1118000000;  // June 2005

class DownloadTest : public q8test::MemoryTransferFixture {
  protected:
    // A host file of `size` pattern bytes with a fixed modification time.
    q8::DownloadRow HostFile(const std::string& name, uint32_t size) {
        const Bytes data = q8sim::SyntheticData(size);
        WriteFile(name, data);
        const timeval times[2] = {{FILE_MTIME, 0}, {FILE_MTIME, 0}};
        EXPECT_EQ(utimes(PathOf(name).c_str(), times), 0);
        return q8::DownloadRow{name, dir};
    }
    // The worker on its own, on the test's thread, as the batch runs it, with
    // the space the last refresh would have left.
    void RunWorker(const q8::DownloadRow& row, uint32_t freeBytes = 1 << 22) {
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

    const auto& files = device.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].data, q8sim::SyntheticData(size));
    EXPECT_EQ(state.Total(), size);
    EXPECT_EQ(state.Done(), std::max<uint32_t>(blocks, 1) * q8::BLOCK_SIZE);
    EXPECT_EQ(model.info.freeBytes, (1u << 22) - q8::CartridgeFootprint(size));
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
    ASSERT_EQ(device.Files().size(), 1u);
    EXPECT_EQ(device.Files()[0].data, q8sim::SyntheticData(1500));
    EXPECT_EQ(state.Done(), 3 * q8::BLOCK_SIZE);
}

// --- Reply timing -------------------------------------------------------------------

// A reply counts until the end of the 401 ms low-level wait in which its
// deadline passes, counted from when the host starts reading: for the
// download begin that is after its 2000 ms pause (2000 + 20 waits of 401 =
// 10020 ms after the frame), for a block or the entry 800 ms -> 802 ms.
// Reading begins right away; a begin reply that is there early is read when
// the pause is over.
struct TimingCase {
    const char* name;
    uint8_t command;
    int occurrence;
    int delayMs;          // of the reply, from the frame
    uint64_t readEndsMs;  // from the frame to the read's end
    const char* message;  // nullptr: the file goes through
};

void PrintTo(const TimingCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadReplyTiming : public DownloadTest,
                            public ::testing::WithParamInterface<TimingCase> {};

TEST_P(DownloadReplyTiming, CountsUntilTheEndOfTheWaitInWhichTheDeadlinePasses) {
    const TimingCase& c = GetParam();
    SimConfig config;
    config.faults = {Fault{c.command, c.occurrence, FaultKind::Delay, c.delayMs}};
    StartDevice(config);
    RunWorker(HostFile("t.bin", 1200));

    const size_t asked = IndexOf(c.command, static_cast<size_t>(c.occurrence));
    ASSERT_LT(asked, written.size());
    // The read ends where the next frame goes out, or where the worker ends.
    const bool more = asked + 1 < written.size();
    const uint64_t readEnd = more ? written[asked + 1].atMs : ElapsedMs();
    EXPECT_EQ(readEnd - written[asked].atMs, c.readEndsMs);
    if (c.message == nullptr) {
        EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Done);
        EXPECT_TRUE(ui.Messages().empty());
        ASSERT_EQ(device.Files().size(), 1u);
        EXPECT_EQ(device.Files()[0].data, q8sim::SyntheticData(1200));
    } else {
        EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Failed);
        EXPECT_EQ(ui.Messages(), std::vector<std::string>{c.message});
        EXPECT_FALSE(more) << "a frame went out after the failed read";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Deadlines, DownloadReplyTiming,
    ::testing::Values(
        TimingCase{"BeginReplyWaitsForThePause", q8::CMD_DOWNLOAD_BEGIN, 1, 0, 2000, nullptr},
        TimingCase{"BeginReplyDuringTheRead", q8::CMD_DOWNLOAD_BEGIN, 1, 3500, 3500, nullptr},
        TimingCase{"BeginReplyAtTheLastMoment", q8::CMD_DOWNLOAD_BEGIN, 1, 10020, 10020, nullptr},
        TimingCase{"BeginReplyOneMsLate", q8::CMD_DOWNLOAD_BEGIN, 1, 10021, 10020,
                   "机器断线或退出下载状态！"},
        TimingCase{"BlockReplyAtTheLastMoment", q8::CMD_DOWNLOAD_BLOCK, 2, 802, 802, nullptr},
        TimingCase{"BlockReplyOneMsLate", q8::CMD_DOWNLOAD_BLOCK, 2, 803, 802,
                   "在下载中传输数据出错！请重试"},
        TimingCase{"EntryReplyAtTheLastMoment", q8::CMD_DOWNLOAD_ENTRY, 1, 802, 802, nullptr},
        TimingCase{"EntryReplyOneMsLate", q8::CMD_DOWNLOAD_ENTRY, 1, 803, 802,
                   "机器断线或退出下载状态！"}),
    [](const ::testing::TestParamInfo<TimingCase>& c) { return std::string(c.param.name); });

// --- Refusals before anything is sent ---------------------------------------------

TEST_F(DownloadTest, SpaceCheckUsesTheFootprint) {
    StartDevice();
    const q8::DownloadRow row = HostFile("big.bin", 16385);  // footprint 32768

    RunWorker(row, 32767);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Refused);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{
                                 "卡盒空间32767*8bits；文件大小32768*8bits。空间不够，不能下载!"});
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(model.info.freeBytes, 32767u);

    RunWorker(row, 32768);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Done);
    EXPECT_EQ(model.info.freeBytes, 0u);

    // Free space of 2 GiB and more is no negative count.
    RunWorker(row, 3000000000u);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Done);
    EXPECT_EQ(model.info.freeBytes, 3000000000u - 32768);
}

TEST_F(DownloadTest, MissingAndHugeFilesAreRefusedWithNothingSent) {
    StartDevice();
    RunWorker(q8::DownloadRow{"gone.bin", dir});
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Refused);
    // One byte short of room for a 2 GiB file.
    WriteFile("huge.bin", {});
    ASSERT_EQ(truncate(PathOf("huge.bin").c_str(), 1ll << 31), 0);  // sparse
    RunWorker(q8::DownloadRow{"huge.bin", dir}, INT32_MAX);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Refused);

    std::string gone("打开文件（");
    gone += PathOf("gone.bin");
    gone += "）失败!";
    EXPECT_EQ(
        ui.Messages(),
        (std::vector<std::string>{
            gone, "卡盒空间2147483647*8bits；文件大小2147483648*8bits。空间不够，不能下载!"}));
    EXPECT_TRUE(written.empty());
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
    const Fault& fault = GetParam().fault;
    SimConfig config;
    config.faults = {fault};
    StartDevice(config);
    RunWorker(HostFile("f.bin", 1200));
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{GetParam().message});
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Failed);
    // The frame whose reply failed is the last one that went out.
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.back().bytes[0], fault.command);
    EXPECT_EQ(Sent(fault.command).size(), static_cast<size_t>(fault.occurrence));
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
        device.ClearFrames();
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

// The user cancels while the worker waits for the erase; the device answers
// 3500 ms after the begin frame. The window ends at once, and RunTransfer
// still waits for the worker, which goes on only after the window has gone.
// Cancelled during its 2000 ms pause, the worker stops silently without
// reading the reply, whatever it is. Cancelled while it reads, a good reply
// lets it end silently at its next step; a bad or missing one is still
// reported, after the window and before the batch goes on.
enum class EraseCancel { InThePause, InTheRead };

struct EraseCancelCase {
    const char* name;
    EraseCancel when;
    std::vector<Fault> faults;
    std::vector<std::string> afterWindow;  // what the UI saw once the window had gone
    q8::TransferOutcome outcome;
    uint64_t workerEndsMs;  // from the begin frame
};

void PrintTo(const EraseCancelCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadEraseCancel : public DownloadTest,
                            public ::testing::WithParamInterface<EraseCancelCase> {};

TEST_P(DownloadEraseCancel, WindowEndsAtOnceAndTheWorkerIsWaitedFor) {
    const EraseCancelCase& c = GetParam();
    SimConfig config;
    config.downloadBeginDelayMs = 3500;
    config.faults = c.faults;
    StartDevice(config);
    // Cancel as the begin frame goes out or as the read of its reply begins,
    // and keep the worker there until the window has gone.
    bool cancelled = false;
    const auto cancel = [this, &cancelled] {
        cancelled = true;
        CancelNow();
        ui.HoldWorkerUntilWindowGone();
    };
    onWrite = [&c, &cancel](const TimedFrame& frame) {
        if (c.when == EraseCancel::InThePause && frame.bytes[0] == q8::CMD_DOWNLOAD_BEGIN) {
            cancel();
        }
    };
    onRead = [this, &c, &cancel, &cancelled] {
        if (c.when == EraseCancel::InTheRead && !cancelled &&
            written.back().bytes[0] == q8::CMD_DOWNLOAD_BEGIN) {
            cancel();
        }
    };

    EXPECT_EQ(q8::DownloadBatch(transfer, {HostFile("c.bin", 3000)}), q8::BatchResult::Stopped);

    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(ui.workerOutlivedWindow);
    std::vector<std::string> events = {"prepare 擦除剩余空间...", "closed cancelled"};
    events.insert(events.end(), c.afterWindow.begin(), c.afterWindow.end());
    EXPECT_EQ(ui.Events(), events);
    EXPECT_EQ(state.Outcome(), c.outcome);
    // The begin frame was the last: no block, no refresh, no batch end.
    const size_t begin = IndexOf(q8::CMD_DOWNLOAD_BEGIN, 1);
    ASSERT_LT(begin, written.size());
    EXPECT_EQ(begin + 1, written.size());
    EXPECT_EQ(ElapsedMs() - written[begin].atMs, c.workerEndsMs);
    EXPECT_TRUE(Sent(q8::CMD_DOWNLOAD_BLOCK).empty());
    EXPECT_TRUE(Sent(q8::CMD_BATCH_END).empty());
}

const Fault BEGIN_WRONG_CODE{q8::CMD_DOWNLOAD_BEGIN, 1, FaultKind::WrongCode, 0xA8};
const Fault BEGIN_NO_REPLY{q8::CMD_DOWNLOAD_BEGIN, 1, FaultKind::NoReply};

INSTANTIATE_TEST_SUITE_P(
    Replies, DownloadEraseCancel,
    ::testing::Values(
        EraseCancelCase{
            "PauseGoodReply", EraseCancel::InThePause, {}, {}, q8::TransferOutcome::Running, 2000},
        EraseCancelCase{"PauseWrongCode",
                        EraseCancel::InThePause,
                        {BEGIN_WRONG_CODE},
                        {},
                        q8::TransferOutcome::Running,
                        2000},
        EraseCancelCase{"ReadGoodReply",
                        EraseCancel::InTheRead,
                        {},
                        {"caption 下载文件..."},
                        q8::TransferOutcome::Running,
                        3500},
        EraseCancelCase{"ReadWrongCode",
                        EraseCancel::InTheRead,
                        {BEGIN_WRONG_CODE},
                        {"show 数据错误！请重试！"},
                        q8::TransferOutcome::Failed,
                        3500},
        EraseCancelCase{"ReadNoReply",
                        EraseCancel::InTheRead,
                        {BEGIN_NO_REPLY},
                        {"show 机器断线或退出下载状态！"},
                        q8::TransferOutcome::Failed,
                        10020}),
    [](const ::testing::TestParamInfo<EraseCancelCase>& c) { return std::string(c.param.name); });

struct CancelCase {
    const char* name;
    uint8_t command;  // cancelled as this frame goes out
    size_t occurrence;
    size_t blocks;  // block frames sent in all
    size_t entries;
};

void PrintTo(const CancelCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadCancel : public DownloadTest, public ::testing::WithParamInterface<CancelCase> {};

// 5000 bytes: 10 blocks. The worker sees the cleared flag at its next step:
// the frame in flight is the last one.
TEST_P(DownloadCancel, StopsAtTheNextStepSilently) {
    const CancelCase& c = GetParam();
    StartDevice();
    size_t seen = 0;
    onWrite = [this, &c, &seen](const TimedFrame& frame) {
        if (frame.bytes[0] == c.command && ++seen == c.occurrence) {
            CancelNow();
        }
    };

    EXPECT_EQ(q8::DownloadBatch(transfer, {HostFile("c.bin", 5000)}), q8::BatchResult::Stopped);

    EXPECT_EQ(IndexOf(c.command, c.occurrence) + 1, written.size());
    EXPECT_EQ(Sent(q8::CMD_DOWNLOAD_BLOCK).size(), c.blocks);
    EXPECT_EQ(Sent(q8::CMD_DOWNLOAD_ENTRY).size(), c.entries);
    EXPECT_EQ(Sent(q8::CMD_HELLO).size(), 1u);  // the refresh before the file only
    EXPECT_TRUE(Sent(q8::CMD_BATCH_END).empty());
    EXPECT_EQ(state.Done(), c.blocks * q8::BLOCK_SIZE);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Running);
    EXPECT_FALSE(state.KeepRunning());
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(ui.Events(), (std::vector<std::string>{"prepare 擦除剩余空间...",
                                                     "caption 下载文件...", "closed cancelled"}));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, DownloadCancel,
    ::testing::Values(CancelCase{"FirstBlock", q8::CMD_DOWNLOAD_BLOCK, 1, 1, 0},
                      CancelCase{"ThirdBlock", q8::CMD_DOWNLOAD_BLOCK, 3, 3, 0},
                      CancelCase{"LastBlock", q8::CMD_DOWNLOAD_BLOCK, 10, 10, 0},
                      CancelCase{"Entry", q8::CMD_DOWNLOAD_ENTRY, 1, 10, 1}),
    [](const ::testing::TestParamInfo<CancelCase>& c) { return std::string(c.param.name); });

// --- The batch ----------------------------------------------------------------------

TEST_F(DownloadTest, BatchSendsEveryRowRefreshesAndEndsOnce) {
    SimConfig config;
    // Each entry reply takes 300 ms, so that the pause after a file is seen
    // to run from the reply, not from the frame.
    config.faults = {Fault{q8::CMD_DOWNLOAD_ENTRY, q8sim::EVERY_OCCURRENCE, FaultKind::Delay, 300}};
    StartDevice(config);
    const std::vector<q8::DownloadRow> rows = {HostFile("one.bin", 700), HostFile("two.bin", 20)};

    EXPECT_EQ(q8::DownloadBatch(transfer, rows), q8::BatchResult::Done);

    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0].name, "one.bin");
    EXPECT_EQ(view.rows[1].name, "two.bin");
    EXPECT_EQ(ui.Lines(), (std::vector<std::string>{PathOf("one.bin"), PathOf("two.bin")}));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(Sent(q8::CMD_BATCH_END), (std::vector<Bytes>{Bytes{0x8F, 0x00}}));
    // Refresh first, after each file, and the batch end last of all.
    EXPECT_EQ(Sent(q8::CMD_HELLO).size(), 3u);
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.back().bytes, (Bytes{0x8F, 0x00}));

    // Per file: the first block 2000 ms after the begin frame (the erase
    // pause), and the refresh's hello 1000 ms after the entry's reply.
    for (size_t file = 1; file <= 2; ++file) {
        SCOPED_TRACE(file);
        const size_t begin = IndexOf(q8::CMD_DOWNLOAD_BEGIN, file);
        const size_t block = NextWith(q8::CMD_DOWNLOAD_BLOCK, begin);
        const size_t entry = IndexOf(q8::CMD_DOWNLOAD_ENTRY, file);
        const size_t hello = NextWith(q8::CMD_HELLO, entry);
        ASSERT_LT(hello, written.size());
        EXPECT_EQ(written[block].atMs - written[begin].atMs, 2000u);
        EXPECT_EQ(written[hello].atMs - (written[entry].atMs + 300), 1000u);
    }
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
        EXPECT_EQ(q8::DownloadBatch(transfer, rows), q8::BatchResult::Full);
        EXPECT_EQ(Sent(q8::CMD_DOWNLOAD_ENTRY).size(), c.sent);
        EXPECT_TRUE(Sent(q8::CMD_BATCH_END).empty());
        EXPECT_EQ(ui.Messages().back(), "下载文件已经不能超过6个！");
        EXPECT_EQ(device.Files().size(), 6u);
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

    EXPECT_EQ(q8::DownloadBatch(transfer, rows), q8::BatchResult::RefreshFailed);
    EXPECT_EQ(Sent(q8::CMD_DOWNLOAD_ENTRY).size(), 1u);
    EXPECT_EQ(device.Files().size(), 6u);
    EXPECT_TRUE(Sent(q8::CMD_BATCH_END).empty());
    EXPECT_EQ(model.status.text, "没有在COM1上找到设备！");
    EXPECT_TRUE(model.status.error);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(DownloadTest, EmptyListAndFailedRefreshSendNothing) {
    StartDevice();
    EXPECT_EQ(q8::DownloadBatch(transfer, {}), q8::BatchResult::Empty);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"没有打开下载文件!"});
    EXPECT_TRUE(written.empty());

    device.SetMachineType(7);
    EXPECT_EQ(q8::DownloadBatch(transfer, {HostFile("x.bin", 5)}), q8::BatchResult::RefreshFailed);
    EXPECT_EQ(model.status.text, "机器不匹配！请用Q8！");
    EXPECT_TRUE(model.status.error);
    EXPECT_TRUE(Sent(q8::CMD_DOWNLOAD_BEGIN).empty());
    EXPECT_EQ(ui.Messages().size(), 1u);
}

}  // namespace
