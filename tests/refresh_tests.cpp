// Cartridge refresh against the device in memory, on virtual time.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "MemoryFixture.h"
#include "ResultPrinters.h"
#include "session/CartridgeRefresh.h"
#include "session/Texts.h"

namespace {

using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;
using q8test::MakeSimFile;

constexpr uint8_t NONE = 0;  // no fault in a table row

// Both halves, so that a wrong card byte behind the right status shows too.
void ExpectResult(const q8::RefreshResult& actual, const q8::RefreshResult& expected) {
    EXPECT_EQ(actual.status, expected.status);
    EXPECT_EQ(actual.cardStatus, expected.cardStatus);
}

class RefreshTest : public q8test::MemoryDeviceFixture {
  protected:
    static SimConfig WithFiles(int count) {
        SimConfig config;
        for (int i = 0; i < count; ++i) {
            std::string name("file");
            name += std::to_string(i);
            name += ".bin";
            config.files.push_back(MakeSimFile(name, 1536));
        }
        return config;
    }
    // Lets the device finish what it was still sending and drops it, so that
    // a table's next row starts on a quiet line.
    void QuietLine() {
        clock.AdvanceTo(port.DeviceIdleAtMs());
        port.Purge();
    }
};

TEST_F(RefreshTest, ListsFilesSpaceAndEndsAtTheMarker) {
    SimConfig config = WithFiles(2);
    config.files.push_back(MakeSimFile("\xD6\xD0\xCE\xC4.bin", 70000));  // 中文.bin
    config.totalBytes = 1048576;
    config.freeBytes = 1536;
    StartDevice(config);
    model.status.text = "打开COM1成功！";
    model.status.error = true;

    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);

    ASSERT_EQ(view.rows.size(), 3u);
    EXPECT_EQ(view.rows[0].name, "file0.bin");
    EXPECT_EQ(view.rows[0].size, "1.50*8Kbits");
    EXPECT_EQ(view.rows[0].modified, "2005-3-7 9:5");
    EXPECT_EQ(view.rows[2].name, "中文.bin");
    EXPECT_EQ(view.rows[2].size, "68.36*8Kbits");
    EXPECT_EQ(model.info.fileCount, 3);
    EXPECT_EQ(model.info.totalBytes, 1048576u);
    EXPECT_EQ(model.info.freeBytes, 1536u);
    EXPECT_EQ(model.info.totalText, "空间共计:1.00*8Mbits");
    EXPECT_EQ(model.info.freeText, "空闲空间:1.50*8Kbits");
    EXPECT_EQ(model.status.text, "");
    EXPECT_FALSE(model.status.error);
    EXPECT_EQ(view.updates, 1);
    EXPECT_FALSE(view.shownError);
    // A device that answers at once costs no time: no pause anywhere.
    EXPECT_EQ(ElapsedMs(), 0u);

    // Hello, card info, then indices 0..3: the fourth reply is the end marker.
    const auto hello = Sent(q8::CMD_HELLO);
    ASSERT_EQ(hello.size(), 1u);
    EXPECT_EQ(hello[0], (std::vector<uint8_t>{0x80, 0x01}));
    EXPECT_EQ(Sent(q8::CMD_CARD_INFO), (std::vector<std::vector<uint8_t>>{{0x82, 0x00}}));
    const auto dir = Sent(q8::CMD_DIR_ENTRY);
    ASSERT_EQ(dir.size(), 4u);
    for (size_t i = 0; i < dir.size(); ++i) {
        EXPECT_EQ(dir[i], (std::vector<uint8_t>{0x83, static_cast<uint8_t>(i)}));
    }
}

TEST_F(RefreshTest, EmptyCartridgeSaysNoFileDataInNormalColour) {
    StartDevice();
    model.status.error = true;
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(model.info.fileCount, 0);
    EXPECT_EQ(model.status.text, "没有文件数据！");
    EXPECT_FALSE(model.status.error);
    EXPECT_EQ(Sent(q8::CMD_DIR_ENTRY).size(), 1u);
}

