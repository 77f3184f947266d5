// Reading a file back from the cartridge and comparing it with its host
// source, against the device in memory, on virtual time.

#include <sys/stat.h>

#include <string>
#include <vector>

#include "TransferFixture.h"
#include "session/DownloadTransfer.h"
#include "session/ReadBack.h"
#include "sim/SimFiles.h"

namespace {

using q8::ReadBackResult;
using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;
using q8test::TimedFrame;

const char* NameOf(ReadBackResult result) {
    switch (result) {
        case ReadBackResult::Same:
            return "same";
        case ReadBackResult::Differs:
            return "differs";
        case ReadBackResult::UploadFailed:
            return "upload failed";
        case ReadBackResult::SourceUnreadable:
            return "source unreadable";
    }
    return "?";
}

class UploadReadBackTest : public q8test::MemoryTransferFixture {
  protected:
    // Sends SyntheticData(size) to the cartridge as its first file, through
    // the download worker, with `config`'s faults on the way.
    void StoreOnCartridge(uint32_t size, SimConfig config = {}) {
        StartDevice(config);
        WriteFile("sent.bin", q8sim::SyntheticData(size));
        model.info.freeBytes = 1 << 22;
        state.Reset();
        q8test::ScriptedUi storeUi{clock};
        q8::TransferContext store{station, state, storeUi};
        q8::DownloadWorker(store, q8::DownloadRow{"sent.bin", dir});
        ASSERT_EQ(state.Outcome(), q8::TransferOutcome::Done);
        ASSERT_EQ(device.Files().size(), 1u);
        written.clear();
    }
    q8::ReadBack Check(const std::string& source) {
        return q8::ReadBackAndCompare(transfer, 0, source);
    }
};

struct CompareCase {
    const char* name;
    uint32_t storedSize;  // sent to the cartridge
    int corruptBlock;     // from 1; 0: stored as sent
    int corruptOffset;    // in that block
    uint32_t sourceSize;  // of the host file compared with
    ReadBackResult result;
    uint64_t firstDifference;
};

void PrintTo(const CompareCase& c, std::ostream* os) {
    *os << c.name;
}

class UploadReadBackCompare : public UploadReadBackTest,
                              public ::testing::WithParamInterface<CompareCase> {};

// The cartridge stores a byte wrong and says nothing: only reading it back
// shows it, at its offset in the file. The host file is compared 64 KiB at a
// time, so a difference past the first piece must keep its whole offset.
TEST_P(UploadReadBackCompare, NamesTheFirstDifference) {
    const CompareCase& c = GetParam();
    SimConfig config;
    if (c.corruptBlock > 0) {
        config.faults = {
            Fault{q8::CMD_DOWNLOAD_BLOCK, c.corruptBlock, FaultKind::Corrupt, c.corruptOffset}};
    }
    StoreOnCartridge(c.storedSize, config);
    WriteFile("source.bin", q8sim::SyntheticData(c.sourceSize));

    const q8::ReadBack check = Check(PathOf("source.bin"));

    EXPECT_STREQ(NameOf(check.result), NameOf(c.result));
    EXPECT_EQ(check.firstDifference, c.firstDifference);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(ui.Lines(), std::vector<std::string>{PathOf("source.bin")});
    EXPECT_EQ(ui.Events(), (std::vector<std::string>{"prepare 上传文件...", "closed done"}));
    EXPECT_EQ(Sent(q8::CMD_UPLOAD_BEGIN), (std::vector<std::vector<uint8_t>>{{0x8B, 0}}));
    // The read back leaves no file beside the two.
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"sent.bin", "source.bin"}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, UploadReadBackCompare,
    ::testing::Values(
        CompareCase{"Empty", 0, 0, 0, 0, ReadBackResult::Same, 0},
        CompareCase{"OneBlockAndABit", 700, 0, 0, 700, ReadBackResult::Same, 0},
        CompareCase{"PastOneComparePiece", 70000, 0, 0, 70000, ReadBackResult::Same, 0},
        CompareCase{"FirstByte", 700, 1, 0, 700, ReadBackResult::Differs, 0},
        CompareCase{"SecondBlock", 3000, 2, 100, 3000, ReadBackResult::Differs, 612},
        CompareCase{"LastByte", 3000, 6, 3000 - 5 * 512 - 1, 3000, ReadBackResult::Differs, 2999},
        CompareCase{"SecondComparePiece", 70000, 129, 464, 70000, ReadBackResult::Differs, 66000},
        // Where the shorter one ends.
        CompareCase{"CopyShorter", 1000, 0, 0, 1500, ReadBackResult::Differs, 1000},
        CompareCase{"CopyLonger", 1500, 0, 0, 1000, ReadBackResult::Differs, 1000},
        CompareCase{"SourceEmpty", 10, 0, 0, 0, ReadBackResult::Differs, 0}),
    [](const ::testing::TestParamInfo<CompareCase>& c) { return std::string(c.param.name); });

TEST_F(UploadReadBackTest, FailedOrCancelledUploadIsNoComparison) {
    struct Case {
        const char* name;
        Fault fault;
        bool cancel;  // at the first block request
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"no reply", {q8::CMD_UPLOAD_BEGIN, 0, FaultKind::NoReply}, false, {"传输数据出错！"}},
        {"refused",
         {q8::CMD_UPLOAD_BEGIN, 0, FaultKind::Status, 2},
         false,
         {"卡盒没有此文件，请刷新！"}},
        {"ends early", {q8::CMD_UPLOAD_NEXT, 0, FaultKind::Status, 0}, false, {"传输数据出错！"}},
        {"cancelled", {}, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoreOnCartridge(3000);
        WriteFile("source.bin", q8sim::SyntheticData(3000));
        device.AddFault(c.fault);
        q8test::ScriptedUi caseUi{clock};
        q8::TransferContext caseTransfer{station, state, caseUi};
        onWrite = [this, &c, &caseUi](const TimedFrame& frame) {
            if (c.cancel && frame.bytes[0] == q8::CMD_UPLOAD_NEXT) {
                state.Cancel();
                caseUi.PressCancel();
            }
        };

        const q8::ReadBack check = q8::ReadBackAndCompare(caseTransfer, 0, PathOf("source.bin"));
        onWrite = nullptr;

        EXPECT_STREQ(NameOf(check.result), NameOf(ReadBackResult::UploadFailed));
        EXPECT_EQ(check.firstDifference, 0u);
        EXPECT_EQ(caseUi.Messages(), c.messages);
        EXPECT_EQ(Sent(q8::CMD_UPLOAD_BEGIN).size(), 1u);
    }
}

// The copy came, but the source cannot be read to compare it with.
TEST_F(UploadReadBackTest, UnreadableSourceAfterTheCopyCame) {
    StoreOnCartridge(3000);
    ASSERT_EQ(mkdir(PathOf("folder.bin").c_str(), 0700), 0);
    for (const char* name : {"gone.bin", "folder.bin"}) {
        SCOPED_TRACE(name);
        const size_t requests = Sent(q8::CMD_UPLOAD_NEXT).size();
        const q8::ReadBack check = Check(PathOf(name));
        EXPECT_STREQ(NameOf(check.result), NameOf(ReadBackResult::SourceUnreadable));
        EXPECT_EQ(check.firstDifference, 0u);
        // All six blocks and the end were asked for.
        EXPECT_EQ(Sent(q8::CMD_UPLOAD_NEXT).size(), requests + 7);
    }
    EXPECT_TRUE(ui.Messages().empty());
}

}  // namespace
