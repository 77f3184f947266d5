// The simulated device: its protocol logic frame by frame, the fault shapes,
// q8sim's option parsing and folder loading, and the pty plumbing.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/ByteOrder.h"
#include "protocol/DirEntry.h"
#include "protocol/Frames.h"
#include "sim/CommandLine.h"
#include "sim/DeviceModel.h"
#include "sim/LineTiming.h"
#include "sim/SimFiles.h"
#include "sim/Simulator.h"

namespace {

using Bytes = std::vector<uint8_t>;
using q8sim::Action;
using q8sim::DeviceModel;
using q8sim::Exchange;
using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;
using q8sim::SimFile;

constexpr q8::DirTime FILE_TIME{2023, 4, 5, 6, 7, 8};
// Any card-info status of 0x80 or more other than 0x81.
constexpr uint8_t CARD_NOT_FORMATTED = 0x83;

Bytes ShortFrame(uint8_t command, uint8_t argument = 0) {
    return {command, argument};
}

Bytes DownloadBeginFrame(uint32_t blocks) {
    Bytes frame(q8::DOWNLOAD_BEGIN_FRAME_LENGTH, 0);
    frame[0] = q8::CMD_DOWNLOAD_BEGIN;
    q8::PutLe32(frame.data() + 2, blocks);
    return frame;
}

Bytes DownloadBlockFrame(const Bytes& data, size_t offset) {
    Bytes frame(q8::DOWNLOAD_BLOCK_FRAME_LENGTH, 0);
    frame[0] = q8::CMD_DOWNLOAD_BLOCK;
    frame[1] = q8::DOWNLOAD_BLOCK_ARGUMENT;
    for (size_t i = 0; i < q8::BLOCK_SIZE && offset + i < data.size(); ++i) {
        frame[2 + i] = data[offset + i];
    }
    return frame;
}

Bytes DownloadEntryFrame(const std::string& name, uint32_t size) {
    Bytes frame(q8::DOWNLOAD_ENTRY_FRAME_LENGTH, 0);
    frame[0] = q8::CMD_DOWNLOAD_ENTRY;
    const q8::DirEntry entry = q8::DirEntry::Make(name, FILE_TIME, size);
    std::copy(entry.bytes.begin(), entry.bytes.end(), frame.begin() + 2);
    return frame;
}

// Feeds one whole frame and returns the actions of the one exchange it makes.
std::vector<Action> Send(DeviceModel& model, const Bytes& frame) {
    std::vector<Exchange> exchanges = model.Feed(frame.data(), frame.size());
    EXPECT_EQ(exchanges.size(), 1u);
    return exchanges.empty() ? std::vector<Action>{} : exchanges[0].actions;
}

// Everything the actions write, pauses ignored.
Bytes Written(const std::vector<Action>& actions) {
    Bytes out;
    for (const Action& action : actions) {
        if (action.kind == Action::Kind::Write) {
            out.insert(out.end(), action.bytes.begin(), action.bytes.end());
        }
    }
    return out;
}

// The actions as text: "W2" for a write of 2 bytes, "P30" for a 30 ms pause.
std::string Shape(const std::vector<Action>& actions) {
    std::string text;
    for (const Action& action : actions) {
        text += text.empty() ? "" : " ";
        const bool write = action.kind == Action::Kind::Write;
        text += write ? 'W' : 'P';
        text += std::to_string(write ? action.bytes.size() : size_t{action.ms});
    }
    return text;
}

Bytes Le32(uint32_t value) {
    Bytes out(4);
    q8::PutLe32(out.data(), value);
    return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

SimConfig TwoFiles() {
    SimConfig config;
    config.files = {SimFile{"one.bin", FILE_TIME, q8sim::SyntheticData(1000)},
                    SimFile{"two.bin", FILE_TIME, q8sim::SyntheticData(20000)}};
    config.freeBytes = config.totalBytes - q8sim::FilesFootprint(config.files);
    return config;
}

// --- Framing -----------------------------------------------------------------

TEST(SimFraming, FrameSplitAcrossFeedsIsAnsweredOnceComplete) {
    DeviceModel model;
    const Bytes block = DownloadBlockFrame(q8sim::SyntheticData(q8::BLOCK_SIZE), 0);
    Send(model, DownloadBeginFrame(1));
    EXPECT_TRUE(model.Feed(block.data(), 1).empty());
    EXPECT_TRUE(model.Feed(block.data() + 1, 300).empty());
    EXPECT_EQ(model.PendingBytes(), 301u);
    const std::vector<Exchange> exchanges = model.Feed(block.data() + 301, block.size() - 301);
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].frame, block);
    EXPECT_EQ(model.PendingBytes(), 0u);
    EXPECT_EQ(Written(exchanges[0].actions), Bytes({q8::RPL_DOWNLOAD_BLOCK, q8::STATUS_OK}));
}

