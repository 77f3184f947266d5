// The upload worker and UploadFile against the device in memory, on virtual
// time, with the real worker thread.

#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "ResultPrinters.h"
#include "TransferFixture.h"
#include "session/UploadTransfer.h"
#include "sim/SimFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;
using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;
using q8test::TimedFrame;

const Bytes OLD_CONTENT = {'k', 'e', 'e', 'p'};

class UploadTest : public q8test::MemoryTransferFixture {
  protected:
    // A cartridge holding files of these sizes, and an old target file.
    void StartWithFiles(std::vector<uint32_t> sizes, SimConfig config = {}) {
        for (size_t i = 0; i < sizes.size(); ++i) {
            config.files.push_back(
                q8sim::SyntheticFile("f" + std::to_string(i) + ".bin", sizes[i]));
        }
        StartDevice(config);
        WriteFile("target.bin", OLD_CONTENT);
        ui.target = PathOf("target.bin");
    }
    q8::UploadResult Upload(int index) {
        view.mark = index;
        return q8::UploadFile(transfer);
    }
    // The old target is still there, byte for byte, and nothing beside it.
    void ExpectTargetUntouched() {
        EXPECT_EQ(ReadFile("target.bin"), OLD_CONTENT);
        EXPECT_EQ(FolderNames(), std::vector<std::string>{"target.bin"});
    }
};

TEST_F(UploadTest, WritesExactlyTheAnnouncedSize) {
    StartWithFiles({1000, 0, 1024});
    struct Case {
        int index;
        uint32_t size;
        int extraBlocks;  // a device that sends more than it announced
        uint32_t done;
    };
    for (const Case c : {Case{0, 1000, 0, 1024}, Case{1, 0, 0, 0}, Case{2, 1024, 0, 1024},
                         Case{0, 1000, 2, 2048}}) {
        SCOPED_TRACE(c.index);
        device.SetExtraUploadBlocks(c.extraBlocks);
        EXPECT_EQ(Upload(c.index), q8::UploadResult::Done);
        EXPECT_EQ(ReadFile("target.bin"), q8sim::SyntheticData(c.size));
        EXPECT_EQ(state.Total(), c.size);
        EXPECT_EQ(state.Done(), c.done);
        EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Done);
        EXPECT_EQ(FolderNames(), std::vector<std::string>{"target.bin"});
    }
    EXPECT_EQ(Sent(q8::CMD_UPLOAD_BEGIN),
              (std::vector<Bytes>{{0x8B, 0}, {0x8B, 1}, {0x8B, 2}, {0x8B, 0}}));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(ui.Captions(), std::vector<std::string>(4, "上传文件..."));
    EXPECT_EQ(ui.Lines().back(), PathOf("target.bin"));
}

// The message is read before the window ends.
TEST_F(UploadTest, RefusalEndsTheWindowAndKeepsTheOldFile) {
    StartWithFiles({100});
    struct Case {
        uint8_t status;
        const char* message;
    };
    for (const Case c : {Case{1, "此卡盒不能识别！"}, Case{2, "卡盒没有此文件，请刷新！"},
                         Case{0xFF, "卡盒没有此文件，请刷新！"}}) {
        SCOPED_TRACE(c.status);
        device.ClearFaults();
        device.AddFault(Fault{q8::CMD_UPLOAD_BEGIN, 0, FaultKind::Status, c.status});
        const size_t before = ui.Events().size();
        EXPECT_EQ(Upload(0), q8::UploadResult::Stopped);
        const std::vector<std::string> events = ui.Events();
        EXPECT_EQ(
            std::vector<std::string>(events.begin() + static_cast<long>(before), events.end()),
            (std::vector<std::string>{"prepare 上传文件...", std::string("show ") + c.message,
                                      "end failed", "closed failed"}));
        EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Running);
        ExpectTargetUntouched();
    }
    EXPECT_TRUE(Sent(q8::CMD_UPLOAD_NEXT).empty());
}