TEST_F(RefreshTest, ReadsAtMostThirteenEntriesAndKeepsTheStatusText) {
    for (int files : {13, 14}) {
        SCOPED_TRACE(files);
        StartDevice(WithFiles(files));
        model.status.text = "打开COM1成功！";
        EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
        EXPECT_EQ(view.rows.size(), 13u);
        EXPECT_EQ(model.info.fileCount, 13);
        EXPECT_EQ(Sent(q8::CMD_DIR_ENTRY).size(), 13u);  // never a 14th request
        EXPECT_EQ(model.status.text, "打开COM1成功！");
        EXPECT_FALSE(model.status.error);
    }
}

struct FailureCase {
    const char* what;
    Fault fault;
    uint8_t machineType;
    uint8_t cardStatus;
    q8::RefreshResult result;
    const char* status;
    size_t cardInfoRequests;
    size_t dirRequests;
    uint64_t elapsedMs;  // a missing reply costs its whole deadline, nothing more
};

TEST_F(RefreshTest, EveryFailureRowGivesItsResultAndText) {
    const FailureCase cases[] = {
        {"no hello reply",
         {q8::CMD_HELLO, 1, FaultKind::NoReply},
         1,
         0,
         {q8::RefreshStatus::NoDevice},
         "没有在COM1上找到设备！",
         0,
         0,
         802},
        {"hello cut short",
         {q8::CMD_HELLO, 1, FaultKind::Truncate, 1},
         1,
         0,
         {q8::RefreshStatus::NoDevice},
         "没有在COM1上找到设备！",
         0,
         0,
         802},
        {"hello wrong code",
         {q8::CMD_HELLO, 1, FaultKind::WrongCode, 0xA2},
         1,
         0,
         {q8::RefreshStatus::BadHello},
         "数据错误！请重试！",
         0,
         0,
         0},
        {"machine type 2",
         {NONE, 1, FaultKind::Status},
         2,
         0,
         {q8::RefreshStatus::WrongMachine},
         "机器不匹配！请用Q8！",
         0,
         0,
         0},
        {"no card info",
         {q8::CMD_CARD_INFO, 1, FaultKind::NoReply},
         1,
         0,
         {q8::RefreshStatus::NoCardInfo},
         "机器没有连线或没有进入下载状态！",
         1,
         0,
         401},
        {"card info wrong code",
         {q8::CMD_CARD_INFO, 1, FaultKind::WrongCode, 0xA0},
         1,
         0,
         {q8::RefreshStatus::NoCardInfo},
         "数据错误！请重试！",
         1,
         0,
         0},
        {"card not recognised",
         {NONE, 1, FaultKind::Status},
         1,
         0x81,
         {q8::RefreshStatus::CardStatus, 0x81},
         "卡盒不能识别",
         1,
         0,
         0},
        {"card not formatted 0x80",
         {NONE, 1, FaultKind::Status},
         1,
         0x80,
         {q8::RefreshStatus::CardStatus, 0x80},
         "卡盒没有格式化",
         1,
         0,
         0},
        {"card not formatted 0x90",
         {NONE, 1, FaultKind::Status},
         1,
         0x90,
         {q8::RefreshStatus::CardStatus, 0x90},
         "卡盒没有格式化",
         1,
         0,
         0},
        {"directory breaks off after 3 rows",
         {q8::CMD_DIR_ENTRY, 4, FaultKind::NoReply},
         1,
         0,
         {q8::RefreshStatus::BadDirectory},
         "数据错误！请重试！",
         1,
         4,
         401},
        {"directory entry cut short",
         {q8::CMD_DIR_ENTRY, 4, FaultKind::Truncate, 31},
         1,
         0,
         {q8::RefreshStatus::BadDirectory},
         "数据错误！请重试！",
         1,
         4,
         401},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        SimConfig config = WithFiles(5);
        config.machineType = c.machineType;
        config.cardStatus = c.cardStatus;
        if (c.fault.command != NONE) {
            config.faults.push_back(c.fault);
        }
        StartDevice(config);
        QuietLine();
        model.info.totalBytes = 777;  // a failed card-info read keeps the old figures
        model.info.totalText = "stale";
        const uint64_t start = ElapsedMs();

        ExpectResult(q8::Refresh(station), c.result);
        EXPECT_EQ(ElapsedMs() - start, c.elapsedMs);
        EXPECT_EQ(model.status.text, c.status);
        EXPECT_TRUE(model.status.error);
        EXPECT_TRUE(view.shownError);
        EXPECT_EQ(Sent(q8::CMD_CARD_INFO).size(), c.cardInfoRequests);
        EXPECT_EQ(Sent(q8::CMD_DIR_ENTRY).size(), c.dirRequests);
        const bool gotSpace = c.dirRequests > 0;
        EXPECT_EQ(model.info.totalBytes, gotSpace ? uint32_t{4 << 20} : 777u);
        EXPECT_EQ(model.info.totalText.empty(), !gotSpace);
        EXPECT_EQ(view.rows.size(), gotSpace ? 3u : 0u);
        EXPECT_EQ(model.info.fileCount, gotSpace ? 3 : 0);
    }
}