TEST(SimFraming, SeveralFramesInOneFeedAreAnsweredInOrder) {
    DeviceModel model;
    const Bytes bytes = {q8::CMD_HELLO, q8::HELLO_ARGUMENT, q8::CMD_ERASE_VOICE, 0,
                         q8::CMD_BATCH_END};
    const std::vector<Exchange> exchanges = model.Feed(bytes.data(), bytes.size());
    ASSERT_EQ(exchanges.size(), 2u);
    EXPECT_EQ(Written(exchanges[0].actions), Bytes({q8::RPL_HELLO, 1}));
    EXPECT_EQ(Written(exchanges[1].actions), Bytes({q8::RPL_ERASE_VOICE, q8::STATUS_OK}));
    // The batch-end byte waits for its argument.
    const uint8_t rest = 0;
    const std::vector<Exchange> last = model.Feed(&rest, 1);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_TRUE(last[0].actions.empty());
}

TEST(SimFraming, BytesThatStartNoFrameAreDropped) {
    DeviceModel model;
    const Bytes bytes = {0x00, 0x7F, q8::RPL_HELLO, q8::CMD_HELLO, q8::HELLO_ARGUMENT};
    const std::vector<Exchange> exchanges = model.Feed(bytes.data(), bytes.size());
    ASSERT_EQ(exchanges.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(exchanges[i].dropped);
        EXPECT_TRUE(exchanges[i].actions.empty());
    }
    EXPECT_EQ(Written(exchanges[3].actions), Bytes({q8::RPL_HELLO, 1}));
    EXPECT_EQ(model.DroppedBytes(), 3u);
    EXPECT_EQ(model.FramesFromHost(q8::CMD_HELLO).size(), 1u);
}

// --- Plain replies -----------------------------------------------------------

struct ReplyCase {
    const char* name;
    SimConfig config;
    Bytes frame;
    Bytes reply;
};

