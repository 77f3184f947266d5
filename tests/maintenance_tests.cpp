// Delete, format and erase over a real pty against the simulated device.

#include <string>
#include <vector>

#include "PtyFixture.h"
#include "link/Tick.h"
#include "protocol/CartridgeRefresh.h"
#include "protocol/Maintenance.h"
#include "protocol/Texts.h"

namespace {

using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;
using q8test::MakeSimFile;
using Bytes = std::vector<uint8_t>;

// Remembers how many times the window had been updated when a message came.
class OrderedMessages : public q8::MessageSink {
  public:
    explicit OrderedMessages(const q8test::RecordingView& v) : view(v) {}
    void Show(const std::string& text) override {
        shown.push_back(text);
        updatesBefore.push_back(view.updates);
    }
    const q8test::RecordingView& view;
    std::vector<std::string> shown;
    std::vector<int> updatesBefore;
};

class MaintenanceTest : public q8test::DeviceFixture {
  protected:
    static SimConfig WithFiles(int count) {
        SimConfig config;
        for (int i = 0; i < count; ++i) {
            config.files.push_back(MakeSimFile("f" + std::to_string(i) + ".bin", 20000));
        }
        return config;
    }
    // Stands for a list the window already shows, without a refresh.
    void ShowRows(int count, int mark) {
        view.rows.assign(static_cast<size_t>(count), q8::CartridgeRow{});
        view.mark = mark;
    }
};

struct BadReply {
    const char* what;
    Fault fault;
    const char* text;
};

TEST_F(MaintenanceTest, DeleteWithoutAMarkOnlyAsksForOne) {
    StartDevice(WithFiles(1));
    for (bool error : {false, true}) {
        SCOPED_TRACE(error);
        model.status.error = error;
        ShowRows(1, -1);
        EXPECT_EQ(q8::DeleteLastFile(station, messages), q8::MaintenanceResult::Failed);
        EXPECT_EQ(view.shownStatus, q8::TXT_CHOOSE_FILE);
        EXPECT_EQ(model.status.error, error);
    }
    EXPECT_EQ(view.updates, 2);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(Sent(q8::CMD_DELETE).empty());
}

TEST_F(MaintenanceTest, DeleteOfAnyButTheLastRowIsRefusedWithAMessage) {
    StartDevice(WithFiles(3));
    OrderedMessages ordered(view);
    for (int mark : {0, 1, 5}) {
        SCOPED_TRACE(mark);
        model.status.text = "old";
        model.status.error = mark == 1;
        ShowRows(3, mark);
        const int updates = view.updates;
        EXPECT_EQ(q8::DeleteLastFile(station, ordered), q8::MaintenanceResult::Failed);
        EXPECT_EQ(model.status.text, "");
        EXPECT_EQ(view.shownStatus, "");
        EXPECT_EQ(model.status.error, mark == 1);
        // The emptied status line is on screen before the message box.
        ASSERT_FALSE(ordered.updatesBefore.empty());
        EXPECT_EQ(ordered.updatesBefore.back(), updates + 1);
        EXPECT_EQ(view.updates, updates + 1);
    }
    EXPECT_EQ(ordered.shown, std::vector<std::string>(3, q8::TXT_DELETE_FROM_LAST));
    EXPECT_TRUE(Sent(q8::CMD_DELETE).empty());
    EXPECT_EQ(sim->Files().size(), 3u);
}

TEST_F(MaintenanceTest, AnyStatusBut0x81DeletesAndRefreshes) {
    SimConfig config = WithFiles(3);
    config.faults = {{q8::CMD_DELETE, 2, FaultKind::Status, 0x01},
                     {q8::CMD_DELETE, 3, FaultKind::Status, 0x80}};
    StartDevice(config);
    ASSERT_EQ(q8::Refresh(station), q8::REFRESH_OK);
    ASSERT_EQ(view.rows.size(), 3u);

    // A reply left over from an earlier exchange must not be taken for this one.
    wire.command[0] = q8::CMD_ERASE_VOICE;
    wire.command[1] = 0;
    wire.Send(2);
    q8::SleepMs(100);

    for (int left = 2; left >= 0; --left) {
        SCOPED_TRACE(left);
        model.status.error = true;
        view.mark = static_cast<int>(view.rows.size()) - 1;
        const size_t hellos = Sent(q8::CMD_HELLO).size();
        const uint32_t start = q8::TickMs();
        EXPECT_EQ(q8::DeleteLastFile(station, messages), q8::MaintenanceResult::Ok);
        EXPECT_GE(q8::TickMs() - start, static_cast<uint32_t>(q8::DELETE_PAUSE.count()));
        EXPECT_EQ(Sent(q8::CMD_DELETE).back(), (Bytes{0x8A, static_cast<uint8_t>(left)}));
        EXPECT_EQ(sim->Files().size(), static_cast<size_t>(left));
        EXPECT_EQ(view.rows.size(), static_cast<size_t>(left));
        EXPECT_EQ(Sent(q8::CMD_HELLO).size(), hellos + 1);
        // The refresh's own text stands; the last delete leaves an empty card.
        EXPECT_EQ(view.shownStatus, left > 0 ? "" : q8::TXT_NO_FILE_DATA);
        EXPECT_FALSE(view.shownError);
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MaintenanceTest, DeleteFailuresSetTheFlagAndSkipTheRefresh) {
    const struct {
        BadReply reply;
        q8::DeleteResult result;
    } cases[] = {
        {{"0x81", {q8::CMD_DELETE, 0, FaultKind::Status, 0x81}, q8::TXT_DOWNLOAD_STATE_AGAIN},
         q8::DeleteResult::Refused},
        {{"no reply", {q8::CMD_DELETE, 0, FaultKind::NoReply}, q8::TXT_NOT_LINKED},
         q8::DeleteResult::NoReply},
        {{"one byte", {q8::CMD_DELETE, 0, FaultKind::Truncate, 1}, q8::TXT_NOT_LINKED},
         q8::DeleteResult::NoReply},
        {{"format's code",
          {q8::CMD_DELETE, 0, FaultKind::WrongCode, q8::RPL_FORMAT},
          q8::TXT_DATA_ERROR},
         q8::DeleteResult::NoReply},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.what);
        SimConfig config = WithFiles(2);
        config.faults = {c.reply.fault};
        StartDevice(config);

        // The exchange alone writes the text and nothing else.
        model.status = {"old", false};
        const int updates = view.updates;
        EXPECT_EQ(q8::DeleteEntry(wire, model.status, 1), c.result);
        EXPECT_EQ(model.status.text, c.reply.text);
        EXPECT_FALSE(model.status.error);
        EXPECT_EQ(view.updates, updates);

        model.status = {"old", false};
        ShowRows(2, 1);
        EXPECT_EQ(q8::DeleteLastFile(station, messages), q8::MaintenanceResult::Failed);
        EXPECT_EQ(view.shownStatus, c.reply.text);
        EXPECT_TRUE(view.shownError);
        EXPECT_EQ(view.updates, updates + 1);
        EXPECT_EQ(view.rows.size(), 2u);
        EXPECT_TRUE(Sent(q8::CMD_HELLO).empty());
        EXPECT_EQ(Sent(q8::CMD_DELETE), (std::vector<Bytes>(2, Bytes{0x8A, 0x01})));
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MaintenanceTest, FormatReadsAReplyThatCameDuringThePause) {
    SimConfig config = WithFiles(2);
    config.formatDelayMs = 500;
    StartDevice(config);
    ShowRows(2, 1);
    model.status.error = true;
    wire.command[2] = 0xEE;  // left over from an earlier frame
    wire.command[3] = 0xEE;
    const uint32_t start = q8::TickMs();

    EXPECT_EQ(q8::FormatCartridge(station), q8::MaintenanceResult::Ok);

    EXPECT_GE(q8::TickMs() - start, static_cast<uint32_t>(q8::FORMAT_PAUSE.count()));
    EXPECT_EQ(Sent(q8::CMD_FORMAT), (std::vector<Bytes>{{0x85, 0, 0, 0}}));
    EXPECT_EQ(view.shownStatus, q8::TXT_FORMAT_DONE);
    EXPECT_FALSE(view.shownError);
    EXPECT_TRUE(sim->Files().empty());
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(model.info.freeText, "空闲空间:4.00*8Mbits");
    EXPECT_EQ(view.updates, 1);
}

TEST_F(MaintenanceTest, FormatFailuresGiveTheirTexts) {
    const BadReply cases[] = {
        {"0x81", {q8::CMD_FORMAT, 1, FaultKind::Status, 0x81}, q8::TXT_NO_INITIAL_FORMAT},
        {"0x01", {q8::CMD_FORMAT, 2, FaultKind::Status, 0x01}, q8::TXT_FORMAT_ERROR},
        {"0x80", {q8::CMD_FORMAT, 3, FaultKind::Status, 0x80}, q8::TXT_FORMAT_ERROR},
        {"erase's code",
         {q8::CMD_FORMAT, 4, FaultKind::WrongCode, q8::RPL_ERASE_VOICE},
         q8::TXT_LINE_DOWN},
        {"no reply", {q8::CMD_FORMAT, 5, FaultKind::NoReply}, q8::TXT_LINE_DOWN},
    };
    SimConfig config = WithFiles(1);
    for (const BadReply& c : cases) {
        config.faults.push_back(c.fault);
    }
    StartDevice(config);
    for (const BadReply& c : cases) {
        SCOPED_TRACE(c.what);
        model.status = {"old", false};
        EXPECT_EQ(q8::FormatCartridge(station), q8::MaintenanceResult::Failed);
        EXPECT_EQ(view.shownStatus, c.text);
        EXPECT_TRUE(view.shownError);
    }
    EXPECT_EQ(view.updates, 5);
    EXPECT_TRUE(Sent(q8::CMD_HELLO).empty());
    EXPECT_EQ(Sent(q8::CMD_FORMAT).size(), 5u);
}

TEST_F(MaintenanceTest, EraseSucceedsAndRefreshes) {
    StartDevice(WithFiles(1));
    model.status.error = true;
    wire.command[1] = 0x55;  // left over from an earlier frame
    EXPECT_EQ(q8::EraseVoice(station), q8::MaintenanceResult::Ok);
    EXPECT_EQ(Sent(q8::CMD_ERASE_VOICE), (std::vector<Bytes>{{0x8E, 0x00}}));
    EXPECT_EQ(view.shownStatus, q8::TXT_ERASE_DONE);
    EXPECT_FALSE(view.shownError);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].name, "f0.bin");
    EXPECT_EQ(view.updates, 1);
}