// Each reply may complete until the end of the link's low-level wait in
// which its deadline passes (hello 500 ms -> 802, card info and directory
// 400 ms -> 401); one millisecond later it is lost.
TEST_F(RefreshTest, EachReplyCountsUntilTheLastWaitOfItsDeadlineEnds) {
    const struct {
        const char* what;
        Fault fault;
        q8::RefreshStatus result;
        const char* status;
        uint64_t elapsedMs;
    } cases[] = {
        {"hello at 802", {q8::CMD_HELLO, 1, FaultKind::Delay, 802}, q8::RefreshStatus::Ok, "", 802},
        {"hello at 803",
         {q8::CMD_HELLO, 1, FaultKind::Delay, 803},
         q8::RefreshStatus::NoDevice,
         "没有在COM1上找到设备！",
         802},
        {"hello's second byte at 802",
         {q8::CMD_HELLO, 1, FaultKind::Split, 2, 802},
         q8::RefreshStatus::Ok,
         "",
         802},
        {"hello's second byte at 803",
         {q8::CMD_HELLO, 1, FaultKind::Split, 2, 803},
         q8::RefreshStatus::NoDevice,
         "没有在COM1上找到设备！",
         802},
        {"card-info header at 401",
         {q8::CMD_CARD_INFO, 1, FaultKind::Delay, 401},
         q8::RefreshStatus::Ok,
         "",
         401},
        {"card-info header at 402",
         {q8::CMD_CARD_INFO, 1, FaultKind::Delay, 402},
         q8::RefreshStatus::NoCardInfo,
         "机器没有连线或没有进入下载状态！",
         401},
        {"card-info data 401 after the header",
         {q8::CMD_CARD_INFO, 1, FaultKind::LateData, 401},
         q8::RefreshStatus::Ok,
         "",
         401},
        // The data read gives up at 401; the data's first two bytes (00 00)
        // are then read as the next header, with the wrong code.
        {"card-info data 402 after the header",
         {q8::CMD_CARD_INFO, 1, FaultKind::LateData, 402},
         q8::RefreshStatus::NoCardInfo,
         "数据错误！请重试！",
         402},
        {"directory entry at 401",
         {q8::CMD_DIR_ENTRY, 1, FaultKind::Delay, 401},
         q8::RefreshStatus::Ok,
         "",
         401},
        {"directory entry at 402",
         {q8::CMD_DIR_ENTRY, 1, FaultKind::Delay, 402},
         q8::RefreshStatus::BadDirectory,
         "数据错误！请重试！",
         401},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimConfig config = WithFiles(1);
        config.faults = {c.fault};
        StartDevice(config);
        QuietLine();
        const uint64_t start = ElapsedMs();

        ExpectResult(q8::Refresh(station), q8::RefreshResult{c.result});
        EXPECT_EQ(ElapsedMs() - start, c.elapsedMs);
        EXPECT_EQ(model.status.text, c.status);
        EXPECT_EQ(model.status.error, c.result != q8::RefreshStatus::Ok);
        EXPECT_EQ(view.rows.size(), c.result == q8::RefreshStatus::Ok ? 1u : 0u);
        EXPECT_EQ(Sent(q8::CMD_HELLO).size(), 1u);  // a late reply is never asked for again
    }
}