std::vector<ReplyCase> ReplyCases() {
    SimConfig small;
    small.totalBytes = 0x01020304;
    small.freeBytes = 0x00A0B0C0;
    SimConfig badCard = small;
    badCard.cardStatus = q8::STATUS_NOT_RECOGNISED;
    SimConfig otherModel;
    otherModel.machineType = 3;
    const q8::DirEntry second = q8::DirEntry::Make("two.bin", FILE_TIME, 20000);
    const Bytes endMarker(q8::DIR_ENTRY_SIZE, q8::DIR_END_MARKER);
    return {
        {"hello", {}, ShortFrame(q8::CMD_HELLO, 1), {q8::RPL_HELLO, 1}},
        {"hello other model", otherModel, ShortFrame(q8::CMD_HELLO, 1), {q8::RPL_HELLO, 3}},
        {"card info", small, ShortFrame(q8::CMD_CARD_INFO),
         Concat(Concat({q8::RPL_CARD_INFO, 0}, Le32(0x01020304)), Le32(0x00A0B0C0))},
        {"card not recognised",
         badCard,
         ShortFrame(q8::CMD_CARD_INFO),
         {q8::RPL_CARD_INFO, q8::STATUS_NOT_RECOGNISED}},
        {"dir entry", TwoFiles(), ShortFrame(q8::CMD_DIR_ENTRY, 1),
         Bytes(second.bytes.begin(), second.bytes.end())},
        {"dir entry past end", TwoFiles(), ShortFrame(q8::CMD_DIR_ENTRY, 2), endMarker},
        {"erase voice", {}, ShortFrame(q8::CMD_ERASE_VOICE), {q8::RPL_ERASE_VOICE, 0}},
        {"batch end", {}, ShortFrame(q8::CMD_BATCH_END), {}},
        {"upload of no file",
         TwoFiles(),
         ShortFrame(q8::CMD_UPLOAD_BEGIN, 2),
         {q8::RPL_UPLOAD_BEGIN, q8sim::STATUS_NO_SUCH_FILE}},
        {"upload from bad card",
         badCard,
         ShortFrame(q8::CMD_UPLOAD_BEGIN, 0),
         {q8::RPL_UPLOAD_BEGIN, q8::STATUS_CARD_UNKNOWN}},
        {"upload next when idle", {}, ShortFrame(q8::CMD_UPLOAD_NEXT), {q8::RPL_UPLOAD_NEXT, 0}},
        {"delete of no file",
         TwoFiles(),
         ShortFrame(q8::CMD_DELETE, 5),
         {q8::RPL_DELETE, q8::STATUS_NOT_RECOGNISED}},
        {"block without begin",
         {},
         DownloadBlockFrame({}, 0),
         {q8::RPL_DOWNLOAD_BLOCK, q8sim::STATUS_OUT_OF_ORDER}},
        {"entry without begin",
         {},
         DownloadEntryFrame("a.bin", 1),
         {q8::RPL_DOWNLOAD_ENTRY, q8sim::STATUS_OUT_OF_ORDER}},
    };
}

TEST(SimReplies, EachCommandGetsItsReply) {
    for (const ReplyCase& c : ReplyCases()) {
        SCOPED_TRACE(c.name);
        DeviceModel model(c.config);
        EXPECT_EQ(Written(Send(model, c.frame)), c.reply);
    }
}

// --- Download ----------------------------------------------------------------

TEST(SimDownload, StoredFileHasTheEntrysSizeAndTheBlocksData) {
    SimConfig config;
    config.downloadBeginDelayMs = 150;
    DeviceModel model(config);
    const Bytes data = q8sim::SyntheticData(1100);
    const uint32_t blocks = q8::BlockCount(1100);

    const std::vector<Action> begin = Send(model, DownloadBeginFrame(blocks));
    EXPECT_EQ(Shape(begin), "P150 W2");
    EXPECT_EQ(Written(begin), Bytes({q8::RPL_DOWNLOAD_BEGIN, q8::STATUS_OK}));
    for (uint32_t i = 0; i < blocks; ++i) {
        EXPECT_EQ(Written(Send(model, DownloadBlockFrame(data, i * q8::BLOCK_SIZE))),
                  Bytes({q8::RPL_DOWNLOAD_BLOCK, q8::STATUS_OK}));
    }
    // The device refuses a block beyond the announced count.
    EXPECT_EQ(Written(Send(model, DownloadBlockFrame(data, 0))),
              Bytes({q8::RPL_DOWNLOAD_BLOCK, q8sim::STATUS_OUT_OF_ORDER}));
    EXPECT_EQ(Written(Send(model, DownloadEntryFrame("new.bin", 1100))),
              Bytes({q8::RPL_DOWNLOAD_ENTRY, q8::STATUS_OK}));

    ASSERT_EQ(model.Files().size(), 1u);
    const SimFile& file = model.Files()[0];
    EXPECT_EQ(file.nameGbk, "new.bin");
    EXPECT_EQ(file.data, data);
    EXPECT_EQ(file.time.year, FILE_TIME.year);
    EXPECT_EQ(file.time.second, FILE_TIME.second);
    EXPECT_EQ(model.FreeBytes(), q8sim::DEFAULT_CARTRIDGE_BYTES - q8::CARTRIDGE_UNIT);
    // The next block needs a new begin.
    EXPECT_EQ(Written(Send(model, DownloadBlockFrame(data, 0))),
              Bytes({q8::RPL_DOWNLOAD_BLOCK, q8sim::STATUS_OUT_OF_ORDER}));
}

