// The upload worker and UploadFile over a real pty against the simulated
// device.

#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "TransferFixture.h"
#include "protocol/Texts.h"
#include "protocol/UploadTransfer.h"
#include "sim/SimFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;
using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;

const Bytes OLD_CONTENT = {'k', 'e', 'e', 'p'};

class UploadTest : public q8test::TransferFixture {
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
    int Upload(int index) {
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
        sim->WithModel([&c](q8sim::DeviceModel& m) { m.SetExtraUploadBlocks(c.extraBlocks); });
        EXPECT_EQ(Upload(c.index), q8::UPLOAD_DONE);
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

TEST_F(UploadTest, RefusalEndsTheWindowAndKeepsTheOldFile) {
    StartWithFiles({100});
    struct Case {
        uint8_t status;
        const char* message;
    };
    for (const Case c : {Case{1, "此卡盒不能识别！"}, Case{2, "卡盒没有此文件，请刷新！"},
                         Case{0xFF, "卡盒没有此文件，请刷新！"}}) {
        SCOPED_TRACE(c.status);
        sim->ClearFaults();
        sim->AddFault(Fault{q8::CMD_UPLOAD_BEGIN, 0, FaultKind::Status, c.status});
        EXPECT_EQ(Upload(0), q8::UPLOAD_STOPPED);
        EXPECT_EQ(ui.Messages().back(), c.message);
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
        sim->ClearFaults();
        sim->AddFault(fault);
        EXPECT_EQ(Upload(0), q8::UPLOAD_STOPPED);
        EXPECT_EQ(ui.Messages().back(), "传输数据出错！");
        EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Failed);
        ExpectTargetUntouched();
    }
}

TEST_F(UploadTest, CancelDuringBlocksKeepsTheOldFile) {
    StartWithFiles({100000});
    ui.cancelWhen = [](const q8::TransferState& s) { return s.Done() > 4096; };
    EXPECT_EQ(Upload(0), q8::UPLOAD_STOPPED);
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Running);
    EXPECT_LT(Sent(q8::CMD_UPLOAD_NEXT).size(), q8::BlockCount(100000));
    EXPECT_TRUE(ui.Messages().empty());
    ExpectTargetUntouched();
}

TEST_F(UploadTest, FailedWriteToThePcFileIsATransferError) {
    StartWithFiles({4000});
    // A disk that fills up after 1000 bytes.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = Upload(0);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, q8::UPLOAD_STOPPED);
    EXPECT_EQ(ui.Messages(), std::vector<std::string>{"传输数据出错！"});
    EXPECT_EQ(state.Outcome(), q8::TransferOutcome::Failed);
    ExpectTargetUntouched();
}

TEST_F(UploadTest, NothingIsSentWithoutAMarkOrAWritableTarget) {
    StartWithFiles({10});
    EXPECT_EQ(Upload(-1), q8::UPLOAD_NOT_STARTED);
    EXPECT_EQ(model.status.text, "请在卡盒文件列表中选择文件！");
    EXPECT_EQ(view.shownStatus, "请在卡盒文件列表中选择文件！");

    ui.target.clear();  // the save dialog was cancelled
    model.status.text = "before";
    EXPECT_EQ(Upload(0), q8::UPLOAD_NOT_STARTED);
    EXPECT_EQ(model.status.text, "before");

    ui.target = PathOf("no-such-folder/x.bin");
    EXPECT_EQ(Upload(0), q8::UPLOAD_NOT_STARTED);
    EXPECT_EQ(model.status.text, "不能保存为此文件！");
    EXPECT_FALSE(model.status.error);
    EXPECT_TRUE(sim->WireLog().empty());
    EXPECT_TRUE(ui.Captions().empty());
}

}  // namespace