TEST_F(RefreshTest, NoDeviceTextNamesThePortInUse) {
    const struct {
        const char* portName;
        const char* text;
    } cases[] = {{"COM2", "没有在COM2上找到设备！"},
                 {"/dev/ttyUSB0", "没有在/dev/ttyUSB0上找到设备！"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.portName);
        SimConfig config;
        config.faults = {{q8::CMD_HELLO, 0, FaultKind::NoReply}};
        StartDevice(config);
        const uint64_t start = ElapsedMs();
        model.portName = c.portName;
        EXPECT_EQ(q8::RefreshCartridge(station).status, q8::RefreshStatus::NoDevice);
        EXPECT_EQ(model.status.text, c.text);
        // A dead line costs the hello deadline up to the end of its last wait.
        EXPECT_EQ(ElapsedMs() - start, 802u);
    }
}

// The device's space figures and file sizes are 32-bit unsigned: cartridges
// and files of 2 GiB and more.
TEST_F(RefreshTest, SpaceAndSizesFrom2GiBOnAreUnsigned) {
    SimConfig config;
    config.totalBytes = 4000000000u;
    config.freeBytes = 3000000000u;
    const q8::DirEntry big = q8::DirEntry::Make("big.bin", {2005, 3, 7, 9, 5, 0}, 0x80000000u);
    config.faults = {{q8::CMD_DIR_ENTRY,
                      1,
                      FaultKind::Script,
                      0,
                      0,
                      {{0, std::vector<uint8_t>(big.bytes.begin(), big.bytes.end())}}}};
    StartDevice(config);
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    EXPECT_EQ(model.info.totalBytes, 4000000000u);
    EXPECT_EQ(model.info.freeBytes, 3000000000u);
    EXPECT_EQ(model.info.totalText, "空间共计:3814.70*8Mbits");
    EXPECT_EQ(model.info.freeText, "空闲空间:2861.02*8Mbits");
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].size, "2048.00*8Mbits");
}

TEST_F(RefreshTest, BrokenPortFailsAtOnceAsNoDevice) {
    StartDevice(WithFiles(1));
    port.SetBroken(true);
    model.status.text = "打开COM1成功！";
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::NoDevice);
    EXPECT_EQ(model.status.text, "没有在COM1上找到设备！");
    EXPECT_TRUE(model.status.error);
    EXPECT_TRUE(view.shownError);
    EXPECT_TRUE(view.rows.empty());
    EXPECT_TRUE(Sent(q8::CMD_CARD_INFO).empty());
    EXPECT_EQ(ElapsedMs(), 0u);  // no deadline is waited out on a port that fails

    // Once the port works again, so does the refresh.
    port.SetBroken(false);
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    EXPECT_EQ(view.rows.size(), 1u);
}

TEST_F(RefreshTest, RepliesInPiecesStillCount) {
    SimConfig config = WithFiles(2);
    config.faults = {{q8::CMD_HELLO, 1, FaultKind::Split, 2, 150},
                     {q8::CMD_CARD_INFO, 1, FaultKind::Split, 5, 60},
                     {q8::CMD_DIR_ENTRY, 0, FaultKind::Split, 4, 50}};
    StartDevice(config);
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    EXPECT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(model.info.freeText, "空闲空间:4.00*8Mbits");
    // Each read returns with its last piece: hello 150, card info 4 x 60,
    // three directory entries 3 x 50 each.
    EXPECT_EQ(ElapsedMs(), 150u + 240u + 3u * 150u);
}