TEST(SimDownload, ResendStatusDropsTheBlockUntilItComesAgain) {
    DeviceModel model;
    model.AddFault(Fault{q8::CMD_DOWNLOAD_BLOCK, 2, FaultKind::Status, q8::STATUS_RESEND});
    model.AddFault(Fault{q8::CMD_DOWNLOAD_ENTRY, 1, FaultKind::Status, q8::STATUS_RESEND});
    const Bytes data = q8sim::SyntheticData(2 * q8::BLOCK_SIZE);

    Send(model, DownloadBeginFrame(2));
    Send(model, DownloadBlockFrame(data, 0));
    // A refused block must leave no trace, whatever it carried.
    EXPECT_EQ(Written(Send(model, DownloadBlockFrame({}, 0))),
              Bytes({q8::RPL_DOWNLOAD_BLOCK, q8::STATUS_RESEND}));
    EXPECT_EQ(Written(Send(model, DownloadBlockFrame(data, q8::BLOCK_SIZE))),
              Bytes({q8::RPL_DOWNLOAD_BLOCK, q8::STATUS_OK}));
    EXPECT_EQ(Written(Send(model, DownloadEntryFrame("x.bin", 1024))),
              Bytes({q8::RPL_DOWNLOAD_ENTRY, q8::STATUS_RESEND}));
    EXPECT_TRUE(model.Files().empty());
    Send(model, DownloadEntryFrame("x.bin", 1024));

    ASSERT_EQ(model.Files().size(), 1u);
    EXPECT_EQ(model.Files()[0].data, data);
}

TEST(SimDownload, EntryLargerThanTheBlocksReceivedIsRefused) {
    DeviceModel model;
    Send(model, DownloadBeginFrame(1));
    Send(model, DownloadBlockFrame(q8sim::SyntheticData(q8::BLOCK_SIZE), 0));
    EXPECT_EQ(Written(Send(model, DownloadEntryFrame("big.bin", q8::BLOCK_SIZE + 1))),
              Bytes({q8::RPL_DOWNLOAD_ENTRY, q8sim::STATUS_OUT_OF_ORDER}));
    EXPECT_TRUE(model.Files().empty());
    EXPECT_EQ(model.FreeBytes(), q8sim::DEFAULT_CARTRIDGE_BYTES);
}

// --- Upload ------------------------------------------------------------------

TEST(SimUpload, ThousandByteFileComesAsTwoBlocksThenEnd) {
    DeviceModel model(TwoFiles());
    const Bytes data = model.Files()[0].data;
    EXPECT_EQ(Written(Send(model, ShortFrame(q8::CMD_UPLOAD_BEGIN, 0))),
              Concat({q8::RPL_UPLOAD_BEGIN, q8::STATUS_OK}, Le32(1000)));

    const Bytes first = Written(Send(model, ShortFrame(q8::CMD_UPLOAD_NEXT)));
    ASSERT_EQ(first.size(), 2 + q8::BLOCK_SIZE);
    EXPECT_EQ(first[0], q8::RPL_UPLOAD_NEXT);
    EXPECT_NE(first[1], q8::STATUS_OK);
    EXPECT_EQ(Bytes(first.begin() + 2, first.end()), Bytes(data.begin(), data.begin() + 512));

    const Bytes second = Written(Send(model, ShortFrame(q8::CMD_UPLOAD_NEXT)));
    ASSERT_EQ(second.size(), 2 + q8::BLOCK_SIZE);
    EXPECT_NE(second[1], q8::STATUS_OK);
    Bytes tail(data.begin() + 512, data.end());
    tail.resize(q8::BLOCK_SIZE, 0);
    EXPECT_EQ(Bytes(second.begin() + 2, second.end()), tail);

    EXPECT_EQ(Written(Send(model, ShortFrame(q8::CMD_UPLOAD_NEXT))),
              Bytes({q8::RPL_UPLOAD_NEXT, q8::STATUS_OK}));
}

