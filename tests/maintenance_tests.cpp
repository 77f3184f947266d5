// Delete, format and erase against the device in memory, on virtual time.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "MemoryFixture.h"
#include "session/CartridgeRefresh.h"
#include "session/Maintenance.h"
#include "session/Texts.h"

namespace {

using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;
using q8test::MakeSimFile;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t NONE = 0;  // no fault in a table row

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

struct BadReply {
    const char* what;
    Fault fault;
    const char* text;
    uint64_t elapsedMs;  // a missing reply costs its whole deadline, nothing more
};

class MaintenanceTest : public q8test::MemoryDeviceFixture {
  protected:
    void SetUp() override {
        port.SetWriteObserver([this](const uint8_t* frame, uint32_t) {
            writes.push_back({frame[0], ElapsedMs()});
        });
    }

    static SimConfig WithFiles(int count) {
        SimConfig config;
        for (int i = 0; i < count; ++i) {
            std::string name("f");
            name += std::to_string(i);
            name += ".bin";
            config.files.push_back(MakeSimFile(name, 20000));
        }
        return config;
    }
    // Stands for a list the window already shows, without a refresh.
    void ShowRows(int count, int mark) {
        view.rows.assign(static_cast<size_t>(count), q8::CartridgeRow{});
        view.mark = mark;
    }
    // Lets the device finish what it was still sending and drops it, so that
    // a table's next row starts on a quiet line.
    void QuietLine() {
        clock.AdvanceTo(port.DeviceIdleAtMs());
        port.Purge();
    }
    // When the last frame with this code was written, in test milliseconds;
    // -1 when none was.
    int64_t LastWriteMs(uint8_t command) const {
        for (auto it = writes.rbegin(); it != writes.rend(); ++it) {
            if (it->command == command) {
                return static_cast<int64_t>(it->atMs);
            }
        }
        return -1;
    }

    // Starts the device with every row's fault, then runs `run` once a row:
    // each run fails in the row's time with the row's text in red, and none
    // goes on to a refresh.
    void ExpectEachFails(SimConfig config, std::span<const BadReply> cases,
                         q8::MaintenanceResult (*run)(q8::Station&)) {
        for (const BadReply& c : cases) {
            config.faults.push_back(c.fault);
        }
        StartDevice(config);
        for (const BadReply& c : cases) {
            SCOPED_TRACE(c.what);
            model.status = {"old", false};
            const uint64_t start = ElapsedMs();
            EXPECT_EQ(run(station), q8::MaintenanceResult::Failed);
            EXPECT_EQ(ElapsedMs() - start, c.elapsedMs);
            EXPECT_EQ(view.shownStatus, c.text);
            EXPECT_TRUE(view.shownError);
        }
        EXPECT_TRUE(Sent(q8::CMD_HELLO).empty());
    }