TEST_F(UploadTest, BrokenRepliesFailAndKeepTheOldFile) {
    StartWithFiles({3000});
    const std::vector<Fault> faults = {
        Fault{q8::CMD_UPLOAD_BEGIN, 0, FaultKind::WrongCode, q8::RPL_UPLOAD_NEXT},
        Fault{q8::CMD_UPLOAD_BEGIN, 0, FaultKind::Truncate, 4},   // size bytes cut short
        Fault{q8::CMD_UPLOAD_NEXT, 3, FaultKind::Truncate, 300},  // block data cut short
        // Counted over the whole run: the 2nd request of this upload, so the
        // device says end of file after 512 of the 3000 bytes it announced.
        Fault{q8::CMD_UPLOAD_NEXT, 5, FaultKind::Status, 0},
    };
    for (const Fault& fault : faults) {
        device.ClearFaults();
        device.AddFault(fault);
        EXPECT_EQ(Upload(0), q8::UploadResult::Stopped);
        EXPECT_EQ(ui.Messages().back(), "传输数据出错！");
        EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Failed);
        ExpectTargetUntouched();
    }
    EXPECT_EQ(ui.Messages().size(), faults.size());
}

// A reply counts until the end of the 401 ms low-level wait in which its
// 2500 ms deadline passes: 2807 ms after the read began. The header is read
// from the frame on; the size or the block data after it from the header on.
struct TimingCase {
    const char* name;
    Fault fault;          // a Delay (the whole reply) or LateData (its data part)
    uint64_t readEndsMs;  // from the frame to where the read that waits ends
    bool fails;
};

void PrintTo(const TimingCase& c, std::ostream* os) {
    *os << c.name;
}

class UploadReplyTiming : public UploadTest, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(UploadReplyTiming, CountsUntilTheEndOfTheWaitInWhichTheDeadlinePasses) {
    const TimingCase& c = GetParam();
    SimConfig config;
    config.faults = {c.fault};
    StartWithFiles({1000}, config);  // two blocks: requests 1 and 2 bring them, 3 ends

    EXPECT_EQ(Upload(0), c.fails ? q8::UploadResult::Stopped : q8::UploadResult::Done);

    const size_t asked = IndexOf(c.fault.command, static_cast<size_t>(c.fault.occurrence));
    ASSERT_LT(asked, written.size());
    const bool more = asked + 1 < written.size();
    if (c.fails) {
        // Nothing went out after it, and the window ended without a pause.
        EXPECT_FALSE(more);
        EXPECT_EQ(ElapsedMs() - written[asked].atMs, c.readEndsMs);
        EXPECT_EQ(ui.Messages(), std::vector<std::string>{"传输数据出错！"});
        EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Failed);
        ExpectTargetUntouched();
    } else {
        ASSERT_TRUE(more);
        EXPECT_EQ(written[asked + 1].atMs - written[asked].atMs, c.readEndsMs);
        EXPECT_TRUE(ui.Messages().empty());
        EXPECT_EQ(ReadFile("target.bin"), q8sim::SyntheticData(1000));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Deadlines, UploadReplyTiming,
    ::testing::Values(
        TimingCase{
            "BeginAtTheLastMoment", {q8::CMD_UPLOAD_BEGIN, 1, FaultKind::Delay, 2807}, 2807, false},
        TimingCase{"BeginOneMsLate", {q8::CMD_UPLOAD_BEGIN, 1, FaultKind::Delay, 2808}, 2807, true},
        TimingCase{"SizeAtTheLastMoment",
                   {q8::CMD_UPLOAD_BEGIN, 1, FaultKind::LateData, 2807},
                   2807,
                   false},
        TimingCase{
            "SizeOneMsLate", {q8::CMD_UPLOAD_BEGIN, 1, FaultKind::LateData, 2808}, 2807, true},
        TimingCase{
            "BlockAtTheLastMoment", {q8::CMD_UPLOAD_NEXT, 2, FaultKind::Delay, 2807}, 2807, false},
        TimingCase{"BlockOneMsLate", {q8::CMD_UPLOAD_NEXT, 2, FaultKind::Delay, 2808}, 2807, true},
        TimingCase{"BlockDataAtTheLastMoment",
                   {q8::CMD_UPLOAD_NEXT, 1, FaultKind::LateData, 2807},
                   2807,
                   false},
        TimingCase{
            "BlockDataOneMsLate", {q8::CMD_UPLOAD_NEXT, 1, FaultKind::LateData, 2808}, 2807, true},
        // Both parts late by 2000 ms: each read has a deadline of its own.
        TimingCase{
            "HeaderAndDataEachWithinTheirDeadline",
            {q8::CMD_UPLOAD_NEXT,
             1,
             FaultKind::Script,
             0,
             0,
             {{2000, {q8::RPL_UPLOAD_NEXT, 1}}, {2000, q8sim::SyntheticData(q8::BLOCK_SIZE)}}},
            4000,
            false}),
    [](const ::testing::TestParamInfo<TimingCase>& c) { return std::string(c.param.name); });