// Counts the nonzero-status blocks of an upload of file 0 (1000 bytes).
int BlocksBeforeEnd(DeviceModel& model) {
    Send(model, ShortFrame(q8::CMD_UPLOAD_BEGIN, 0));
    for (int blocks = 0; blocks < 10; ++blocks) {
        const Bytes reply = Written(Send(model, ShortFrame(q8::CMD_UPLOAD_NEXT)));
        if (reply.size() < 2 || reply[1] == q8::STATUS_OK) {
            return blocks;
        }
    }
    return -1;
}

TEST(SimUpload, ExtraBlocksAndEarlyEnd) {
    SimConfig extra = TwoFiles();
    extra.extraUploadBlocks = 2;
    DeviceModel withExtra(extra);
    EXPECT_EQ(BlocksBeforeEnd(withExtra), 4);

    DeviceModel cutShort(TwoFiles());
    cutShort.AddFault(Fault{q8::CMD_UPLOAD_NEXT, 2, FaultKind::Status, q8::STATUS_OK});
    EXPECT_EQ(BlocksBeforeEnd(cutShort), 1);
    // The early end closed the upload: the next one starts from block 0 again.
    EXPECT_EQ(BlocksBeforeEnd(cutShort), 2);
}

// --- Delete, format ----------------------------------------------------------

TEST(SimCartridge, DeleteRemovesTheEntryAndFreesItsFootprint) {
    DeviceModel model(TwoFiles());
    const uint32_t freeBefore = model.FreeBytes();
    model.AddFault(Fault{q8::CMD_DELETE, 1, FaultKind::Status, q8::STATUS_NOT_RECOGNISED});

    EXPECT_EQ(Written(Send(model, ShortFrame(q8::CMD_DELETE, 0))),
              Bytes({q8::RPL_DELETE, q8::STATUS_NOT_RECOGNISED}));
    EXPECT_EQ(model.Files().size(), 2u);

    EXPECT_EQ(Written(Send(model, ShortFrame(q8::CMD_DELETE, 0))),
              Bytes({q8::RPL_DELETE, q8::STATUS_OK}));
    ASSERT_EQ(model.Files().size(), 1u);
    EXPECT_EQ(model.Files()[0].nameGbk, "two.bin");
    EXPECT_EQ(model.FreeBytes(), freeBefore + q8::CARTRIDGE_UNIT);
}

TEST(SimCartridge, FormatEmptiesTheCartridgeOnlyWhenItSucceeds) {
    SimConfig config = TwoFiles();
    config.formatDelayMs = 900;
    DeviceModel model(config);
    model.AddFault(Fault{q8::CMD_FORMAT, 1, FaultKind::Status, q8::STATUS_NOT_RECOGNISED});
    const Bytes frame = {q8::CMD_FORMAT, 0, 0, 0};

    EXPECT_EQ(Written(Send(model, frame)), Bytes({q8::RPL_FORMAT, q8::STATUS_NOT_RECOGNISED}));
    EXPECT_EQ(model.Files().size(), 2u);

    const std::vector<Action> actions = Send(model, frame);
    EXPECT_EQ(Shape(actions), "P900 W2");
    EXPECT_EQ(Written(actions), Bytes({q8::RPL_FORMAT, q8::STATUS_OK}));
    EXPECT_TRUE(model.Files().empty());
    EXPECT_EQ(model.FreeBytes(), model.TotalBytes());
}

// --- Faults ------------------------------------------------------------------

struct FaultCase {
    const char* name;
    Fault fault;
    std::string shape;
    Bytes head;  // first bytes written
};