    struct Write {
        uint8_t command;
        uint64_t atMs;
    };
    std::vector<Write> writes;
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
    EXPECT_TRUE(writes.empty());
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
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(device.Files().size(), 3u);
}

TEST_F(MaintenanceTest, AnyStatusBut0x81DeletesAndRefreshesAfterThePause) {
    SimConfig config = WithFiles(3);
    config.faults = {{q8::CMD_DELETE, 2, FaultKind::Status, 0x01},
                     {q8::CMD_DELETE, 3, FaultKind::Status, 0x80}};
    StartDevice(config);
    ASSERT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
    ASSERT_EQ(view.rows.size(), 3u);

    // A reply left over from an earlier exchange must not be taken for this
    // one: it is on the line when the delete starts.
    wire.command[0] = q8::CMD_ERASE_VOICE;
    wire.command[1] = 0;
    wire.Send(2);
    ASSERT_EQ(port.QueuedBytes(), 2u);

    for (int left = 2; left >= 0; --left) {
        SCOPED_TRACE(left);
        model.status.error = true;
        view.mark = static_cast<int>(view.rows.size()) - 1;
        const size_t hellos = Sent(q8::CMD_HELLO).size();
        const int64_t start = static_cast<int64_t>(ElapsedMs());
        EXPECT_EQ(q8::DeleteLastFile(station, messages), q8::MaintenanceResult::Ok);
        // The delete goes out at once and is answered at once; the refresh's
        // hello follows exactly the 3000 ms pause later.
        EXPECT_EQ(LastWriteMs(q8::CMD_DELETE), start);
        EXPECT_EQ(LastWriteMs(q8::CMD_HELLO), start + 3000);
        EXPECT_EQ(static_cast<int64_t>(ElapsedMs()), start + 3000);
        EXPECT_EQ(Sent(q8::CMD_DELETE).back(), (Bytes{0x8A, static_cast<uint8_t>(left)}));
        EXPECT_EQ(device.Files().size(), static_cast<size_t>(left));
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
        {{"0x81", {q8::CMD_DELETE, 0, FaultKind::Status, 0x81}, q8::TXT_DOWNLOAD_STATE_AGAIN, 0},
         q8::DeleteResult::Refused},
        {{"no reply", {q8::CMD_DELETE, 0, FaultKind::NoReply}, q8::TXT_NOT_LINKED, 2807},
         q8::DeleteResult::NoReply},
        {{"one byte", {q8::CMD_DELETE, 0, FaultKind::Truncate, 1}, q8::TXT_NOT_LINKED, 2807},
         q8::DeleteResult::NoReply},
        {{"format's code",
          {q8::CMD_DELETE, 0, FaultKind::WrongCode, q8::RPL_FORMAT},
          q8::TXT_DATA_ERROR,
          0},
         q8::DeleteResult::NoReply},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.what);
        SimConfig config = WithFiles(2);
        config.faults = {c.reply.fault};
        StartDevice(config);
        QuietLine();

        // The exchange alone writes the text and nothing else.
        model.status = {"old", false};
        const int updates = view.updates;
        uint64_t start = ElapsedMs();
        EXPECT_EQ(q8::DeleteEntry(wire, model.status, 1), c.result);
        EXPECT_EQ(ElapsedMs() - start, c.reply.elapsedMs);
        EXPECT_EQ(model.status.text, c.reply.text);
        EXPECT_FALSE(model.status.error);
        EXPECT_EQ(view.updates, updates);

        model.status = {"old", false};
        ShowRows(2, 1);
        start = ElapsedMs();
        EXPECT_EQ(q8::DeleteLastFile(station, messages), q8::MaintenanceResult::Failed);
        EXPECT_EQ(ElapsedMs() - start, c.reply.elapsedMs);  // no pause after a failure
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

    EXPECT_EQ(q8::FormatCartridge(station), q8::MaintenanceResult::Ok);

    // The reply came at 500 ms and waited on the line until the read after
    // the 3000 ms pause; the refresh's hello goes out right then.
    EXPECT_EQ(LastWriteMs(q8::CMD_FORMAT), 0);
    EXPECT_EQ(LastWriteMs(q8::CMD_HELLO), 3000);
    EXPECT_EQ(ElapsedMs(), 3000u);
    EXPECT_EQ(Sent(q8::CMD_FORMAT), (std::vector<Bytes>{{0x85, 0, 0, 0}}));
    EXPECT_EQ(view.shownStatus, q8::TXT_FORMAT_DONE);
    EXPECT_FALSE(view.shownError);
    EXPECT_TRUE(device.Files().empty());
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(model.info.freeText, "空闲空间:4.00*8Mbits");
    EXPECT_EQ(view.updates, 1);
}

TEST_F(MaintenanceTest, FormatFailuresGiveTheirTexts) {
    // Every format waits its 3000 ms pause first.
    const BadReply cases[] = {
        {"0x81", {q8::CMD_FORMAT, 1, FaultKind::Status, 0x81}, q8::TXT_NO_INITIAL_FORMAT, 3000},
        {"0x01", {q8::CMD_FORMAT, 2, FaultKind::Status, 0x01}, q8::TXT_FORMAT_ERROR, 3000},
        {"0x80", {q8::CMD_FORMAT, 3, FaultKind::Status, 0x80}, q8::TXT_FORMAT_ERROR, 3000},
        {"erase's code",
         {q8::CMD_FORMAT, 4, FaultKind::WrongCode, q8::RPL_ERASE_VOICE},
         q8::TXT_LINE_DOWN,
         3000},
        {"no reply", {q8::CMD_FORMAT, 5, FaultKind::NoReply}, q8::TXT_LINE_DOWN, 3000 + 4010},
    };
    ExpectEachFails(WithFiles(1), cases, q8::FormatCartridge);
    EXPECT_EQ(view.updates, 5);
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
    EXPECT_EQ(ElapsedMs(), 0u);  // no pause: the refresh follows the reply at once
}

// Bytes an earlier exchange left on the line (here a hello reply) are
// dropped before the command goes out, or they would be read as its reply.
TEST_F(MaintenanceTest, ReplyLeftOnTheLineIsDroppedBeforeEachCommand) {
    const struct {
        const char* what;
        q8::MaintenanceResult (*run)(q8::Station&, q8::MessageSink&);
        const char* text;
    } cases[] = {
        {"delete", [](q8::Station& s, q8::MessageSink& m) { return q8::DeleteLastFile(s, m); }, ""},
        {"format", [](q8::Station& s, q8::MessageSink&) { return q8::FormatCartridge(s); },
         q8::TXT_FORMAT_DONE},
        {"erase", [](q8::Station& s, q8::MessageSink&) { return q8::EraseVoice(s); },
         q8::TXT_ERASE_DONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartDevice(WithFiles(2));
        ShowRows(2, 1);
        wire.SendShort(q8::CMD_HELLO, q8::HELLO_ARGUMENT);
        ASSERT_EQ(port.QueuedBytes(), 2u);
        EXPECT_EQ(c.run(station, messages), q8::MaintenanceResult::Ok);
        EXPECT_EQ(view.shownStatus, c.text);
        EXPECT_FALSE(view.shownError);
        EXPECT_EQ(port.QueuedBytes(), 0u);
    }
}

// Each command's reply may complete until the end of the link's low-level
// wait in which its deadline passes: erase and delete 2500 ms -> 2807, format
// 4000 ms after its 3000 ms pause -> 3000 + 4010. One millisecond later it is
// lost. A reply in pieces counts by its last piece.
TEST_F(MaintenanceTest, ReplyCountsUntilTheLastWaitOfItsDeadlineEnds) {
    enum class Op { Erase, Delete, Format };
    const struct {
        const char* what;
        Op op;
        Fault fault;
        uint32_t formatDelayMs;
        bool ok;
        const char* text;  // the status line when the command failed
        uint64_t elapsedMs;
    } cases[] = {
        {"erase reply in pieces at 2650 and 2670",
         Op::Erase,
         {q8::CMD_ERASE_VOICE,
          1,
          FaultKind::Script,
          0,
          0,
          {{2650, {q8::RPL_ERASE_VOICE}}, {20, {q8::STATUS_OK}}}},
         0,
         true,
         "",
         2670},
        {"erase reply in pieces at 2650 and 2807",
         Op::Erase,
         {q8::CMD_ERASE_VOICE,
          1,
          FaultKind::Script,
          0,
          0,
          {{2650, {q8::RPL_ERASE_VOICE}}, {157, {q8::STATUS_OK}}}},
         0,
         true,
         "",
         2807},
        {"erase reply in pieces at 2650 and 2808",
         Op::Erase,
         {q8::CMD_ERASE_VOICE,
          1,
          FaultKind::Script,
          0,
          0,
          {{2650, {q8::RPL_ERASE_VOICE}}, {158, {q8::STATUS_OK}}}},
         0,
         false,
         q8::TXT_LINE_DOWN,
         2807},
        // A delete answered in time is followed by the 3000 ms pause and the
        // refresh.
        {"delete reply at 2807",
         Op::Delete,
         {q8::CMD_DELETE, 1, FaultKind::Delay, 2807},
         0,
         true,
         "",
         2807 + 3000},
        {"delete reply at 2808",
         Op::Delete,
         {q8::CMD_DELETE, 1, FaultKind::Delay, 2808},
         0,
         false,
         q8::TXT_NOT_LINKED,
         2807},
        {"format reply at 7010", Op::Format, {NONE}, 7010, true, "", 7010},
        {"format reply at 7011", Op::Format, {NONE}, 7011, false, q8::TXT_LINE_DOWN, 7010},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimConfig config = WithFiles(2);
        if (c.fault.command != NONE) {
            config.faults = {c.fault};
        }
        config.formatDelayMs = c.formatDelayMs;
        StartDevice(config);
        QuietLine();
        ShowRows(2, 1);
        model.status = {"old", true};
        const uint64_t start = ElapsedMs();
        const size_t hellos = Sent(q8::CMD_HELLO).size();

        q8::MaintenanceResult result = q8::MaintenanceResult::Failed;
        const char* done = "";
        switch (c.op) {
            case Op::Erase:
                result = q8::EraseVoice(station);
                done = q8::TXT_ERASE_DONE;
                break;
            case Op::Delete:
                result = q8::DeleteLastFile(station, messages);
                break;
            case Op::Format:
                result = q8::FormatCartridge(station);
                done = q8::TXT_FORMAT_DONE;
                break;
        }
        EXPECT_EQ(result, c.ok ? q8::MaintenanceResult::Ok : q8::MaintenanceResult::Failed);
        EXPECT_EQ(ElapsedMs() - start, c.elapsedMs);
        EXPECT_EQ(view.shownStatus, c.ok ? done : c.text);
        EXPECT_EQ(view.shownError, !c.ok);
        // A late reply is never followed by a refresh.
        EXPECT_EQ(Sent(q8::CMD_HELLO).size(), hellos + (c.ok ? 1u : 0u));
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MaintenanceTest, EraseFailuresGiveTheirTexts) {
    const BadReply cases[] = {
        {"0x01",
         {q8::CMD_ERASE_VOICE, 1, FaultKind::Status, 0x01},
         q8::TXT_DOWNLOAD_STATE_AGAIN,
         0},
        {"0x81",
         {q8::CMD_ERASE_VOICE, 2, FaultKind::Status, 0x81},
         q8::TXT_DOWNLOAD_STATE_AGAIN,
         0},
        {"format's code",
         {q8::CMD_ERASE_VOICE, 3, FaultKind::WrongCode, q8::RPL_FORMAT},
         q8::TXT_LINE_DOWN,
         0},
        {"format's reply",
         {q8::CMD_ERASE_VOICE, 4, FaultKind::Script, 0, 0, {{0, {q8::RPL_FORMAT, 0x00}}}},
         q8::TXT_LINE_DOWN,
         0},
        {"one byte", {q8::CMD_ERASE_VOICE, 5, FaultKind::Truncate, 1}, q8::TXT_LINE_DOWN, 2807},
        {"no reply", {q8::CMD_ERASE_VOICE, 6, FaultKind::NoReply}, q8::TXT_LINE_DOWN, 2807},
    };
    ExpectEachFails(SimConfig{}, cases, q8::EraseVoice);
}

TEST_F(MaintenanceTest, CompletionTextStandsInRedWhenTheRefreshFails) {
    SimConfig config = WithFiles(1);
    config.faults = {{q8::CMD_HELLO, 0, FaultKind::NoReply}};
    StartDevice(config);
    const struct {
        const char* text;
        q8::MaintenanceResult (*run)(q8::Station&);
        uint64_t elapsedMs;  // the command's pause, then the hello's 802 ms
    } operations[] = {{q8::TXT_FORMAT_DONE, q8::FormatCartridge, 3000 + 802},
                      {q8::TXT_ERASE_DONE, q8::EraseVoice, 802}};
    for (const auto& op : operations) {
        SCOPED_TRACE(op.text);
        ShowRows(1, 0);
        model.info.totalText = "stale";
        model.status.error = false;
        const uint64_t start = ElapsedMs();
        EXPECT_EQ(op.run(station), q8::MaintenanceResult::Failed);
        EXPECT_EQ(ElapsedMs() - start, op.elapsedMs);
        EXPECT_EQ(view.shownStatus, op.text);
        EXPECT_TRUE(view.shownError);
        EXPECT_TRUE(view.rows.empty());
        EXPECT_TRUE(model.info.totalText.empty());
    }
    EXPECT_EQ(Sent(q8::CMD_HELLO).size(), 2u);
}

// An adapter pulled out: every read fails at once, so no deadline is waited
// out; only format's own pause still passes.
TEST_F(MaintenanceTest, BrokenPortFailsEveryCommandWithoutWaiting) {
    StartDevice(WithFiles(2));
    port.SetBroken(true);
    const struct {
        const char* what;
        q8::MaintenanceResult (*run)(q8::Station&, q8::MessageSink&);
        const char* text;
        uint64_t elapsedMs;
    } cases[] = {
        {"delete", [](q8::Station& s, q8::MessageSink& m) { return q8::DeleteLastFile(s, m); },
         q8::TXT_NOT_LINKED, 0},
        {"format", [](q8::Station& s, q8::MessageSink&) { return q8::FormatCartridge(s); },
         q8::TXT_LINE_DOWN, 3000},
        {"erase", [](q8::Station& s, q8::MessageSink&) { return q8::EraseVoice(s); },
         q8::TXT_LINE_DOWN, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ShowRows(2, 1);
        model.status = {"old", false};
        const uint64_t start = ElapsedMs();
        EXPECT_EQ(c.run(station, messages), q8::MaintenanceResult::Failed);
        EXPECT_EQ(ElapsedMs() - start, c.elapsedMs);
        EXPECT_EQ(view.shownStatus, c.text);
        EXPECT_TRUE(view.shownError);
        EXPECT_EQ(view.rows.size(), 2u);
    }
    EXPECT_TRUE(Sent(q8::CMD_HELLO).empty());
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