// Card-info data that come too late: whatever arrives next is judged as a
// new card-info header. Header at 0 ms, 7 of the 8 data bytes at 100 ms: the
// data read gives up at 401 ms, and the late piece comes at 700 ms.
std::vector<q8sim::ScriptPiece> LateCardInfo(std::vector<uint8_t> late) {
    return {{0, {0xA2, 0x00}}, {100, {1, 2, 3, 4, 5, 6, 7}}, {600, std::move(late)}};
}

TEST_F(RefreshTest, LateCardInfoDataAreReadAsTheNextHeader) {
    SimConfig bad = WithFiles(1);
    bad.faults = {{q8::CMD_CARD_INFO, 1, FaultKind::Script, 0, 0, LateCardInfo({0x08, 0x00})}};
    StartDevice(bad);
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::NoCardInfo);
    EXPECT_EQ(model.status.text, "数据错误！请重试！");
    EXPECT_EQ(Sent(q8::CMD_CARD_INFO).size(), 1u);  // nothing is sent again
    EXPECT_TRUE(model.info.freeText.empty());
    EXPECT_EQ(ElapsedMs(), 700u);

    // A late round that does bring a whole header and its data counts.
    SimConfig good = WithFiles(1);
    good.faults = {{q8::CMD_CARD_INFO, 1, FaultKind::Script, 0, 0,
                    LateCardInfo({0xA2, 0x00, 0, 0, 0x10, 0, 0, 0x06, 0, 0})}};
    StartDevice(good);
    const uint64_t start = ElapsedMs();
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    EXPECT_EQ(model.info.totalText, "空间共计:1.00*8Mbits");
    EXPECT_EQ(model.info.freeText, "空闲空间:1.50*8Kbits");
    EXPECT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(Sent(q8::CMD_CARD_INFO).size(), 1u);
    EXPECT_EQ(ElapsedMs() - start, 700u);
}

TEST_F(RefreshTest, EndlessLateCardInfoIsGivenUpAfterFourRounds) {
    // A device that sends a whole header and partial data every 600 ms.
    std::vector<q8sim::ScriptPiece> endless;
    for (int i = 0; i < 10; ++i) {
        endless.push_back({i == 0 ? 0u : 600u, {0xA2, 0x00, 1, 2, 3, 4, 5, 6, 7}});
    }
    SimConfig config;
    config.faults = {{q8::CMD_CARD_INFO, 1, FaultKind::Script, 0, 0, endless}};
    StartDevice(config);
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::NoCardInfo);
    EXPECT_EQ(model.status.text, "数据错误！请重试！");
    EXPECT_EQ(Sent(q8::CMD_CARD_INFO).size(), 1u);
    // Rounds start at 0, 600, 1200 and 1800 ms; the fourth data read gives up
    // at 1800 + 401, while the device still has pieces to send until 5400.
    EXPECT_EQ(ElapsedMs(), 2201u);
    EXPECT_GT(port.DeviceIdleAtMs(), clock.NowMs());
    EXPECT_GT(port.QueuedBytes(), 0u);
}

TEST_F(RefreshTest, BytesLeftOnTheLineArePurgedBeforeTheNextRefresh) {
    // The device follows its end marker, 100 ms later, with stray bytes that
    // look like a hello reply of a foreign model.
    std::vector<uint8_t> end(32, 0xFF);
    std::vector<uint8_t> stray = {0xA0, 0x07, 0xA0, 0x07};
    SimConfig config = WithFiles(1);
    config.faults = {{q8::CMD_DIR_ENTRY, 2, FaultKind::Script, 0, 0, {{0, end}, {100, stray}}}};
    StartDevice(config);
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    EXPECT_EQ(ElapsedMs(), 0u);
    EXPECT_EQ(port.QueuedBytes(), stray.size());

    clock.Sleep(std::chrono::milliseconds(100));  // the stray bytes arrive
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    EXPECT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(model.info.fileCount, 1);
    EXPECT_EQ(port.QueuedBytes(), 0u);
    EXPECT_EQ(ElapsedMs(), 100u);
}

}  // namespace