TEST(SimFaults, EachKindShapesTheCardInfoReply) {
    const FaultCase cases[] = {
        {"none", {}, "W10", {q8::RPL_CARD_INFO, 0}},
        {"no reply", {q8::CMD_CARD_INFO, 2, FaultKind::NoReply}, "", {}},
        {"wrong code", {q8::CMD_CARD_INFO, 2, FaultKind::WrongCode, 0x55}, "W10", {0x55, 0}},
        {"truncate", {q8::CMD_CARD_INFO, 2, FaultKind::Truncate, 5}, "W5", {q8::RPL_CARD_INFO}},
        {"split", {q8::CMD_CARD_INFO, 2, FaultKind::Split, 3, 7}, "W3 P7 W3 P7 W4", {}},
        {"delay", {q8::CMD_CARD_INFO, 2, FaultKind::Delay, 50}, "P50 W10", {}},
        {"late data", {q8::CMD_CARD_INFO, 2, FaultKind::LateData, 30}, "W2 P30 W8", {}},
        {"error status sends no data",
         {q8::CMD_CARD_INFO, 2, FaultKind::Status, CARD_NOT_FORMATTED},
         "W2",
         {q8::RPL_CARD_INFO, CARD_NOT_FORMATTED}},
        {"every occurrence", {q8::CMD_CARD_INFO, 0, FaultKind::Truncate, 1}, "W1", {}},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceModel model;
        if (c.fault.command != 0) {
            model.AddFault(c.fault);
        }
        const bool everyOne = c.fault.command != 0 && c.fault.occurrence == 0;
        const Bytes frame = ShortFrame(q8::CMD_CARD_INFO);
        // Occurrences 1 and 3 stay clean unless the fault hits every one.
        EXPECT_EQ(Shape(Send(model, frame)), everyOne ? c.shape : "W10");
        const std::vector<Action> hit = Send(model, frame);
        EXPECT_EQ(Shape(hit), c.shape);
        const Bytes written = Written(hit);
        EXPECT_EQ(Bytes(written.begin(), written.begin() + std::min(written.size(), c.head.size())),
                  c.head);
        EXPECT_EQ(Shape(Send(model, frame)), everyOne ? c.shape : "W10");
    }
}

TEST(SimFaults, TruncateCutsThroughLateData) {
    const std::pair<int, std::string> cases[] = {{6, "W2 P30 W4"}, {2, "W2"}, {1, "W1"}};
    for (const auto& [keep, shape] : cases) {
        SCOPED_TRACE(keep);
        DeviceModel model;
        model.AddFault(Fault{q8::CMD_CARD_INFO, 1, FaultKind::LateData, 30});
        model.AddFault(Fault{q8::CMD_CARD_INFO, 1, FaultKind::Truncate, keep});
        EXPECT_EQ(Shape(Send(model, ShortFrame(q8::CMD_CARD_INFO))), shape);
    }
}

TEST(SimFaults, SplitKeepsTheBytesAndDelayAddsToTheDevicesOwnTime) {
    SimConfig config;
    config.downloadBeginDelayMs = 100;
    DeviceModel model(TwoFiles());
    model.AddFault(Fault{q8::CMD_UPLOAD_BEGIN, 1, FaultKind::Split, 6, 1});
    model.AddFault(Fault{q8::CMD_UPLOAD_BEGIN, 1, FaultKind::WrongCode, 0x11});
    const std::vector<Action> actions = Send(model, ShortFrame(q8::CMD_UPLOAD_BEGIN, 0));
    EXPECT_EQ(Shape(actions), "W1 P1 W1 P1 W1 P1 W1 P1 W1 P1 W1");
    EXPECT_EQ(Written(actions), Concat({0x11, q8::STATUS_OK}, Le32(1000)));

    DeviceModel slow(config);
    slow.AddFault(Fault{q8::CMD_DOWNLOAD_BEGIN, 1, FaultKind::Delay, 20});
    EXPECT_EQ(Shape(Send(slow, DownloadBeginFrame(1))), "P120 W2");
}

// --- q8sim options and files -------------------------------------------------