// The device answers after the 2500 ms deadline, one byte at a time, while
// the link's last wait is still running: that reply counts.
TEST_F(MaintenanceTest, LateEraseReplyInPiecesStillCounts) {
    SimConfig config = WithFiles(1);
    config.faults = {{q8::CMD_ERASE_VOICE,
                      1,
                      FaultKind::Script,
                      0,
                      0,
                      {{2650, {q8::RPL_ERASE_VOICE}}, {20, {0x00}}}}};
    StartDevice(config);
    EXPECT_EQ(q8::EraseVoice(station), q8::MaintenanceResult::Ok);
    EXPECT_EQ(view.shownStatus, q8::TXT_ERASE_DONE);
    EXPECT_FALSE(view.shownError);
}

TEST_F(MaintenanceTest, EraseFailuresGiveTheirTexts) {
    const BadReply cases[] = {
        {"0x01", {q8::CMD_ERASE_VOICE, 1, FaultKind::Status, 0x01}, q8::TXT_DOWNLOAD_STATE_AGAIN},
        {"0x81", {q8::CMD_ERASE_VOICE, 2, FaultKind::Status, 0x81}, q8::TXT_DOWNLOAD_STATE_AGAIN},
        {"format's code",
         {q8::CMD_ERASE_VOICE, 3, FaultKind::WrongCode, q8::RPL_FORMAT},
         q8::TXT_LINE_DOWN},
        {"format's reply",
         {q8::CMD_ERASE_VOICE, 4, FaultKind::Script, 0, 0, {{0, {q8::RPL_FORMAT, 0x00}}}},
         q8::TXT_LINE_DOWN},
        {"one byte", {q8::CMD_ERASE_VOICE, 5, FaultKind::Truncate, 1}, q8::TXT_LINE_DOWN},
        {"no reply", {q8::CMD_ERASE_VOICE, 6, FaultKind::NoReply}, q8::TXT_LINE_DOWN},
    };
    SimConfig config;
    for (const BadReply& c : cases) {
        config.faults.push_back(c.fault);
    }
    StartDevice(config);
    for (const BadReply& c : cases) {
        SCOPED_TRACE(c.what);
        model.status = {"old", false};
        EXPECT_EQ(q8::EraseVoice(station), q8::MaintenanceResult::Failed);
        EXPECT_EQ(view.shownStatus, c.text);
        EXPECT_TRUE(view.shownError);
    }
    EXPECT_TRUE(Sent(q8::CMD_HELLO).empty());
}

TEST_F(MaintenanceTest, CompletionTextStandsInRedWhenTheRefreshFails) {
    SimConfig config = WithFiles(1);
    config.faults = {{q8::CMD_HELLO, 0, FaultKind::NoReply}};
    StartDevice(config);
    const struct {
        const char* text;
        q8::MaintenanceResult (*run)(q8::Station&);
    } operations[] = {{q8::TXT_FORMAT_DONE, q8::FormatCartridge},
                      {q8::TXT_ERASE_DONE, q8::EraseVoice}};
    for (const auto& op : operations) {
        SCOPED_TRACE(op.text);
        ShowRows(1, 0);
        model.info.totalText = "stale";
        model.status.error = false;
        EXPECT_EQ(op.run(station), q8::MaintenanceResult::Failed);
        EXPECT_EQ(view.shownStatus, op.text);
        EXPECT_TRUE(view.shownError);
        EXPECT_TRUE(view.rows.empty());
        EXPECT_TRUE(model.info.totalText.empty());
    }
    EXPECT_EQ(Sent(q8::CMD_HELLO).size(), 2u);
}

}  // namespace