// The worker sees the cleared flag at its next step: the frame in flight is
// the last one, and no part of the file takes the target's place.
struct CancelCase {
    const char* name;
    uint8_t command;  // cancelled as this frame goes out
    size_t occurrence;
    size_t requests;  // block requests sent in all
    uint32_t done;
};

void PrintTo(const CancelCase& c, std::ostream* os) {
    *os << c.name;
}

class UploadCancel : public UploadTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(UploadCancel, KeepsTheOldFile) {
    const CancelCase& c = GetParam();
    StartWithFiles({100000});
    size_t seen = 0;
    onWrite = [this, &c, &seen](const TimedFrame& frame) {
        if (frame.bytes[0] == c.command && ++seen == c.occurrence) {
            CancelNow();
        }
    };

    EXPECT_EQ(Upload(0), q8::UploadResult::Stopped);

    EXPECT_EQ(IndexOf(c.command, c.occurrence) + 1, written.size());
    EXPECT_EQ(Sent(q8::CMD_UPLOAD_NEXT).size(), c.requests);
    EXPECT_EQ(state.Done(), c.done);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Running);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(ui.Events(), (std::vector<std::string>{"prepare 上传文件...", "closed cancelled"}));
    ExpectTargetUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Frames, UploadCancel,
    ::testing::Values(CancelCase{"Begin", q8::CMD_UPLOAD_BEGIN, 1, 0, 0},
                      CancelCase{"FirstRequest", q8::CMD_UPLOAD_NEXT, 1, 1, 0},
                      CancelCase{"NinthRequest", q8::CMD_UPLOAD_NEXT, 9, 9, 8 * q8::BLOCK_SIZE}),
    [](const ::testing::TestParamInfo<CancelCase>& c) { return std::string(c.param.name); });

TEST_F(UploadTest, FailedWriteToThePcFileIsATransferError) {
    StartWithFiles({4000});
    // A disk that fills up after 1000 bytes.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const q8::UploadResult result = Upload(0);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, q8::UploadResult::Stopped);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"传输数据出错！"});
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Failed);
    ExpectTargetUntouched();
}

TEST_F(UploadTest, NothingIsSentWithoutAMarkOrAWritableTarget) {
    StartWithFiles({10});
    EXPECT_EQ(Upload(-1), q8::UploadResult::NotStarted);
    EXPECT_EQ(model.status.text, "请在卡盒文件列表中选择文件！");
    EXPECT_EQ(view.shownStatus, "请在卡盒文件列表中选择文件！");

    ui.target.clear();  // the save dialog was cancelled
    model.status.text = "before";
    EXPECT_EQ(Upload(0), q8::UploadResult::NotStarted);
    EXPECT_EQ(model.status.text, "before");

    ui.target = PathOf("no-such-folder/x.bin");
    EXPECT_EQ(Upload(0), q8::UploadResult::NotStarted);
    EXPECT_EQ(model.status.text, "不能保存为此文件！");
    EXPECT_FALSE(model.status.error);
    EXPECT_TRUE(written.empty());
    EXPECT_TRUE(ui.Captions().empty());
}

}  // namespace