TEST(SimOptions, FaultOption) {
    struct Case {
        const char* text;
        bool ok;
        uint8_t command = 0;
        int occurrence = 0;
        FaultKind kind = FaultKind::Status;
        int value = 0;
        int pauseMs = 0;
    };
    const Case cases[] = {
        {"0x88:2:status:1", true, q8::CMD_DOWNLOAD_BLOCK, 2, FaultKind::Status, 1, 0},
        {"download-block:0:split:3:5", true, q8::CMD_DOWNLOAD_BLOCK, 0, FaultKind::Split, 3, 5},
        {"card-info:1:late-data:300", true, q8::CMD_CARD_INFO, 1, FaultKind::LateData, 300, 0},
        {"hello:4:no-reply", true, q8::CMD_HELLO, 4, FaultKind::NoReply, 0, 0},
        {"upload-next:1:wrong-code:0xff", true, q8::CMD_UPLOAD_NEXT, 1, FaultKind::WrongCode, 0xFF,
         0},
        {"0x99:1:status", false},
        {"0x81:1:status", false},
        {"hello:x:delay", false},
        {"hello:-1:delay", false},
        {"hello:1:bogus", false},
        {"hello:1", false},
        {"hello:1:split:2:3:4", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Fault fault;
        ASSERT_EQ(q8sim::ParseFault(c.text, fault), c.ok);
        if (c.ok) {
            EXPECT_EQ(fault.command, c.command);
            EXPECT_EQ(fault.occurrence, c.occurrence);
            EXPECT_EQ(fault.kind, c.kind);
            EXPECT_EQ(fault.value, c.value);
            EXPECT_EQ(fault.pauseMs, c.pauseMs);
        }
    }
}

TEST(SimOptions, CommandLine) {
    q8sim::SimOptions options;
    std::string error;
    ASSERT_TRUE(q8sim::ParseCommandLine(
        {"--file", "a.bin=1000", "--folder=/tmp/x", "--card-status", "0x81", "--total", "65536",
         "--fault", "delete:1:status:0x81", "--line-rate", "--link", "/tmp/q8"},
        options, error))
        << error;
    ASSERT_EQ(options.sources.size(), 2u);
    EXPECT_EQ(options.sources[0].name, "a.bin");
    EXPECT_EQ(options.sources[0].size, 1000u);
    EXPECT_EQ(options.sources[1].folder, "/tmp/x");
    EXPECT_EQ(options.config.cardStatus, q8::STATUS_NOT_RECOGNISED);
    EXPECT_EQ(options.config.totalBytes, 65536u);
    EXPECT_FALSE(options.freeGiven);
    ASSERT_EQ(options.config.faults.size(), 1u);
    EXPECT_EQ(options.config.faults[0].command, q8::CMD_DELETE);
    EXPECT_TRUE(options.config.lineRate);
    EXPECT_EQ(options.linkPath, "/tmp/q8");

    const std::vector<std::vector<std::string>> bad = {{"--bogus"},
                                                       {"--total"},
                                                       {"--total", "4G"},
                                                       {"--machine-type", "256"},
                                                       {"--file", "noSize"},
                                                       {"--file", "a.bin=-1"},
                                                       {"--free", "0x100000000"}};
    for (const auto& args : bad) {
        SCOPED_TRACE(args[0]);
        q8sim::SimOptions ignored;
        EXPECT_FALSE(q8sim::ParseCommandLine(args, ignored, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimFilesTest, LoadFolderTakesRegularFilesSortedWithCutNamesAndTimes) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("q8sim_folder_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "subdir");
    const std::string longName = "abcdefghijklmnopqrst.bin";
    std::ofstream(dir / "b.bin", std::ios::binary) << "bee";
    std::ofstream(dir / longName, std::ios::binary) << std::string(700, 'x');
    std::ofstream(dir / "a.bin", std::ios::binary) << "";
    const time_t when = 1700000000;
    const utimbuf times{when, when};
    ASSERT_EQ(utime((dir / "b.bin").c_str(), &times), 0);

    std::vector<SimFile> files = {SimFile{"kept.bin", FILE_TIME, {}}};
    ASSERT_TRUE(q8sim::LoadFolder(dir.string(), files));
    fs::remove_all(dir);

    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].nameGbk, "kept.bin");
    EXPECT_EQ(files[1].nameGbk, "a.bin");
    EXPECT_TRUE(files[1].data.empty());
    EXPECT_EQ(files[2].nameGbk, "abcdefghijkl.bin");
    EXPECT_EQ(files[2].data.size(), 700u);
    EXPECT_EQ(files[3].nameGbk, "b.bin");
    EXPECT_EQ(files[3].data, Bytes({'b', 'e', 'e'}));
    std::tm local{};
    localtime_r(&when, &local);
    EXPECT_EQ(files[3].time.year, local.tm_year + 1900);
    EXPECT_EQ(files[3].time.month, local.tm_mon + 1);
    EXPECT_EQ(files[3].time.minute, local.tm_min);

    EXPECT_FALSE(q8sim::LoadFolder(dir.string(), files));
    EXPECT_EQ(files.size(), 4u);
}

TEST(SimFilesTest, SyntheticBlocksDiffer) {
    const Bytes data = q8sim::SyntheticData(3 * q8::BLOCK_SIZE);
    EXPECT_NE(Bytes(data.begin(), data.begin() + 512),
              Bytes(data.begin() + 512, data.begin() + 1024));
    EXPECT_NE(Bytes(data.begin() + 512, data.begin() + 1024),
              Bytes(data.begin() + 1024, data.end()));
}

// --- The pty -----------------------------------------------------------------

int OpenRaw(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return fd;
    }
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

// Reads exactly `count` bytes or gives up after `timeoutMs`.
Bytes ReadExactly(int fd, size_t count, int timeoutMs) {
    Bytes out;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count && std::chrono::steady_clock::now() < giveUp) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) {
            continue;
        }
        uint8_t buffer[600];
        const ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - out.size()));
        if (n > 0) {
            out.insert(out.end(), buffer, buffer + n);
        }
    }
    return out;
}

TEST(SimPty, HelloOverThePtyAndAgainAfterReopening) {
    q8sim::Simulator simulator;
    ASSERT_TRUE(simulator.Start()) << simulator.Error();
    ASSERT_FALSE(simulator.DevicePath().empty());
    const Bytes hello = {q8::CMD_HELLO, q8::HELLO_ARGUMENT};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const int fd = OpenRaw(simulator.DevicePath());
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, hello.data(), hello.size()), 2);
        EXPECT_EQ(ReadExactly(fd, 2, 2000), Bytes({q8::RPL_HELLO, 1}));
        close(fd);
    }
    EXPECT_EQ(simulator.FramesFromHost(q8::CMD_HELLO).size(), 2u);
    // The reply is logged just after it is written, so the host may be faster.
    std::vector<q8sim::WireRecord> log = simulator.WireLog();
    for (int wait = 0; wait < 100 && log.size() < 4; ++wait) {
        usleep(10000);
        log = simulator.WireLog();
    }
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].direction, q8sim::WireRecord::HostToDevice);
    EXPECT_EQ(log[0].bytes, hello);
    EXPECT_EQ(log[1].direction, q8sim::WireRecord::DeviceToHost);
    EXPECT_LE(log[0].atMs, log[1].atMs);
    simulator.Stop();
}

TEST(SimPty, LineRateMakesABlockTakeItsLineTime) {
    SimConfig config;
    config.lineRate = true;
    q8sim::Simulator simulator(config);
    ASSERT_TRUE(simulator.Start()) << simulator.Error();
    const int fd = OpenRaw(simulator.DevicePath());
    ASSERT_GE(fd, 0);
    const Bytes begin = DownloadBeginFrame(1);
    ASSERT_EQ(write(fd, begin.data(), begin.size()), static_cast<ssize_t>(begin.size()));
    ASSERT_EQ(ReadExactly(fd, 2, 2000).size(), 2u);

    // 516 bytes out and 2 back at 10 bits a byte: about 45 ms.
    const Bytes block = DownloadBlockFrame(q8sim::SyntheticData(q8::BLOCK_SIZE), 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
    EXPECT_EQ(ReadExactly(fd, 2, 2000), Bytes({q8::RPL_DOWNLOAD_BLOCK, q8::STATUS_OK}));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, q8sim::LineTime(block.size() + 2));
    close(fd);
}

}  // namespace
