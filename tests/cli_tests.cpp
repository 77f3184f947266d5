// q8loader-cli as a user runs it, against the simulated device.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ConsoleTransferUi.h"
#include "PortSearch.h"
#include "ShellRun.h"
#include "TempFolder.h"
#include "protocol/Frames.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimFiles.h"
#include "sim/Simulator.h"
#include "sim/VirtualClock.h"

namespace {

using CliRun = q8test::ShellRun;
using q8test::ReadAll;

// Runs the CLI with COM1/COM2 pointing where the test says; `before` runs
// first in its shell, and `stdoutTo` replaces the captured stdout.
CliRun RunCli(const std::string& args, const std::string& com1, const std::string& com2,
              const std::string& before = "", const std::string& stdoutTo = "") {
    return q8test::RunShell(before + " Q8LOADER_COM1='" + com1 + "' Q8LOADER_COM2='" + com2 + "' " +
                                Q8LOADER_CLI_PATH + " " + args,
                            stdoutTo);
}

q8sim::SimConfig SampleCartridge() {
    q8sim::SimConfig config;
    config.totalBytes = 1048576;
    config.freeBytes = 1536;
    q8sim::SimFile a{"\xD6\xD0\xCE\xC4.bin", {2005, 3, 7, 9, 5, 0}, std::vector<uint8_t>(1536)};
    q8sim::SimFile b{"b.bin", {2024, 12, 31, 23, 59, 0}, std::vector<uint8_t>(100)};
    config.files = {a, b};
    return config;
}

constexpr const char* MISSING = "/nonexistent/q8-port";

TEST(Cli, ListPrintsRowsThenSpaceTexts) {
    q8sim::Simulator sim(SampleCartridge());
    ASSERT_TRUE(sim.Start());
    const CliRun run = RunCli("list", sim.DevicePath(), MISSING);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "中文.bin\t1.50*8Kbits\t2005-3-7 9:5\n"
              "b.bin\t100*8bits\t2024-12-31 23:59\n"
              "空间共计:1.00*8Mbits\n"
              "空闲空间:1.50*8Kbits\n");
    EXPECT_EQ(run.err, "");
}

TEST(Cli, ListEscapesControlCharactersInNames) {
    q8sim::SimConfig config;
    const std::string name = "\xD6\xD0\x1b[2J\a\r\t\n\x7f\\";  // 中, then control bytes
    config.files = {q8sim::SimFile{name, {2024, 1, 2, 3, 4, 0}, std::vector<uint8_t>(10)}};
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const CliRun run = RunCli("list", sim.DevicePath(), MISSING);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "中\\x1b[2J\\x07\\x0d\\x09\\x0a\\x7f\\\\\t10*8bits\t2024-1-2 3:4\n"
              "空间共计:4.00*8Mbits\n空闲空间:4.00*8Mbits\n");
}

TEST(Cli, UnwritableOutputIsAFailure) {
    q8sim::Simulator sim(SampleCartridge());
    ASSERT_TRUE(sim.Start());
    const struct {
        const char* stdoutTo;
        const char* reason;
    } cases[] = {{">/dev/full", "No space left on device"}, {">&-", "Bad file descriptor"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stdoutTo);
        const CliRun run = RunCli("list", sim.DevicePath(), MISSING, "", c.stdoutTo);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err,
                  std::string("q8loader-cli: cannot write the output: ") + c.reason + "\n");
    }
}

TEST(Cli, FallsBackToCom2AndAcceptsAnExplicitPort) {
    q8sim::Simulator sim(SampleCartridge());
    ASSERT_TRUE(sim.Start());
    const CliRun fallback = RunCli("list", MISSING, sim.DevicePath());
    EXPECT_EQ(fallback.exitCode, 0);
    EXPECT_EQ(fallback.err.rfind(std::string("打开COM1错误，请检查COM1出错或者被占用！\n没有 ") +
                                     MISSING + " 这个设备",
                                 0),
              0u)
        << fallback.err;
    EXPECT_EQ(fallback.err.find("COM2"), std::string::npos);
    EXPECT_NE(fallback.out.find("b.bin"), std::string::npos);

    const CliRun direct = RunCli("--port " + sim.DevicePath() + " list", MISSING, MISSING);
    EXPECT_EQ(direct.exitCode, 0) << direct.err;
    EXPECT_NE(direct.out.find("b.bin"), std::string::npos);
}

TEST(Cli, NoPortAndNoDeviceAreFailures) {
    const CliRun none = RunCli("list", MISSING, MISSING);
    EXPECT_EQ(none.exitCode, 1);
    // Each fixed text is followed by why: here, that no such device exists,
    // and which ports do.
    const std::string why = std::string("没有 ") + MISSING + " 这个设备";
    const size_t com1 = none.err.find("打开COM1错误，请检查COM1出错或者被占用！\n" + why);
    const size_t com2 = none.err.find("打开COM2错误，请检查COM2出错或者被占用！\n" + why);
    EXPECT_EQ(com1, 0u) << none.err;
    EXPECT_NE(com2, std::string::npos) << none.err;
    EXPECT_GT(com2, com1);
    EXPECT_EQ(none.err.substr(none.err.size() - std::string("不能打开COM1或COM2！\n").size()),
              "不能打开COM1或COM2！\n");
    EXPECT_EQ(none.out, "");

    q8sim::SimConfig config;
    config.machineType = 2;
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const CliRun wrong = RunCli("--port COM1 list", sim.DevicePath(), MISSING);
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.err, "机器不匹配！请用Q8！\n");

    // A user's file named as the port is refused and never written.
    q8test::TempFolder folder("q8notaport");
    const std::string file = folder.Path() + "/notes.txt";
    std::ofstream(file) << "keep me";
    const auto stamp = std::filesystem::last_write_time(file);
    const CliRun notPort = RunCli("--port " + file + " list", MISSING, MISSING);
    EXPECT_EQ(notPort.exitCode, 1);
    EXPECT_EQ(notPort.err, "打开" + file + "错误，请检查" + file + "出错或者被占用！\n" + file +
                               " 不是串口设备（普通文件）。\n");
    EXPECT_EQ(ReadAll(file), "keep me");
    EXPECT_EQ(std::filesystem::last_write_time(file), stamp);
}

TEST(Cli, EmptyCartridgePrintsItsStatusText) {
    q8sim::Simulator sim;
    ASSERT_TRUE(sim.Start());
    const CliRun run = RunCli("list", sim.DevicePath(), MISSING);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "空间共计:4.00*8Mbits\n空闲空间:4.00*8Mbits\n没有文件数据！\n");
}

TEST(Cli, UsageErrorsExitWithTwo) {
    for (const char* args :
         {"", "frobnicate", "list extra", "--port", "--port COM1", "--port '' list", "download",
          "upload 1", "upload 256 x.bin", "upload -1 x.bin", "delete x",
          "--port a --port b upload 0 x.bin", "--watch ports"}) {
        SCOPED_TRACE(args);
        const CliRun run = RunCli(args, MISSING, MISSING);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
    }
}

// Virtual time for the progress loop; its first wait runs `onSleep` (the
// worker ending the transfer meanwhile).
class EndingClock final : public q8::Clock {
  public:
    uint32_t TickMs() override { return time_.TickMs(); }
    void Sleep(std::chrono::milliseconds pause) override {
        time_.Sleep(pause);
        if (onSleep) {
            std::exchange(onSleep, nullptr)();
        }
    }
    uint64_t NowMs() const { return time_.NowMs(); }

    std::function<void()> onSleep;

  private:
    q8sim::VirtualClock time_;
};

// A batch goes on as soon as the worker has set the outcome, or ended the
// progress itself: within one poll, not at the next 500 ms progress tick.
TEST(ConsoleTransferUi, ProgressEndsWithinOnePollOfTheWorkersEnd) {
    using q8::ProgressResult;
    using q8::TransferOutcome;
    const struct {
        TransferOutcome outcome;  // Running: the worker calls EndProgress instead
        ProgressResult result;
    } cases[] = {{TransferOutcome::Done, ProgressResult::Done},
                 {TransferOutcome::Refused, ProgressResult::Refused},
                 {TransferOutcome::Running, ProgressResult::Failed}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.result));
        EndingClock clock;
        q8cli::ConsoleTransferUi ui({}, clock);
        q8::TransferState state;
        state.Reset();
        clock.onSleep = [&] {
            if (c.outcome == TransferOutcome::Running) {
                ui.EndProgress(ProgressResult::Failed);
            } else {
                state.SetOutcome(c.outcome);
            }
        };
        EXPECT_EQ(ui.RunProgress(state), c.result);
        EXPECT_LE(clock.NowMs(), q8cli::ConsoleTransferUi::POLL_MS);
    }
}

// A folder of its own for the files one test or session sends and receives;
// removed with everything in it at the end.
class Folder : public q8test::TempFolder {
  public:
    Folder() : TempFolder("q8clifiles") {}
    // Writes SyntheticData(size) to `name` in the folder; returns its path.
    std::string Put(const std::string& name, uint32_t size) const {
        const std::string path = PathOf(name);
        const std::vector<uint8_t> data = q8sim::SyntheticData(size);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
        return path;
    }
    long Entries() const {
        return static_cast<long>(std::distance(std::filesystem::directory_iterator(Path()), {}));
    }
};

// Why a session could not begin; empty when the folder and the device are up.
std::string Begin(const Folder& folder, q8sim::Simulator& sim) {
    if (!folder.Made()) {
        return "no temporary folder";
    }
    if (!sim.Start()) {
        return "the simulator did not start: " + sim.Error();
    }
    return "";
}

// One line a frame or read: time, direction, name, length, bytes; a read
// that ran out of time says so.
TEST(CliFiles, TraceRecordsFramesRepliesAndExpiredDeadlines) {
    Folder folder;
    ASSERT_TRUE(folder.Made());
    q8sim::SimConfig config = SampleCartridge();
    config.faults = {{q8::CMD_DIR_ENTRY, 2, q8sim::FaultKind::NoReply}};
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const std::string trace = folder.Path() + "/trace.txt";
    const CliRun run = RunCli("--trace " + trace + " list", sim.DevicePath(), MISSING);
    EXPECT_EQ(run.exitCode, 1);

    std::istringstream lines(ReadAll(trace));
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) {
        got.push_back(line);
    }
    // After the time field (8 columns and a blank), every line is fixed.
    const std::vector<std::string> expected = {
        "> hello             2  80 01",
        "< hello             2  A0 01",
        "> card-info         2  82 00",
        "< card-info         2  A2 00",
        "< data              8  00 00 10 00 00 06 00 00",
        "> dir-entry         2  83 00",
        "< data             32  D6 D0 CE C4 2E 62 69 6E FF FF FF FF FF FF FF FF 69 03 07 09 05 00 "
        "FF FF FF FF FF FF 00 06 00 00",
        "> dir-entry         2  83 01",
        "< data              0   ! deadline 400 ms passed with 0 of 32 bytes",
    };
    ASSERT_EQ(got.size(), expected.size()) << ReadAll(trace);
    constexpr size_t TIME_COLUMNS = 9;
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_GT(got[i].size(), TIME_COLUMNS);
        const std::string time = got[i].substr(0, TIME_COLUMNS - 1);
        EXPECT_EQ(time.find_first_not_of(" 0123456789"), std::string::npos) << got[i];
        EXPECT_EQ(got[i].substr(TIME_COLUMNS), expected[i]);
    }
}

// The trace file from --trace or, as for the window, Q8LOADER_TRACE. One that
// cannot be made stops the command before it starts; one that cannot take a
// line is told of once and leaves the command's outcome alone.
TEST(CliFiles, TraceFileFromTheOptionOrTheEnvironment) {
    Folder folder;
    ASSERT_TRUE(folder.Made());
    q8sim::Simulator sim(SampleCartridge());
    ASSERT_TRUE(sim.Start());
    const std::string dir = folder.Path();
    const struct {
        std::string before;  // the environment
        std::string args;
        int exitCode;
        std::string err;
        std::string written;  // the trace file in the folder; empty: none
    } cases[] = {
        {"", "--trace " + dir + "/no/t.txt list", 1,
         "q8loader-cli: cannot write the trace " + dir + "/no/t.txt: No such file or directory\n",
         ""},
        {"", "--trace /dev/full list", 0,
         "q8loader-cli: cannot write the trace /dev/full: No space left on device\n", ""},
        {"Q8LOADER_TRACE=" + dir + "/env.txt", "list", 0, "", "env.txt"},
        {"Q8LOADER_TRACE=" + dir + "/unused.txt", "--trace " + dir + "/arg.txt list", 0, "",
         "arg.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before + " " + c.args);
        const CliRun run = RunCli(c.args, sim.DevicePath(), MISSING, c.before);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out.empty(), c.exitCode != 0);  // the list ran unless the trace stopped it
        if (!c.written.empty()) {
            // The first line, after its 8-column time and a blank.
            EXPECT_EQ(ReadAll(dir + "/" + c.written).find("> hello"), 9u);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/unused.txt"));
}

TEST(CliFiles, FileSizeLimitFailsTheUploadLikeAFullDisk) {
    Folder folder;
    ASSERT_TRUE(folder.Made());
    q8sim::SimConfig config;
    config.files = {q8sim::SyntheticFile("big.bin", 3000)};
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    // In 512-byte units: the first block fits, the second goes past the limit.
    const CliRun run = RunCli("upload 0 " + folder.Path() + "/back.bin", sim.DevicePath(), MISSING,
                              "ulimit -f 1;");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "传输数据出错！\n");
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

// The sessions below spend seconds waiting out the device's erase and the
// host's fixed pauses, not the CPU. So, before the first test runs, the
// sessions of every test selected to run start side by side in threads of
// their own, each on its own simulator and in its own folder; each test then
// waits for its session and checks what it recorded. A session asserts
// nothing itself: gtest would charge a failure to whichever test is running.
class SessionBase {
  public:
    explicit SessionBase(std::string test);
    SessionBase(const SessionBase&) = delete;
    SessionBase& operator=(const SessionBase&) = delete;
    virtual ~SessionBase() = default;
    // "Suite.Test", as gtest names the test that checks this session.
    const std::string& Test() const { return test_; }
    virtual void Start() = 0;
    virtual void Forget() = 0;

  private:
    std::string test_;
};

std::vector<SessionBase*>& AllSessions() {
    static std::vector<SessionBase*> sessions;
    return sessions;
}

SessionBase::SessionBase(std::string test) : test_(std::move(test)) {
    AllSessions().push_back(this);
}

template <typename Result>
class Session final : public SessionBase {
  public:
    Session(std::string test, std::function<Result()> run)
        : SessionBase(std::move(test)), run_(std::move(run)) {}
    // Starting a started session does nothing.
    void Start() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!result_.valid()) {
            result_ = std::async(std::launch::async, run_).share();
        }
    }
    // Waits for a session no test took, so that the next round starts anew.
    void Forget() override {
        std::shared_future<Result> old;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            old = std::exchange(result_, {});
        }
        if (old.valid()) {
            old.wait();
        }
    }
    // The session's record; starts it first when nothing did (a test whose
    // name does not match Test()).
    Result Wait() {
        Start();
        std::shared_future<Result> result;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            result = result_;
        }
        return result.get();
    }

  private:
    std::function<Result()> run_;
    std::mutex mutex_;
    std::shared_future<Result> result_;
};

// Each round of tests (--gtest_repeat gives several) starts the sessions of
// the tests selected to run, and waits at its end for any no test took.
class SessionStarter : public ::testing::EmptyTestEventListener {
  public:
    // gtest has applied --gtest_filter by now: under ctest, which runs one
    // test a process, only that test's session starts.
    void OnTestIterationStart(const ::testing::UnitTest& unit, int) override {
        for (int s = 0; s < unit.total_test_suite_count(); ++s) {
            const ::testing::TestSuite& suite = *unit.GetTestSuite(s);
            for (int t = 0; t < suite.total_test_count(); ++t) {
                const ::testing::TestInfo& test = *suite.GetTestInfo(t);
                if (!test.should_run()) {
                    continue;
                }
                const std::string name = std::string(suite.name()) + "." + test.name();
                for (SessionBase* session : AllSessions()) {
                    if (session->Test() == name) {
                        session->Start();
                    }
                }
            }
        }
    }
    void OnTestIterationEnd(const ::testing::UnitTest&, int) override {
        for (SessionBase* session : AllSessions()) {
            session->Forget();
        }
    }
};

[[maybe_unused]] const bool sessionStarterAdded = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SessionStarter);
    return true;
}();

// Starts the CLI with `args`, its stdout and stderr on the files named; the
// caller reaps it.
pid_t StartProgram(std::vector<std::string> args, const std::string& stdoutTo,
                   const std::string& stderrTo) {
    args.insert(args.begin(), Q8LOADER_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const char* const stdoutPath = stdoutTo.c_str();
    const char* const stderrPath = stderrTo.c_str();
    const pid_t child = fork();
    if (child == 0) {  // other threads run: only async-signal-safe calls until exec
        dup2(open(stdoutPath, O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        dup2(open(stderrPath, O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// Starts the CLI on `device` with stderr on `stderrTo`; the caller reaps it.
pid_t StartCli(const std::string& device, std::vector<std::string> args,
               const std::string& stderrTo = "/dev/null") {
    args.insert(args.begin(), {"--port", device});
    return StartProgram(std::move(args), "/dev/null", stderrTo);
}

// The wait status of `child`, or -1 when it cannot be had.
int Reap(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) != child) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

// Polls the device every `stepUs` until it has had `count` frames of
// `command`, or `tries` polls went by; returns how many it has had.
int AwaitFrames(const q8sim::Simulator& sim, uint8_t command, int count, int tries,
                useconds_t stepUs) {
    for (int i = 0; i < tries && sim.Occurrences(command) < count; ++i) {
        usleep(stepUs);
    }
    return sim.Occurrences(command);
}

struct RoundTrip {
    std::string failure;  // why the session could not begin
    std::string dir;
    CliRun down;
    std::vector<q8sim::SimFile> files;  // on the cartridge after the download
    size_t batchEnds = 0;
    CliRun up;
    std::vector<uint8_t> back;  // what the upload wrote
    CliRun refused;
    CliRun missing;
};

Session<RoundTrip> roundTrip("CliFiles.DownloadThenUploadGivesTheSameBytes", [] {
    RoundTrip r;
    Folder folder;
    q8sim::Simulator sim;
    if (r.failure = Begin(folder, sim); !r.failure.empty()) {
        return r;
    }
    r.dir = folder.Path();
    const std::string file = folder.Put("中文课本.bin", 70000);
    r.down = RunCli("download " + file, sim.DevicePath(), MISSING);
    r.files = sim.Files();
    // Nothing answers the batch end; let the device take it.
    AwaitFrames(sim, q8::CMD_BATCH_END, 1, 500, 2000);
    r.batchEnds = sim.FramesFromHost(q8::CMD_BATCH_END).size();

    r.up = RunCli("upload 0 " + r.dir + "/back.bin", sim.DevicePath(), MISSING);
    const std::string back = ReadAll(r.dir + "/back.bin");
    r.back.assign(back.begin(), back.end());
    r.refused = RunCli("upload 0 " + r.dir + "/no/such/dir.bin", sim.DevicePath(), MISSING);
    r.missing = RunCli("download " + r.dir + "/gone.bin", sim.DevicePath(), MISSING);
    return r;
});

TEST(CliFiles, DownloadThenUploadGivesTheSameBytes) {
    const RoundTrip r = roundTrip.Wait();
    ASSERT_EQ(r.failure, "");
    EXPECT_EQ(r.down.exitCode, 0) << r.down.err;
    EXPECT_EQ(r.down.err, "");  // not a terminal: no progress line
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files[0].nameGbk, "\xD6\xD0\xCE\xC4\xBF\xCE\xB1\xBE.bin");
    EXPECT_EQ(r.batchEnds, 1u);

    EXPECT_EQ(r.up.exitCode, 0) << r.up.err;
    EXPECT_EQ(r.back, q8sim::SyntheticData(70000));

    EXPECT_EQ(r.refused.exitCode, 1);
    EXPECT_EQ(r.refused.err, "不能保存为此文件！\n");
    EXPECT_EQ(r.missing.exitCode, 1);
    EXPECT_EQ(r.missing.err, "打开文件（" + r.dir + "/gone.bin）失败!\n");
}

struct VerifyRuns {
    std::string failure;
    CliRun bad;   // a.bin and b.bin, a byte of b.bin stored wrong
    CliRun good;  // a.bin alone, on a device of its own
    size_t filesAfterGood = 0;
    int goodBatchEnds = 0;  // the read-back right after must not drop it
};

// The cartridge stores one byte of the second file wrong and says nothing:
// only reading it back shows it.
Session<VerifyRuns> verifyRuns("CliFiles.VerifyReadsEveryFileBackAndNamesTheFirstDifference", [] {
    VerifyRuns r;
    Folder folder;
    q8sim::SimConfig faulty;
    // The 2nd file's first block is the 3rd block frame of the batch.
    faulty.faults = {{q8::CMD_DOWNLOAD_BLOCK, 3, q8sim::FaultKind::Corrupt, 100}};
    q8sim::Simulator badSim(faulty), goodSim;
    if (r.failure = Begin(folder, badSim); !r.failure.empty()) {
        return r;
    }
    if (r.failure = Begin(folder, goodSim); !r.failure.empty()) {
        return r;
    }
    const std::string a = folder.Put("a.bin", 700), b = folder.Put("b.bin", 3000);
    auto good = std::async(std::launch::async, [&] {
        return RunCli("download --verify " + a, goodSim.DevicePath(), MISSING);
    });
    r.bad = RunCli("download --verify " + a + " " + b, badSim.DevicePath(), MISSING);
    r.good = good.get();
    r.filesAfterGood = goodSim.Files().size();
    r.goodBatchEnds = goodSim.Occurrences(q8::CMD_BATCH_END);
    return r;
});

TEST(CliFiles, VerifyReadsEveryFileBackAndNamesTheFirstDifference) {
    const VerifyRuns r = verifyRuns.Wait();
    ASSERT_EQ(r.failure, "");
    EXPECT_EQ(r.bad.exitCode, 1);
    EXPECT_EQ(r.bad.out, "verified: a.bin\n");
    EXPECT_EQ(r.bad.err, "differs: b.bin from byte 100\n");

    EXPECT_EQ(r.good.exitCode, 0) << r.good.err;
    EXPECT_EQ(r.good.out, "verified: a.bin\n");
    EXPECT_EQ(r.good.err, "");
    EXPECT_EQ(r.filesAfterGood, 1u);
    EXPECT_EQ(r.goodBatchEnds, 1);
}

struct MaintenanceRuns {
    std::string failure;
    CliRun del;
    std::vector<q8sim::SimFile> afterDelete;
    CliRun erase;
    CliRun format;
    std::vector<q8sim::SimFile> afterFormat;
    CliRun emptyDelete;
};

Session<MaintenanceRuns> maintenanceRuns("CliFiles.MaintenanceCommandsReportTheirStatusText", [] {
    MaintenanceRuns r;
    Folder folder;
    q8sim::SimConfig config;
    config.files = {q8sim::SyntheticFile("a.bin", 10), q8sim::SyntheticFile("b.bin", 20)};
    // Delete and format each wait 3 s on the device: on two devices side by side.
    q8sim::Simulator deleting(config), formatting(config);
    if (r.failure = Begin(folder, deleting); !r.failure.empty()) {
        return r;
    }
    if (r.failure = Begin(folder, formatting); !r.failure.empty()) {
        return r;
    }
    auto del = std::async(std::launch::async, [&] {
        r.del = RunCli("delete", deleting.DevicePath(), MISSING);
        r.afterDelete = deleting.Files();
    });
    r.erase = RunCli("erase-voice", formatting.DevicePath(), MISSING);
    r.format = RunCli("format", formatting.DevicePath(), MISSING);
    r.afterFormat = formatting.Files();
    r.emptyDelete = RunCli("delete", formatting.DevicePath(), MISSING);
    del.get();
    return r;
});

TEST(CliFiles, MaintenanceCommandsReportTheirStatusText) {
    const MaintenanceRuns r = maintenanceRuns.Wait();
    ASSERT_EQ(r.failure, "");
    EXPECT_EQ(r.del.exitCode, 0) << r.del.err;
    ASSERT_EQ(r.afterDelete.size(), 1u);  // the last file is the one deleted
    EXPECT_EQ(r.afterDelete[0].nameGbk, "a.bin");

    EXPECT_EQ(r.erase.exitCode, 0) << r.erase.err;
    EXPECT_EQ(r.erase.out, "擦除完成！\n");

    EXPECT_EQ(r.format.exitCode, 0) << r.format.err;
    EXPECT_EQ(r.format.out, "格式化完成！\n");
    EXPECT_TRUE(r.afterFormat.empty());

    EXPECT_EQ(r.emptyDelete.exitCode, 1);
    EXPECT_EQ(r.emptyDelete.err, "请在卡盒文件列表中选择文件！\n");
}

struct CtrlCRun {
    std::string failure;
    int blocksBefore = 0;  // block frames the device had when Ctrl-C came
    int status = -1;
    int blocks = 0;
    int entries = 0;
    int batchEnds = 0;
};

Session<CtrlCRun> ctrlCRun("CliFiles.CtrlCCancelsTheTransferAndWaitsForTheWorker", [] {
    CtrlCRun r;
    Folder folder;
    q8sim::SimConfig config;
    config.lineRate = true;  // about 45 ms a block, so the transfer is still running
    q8sim::Simulator sim(config);
    if (r.failure = Begin(folder, sim); !r.failure.empty()) {
        return r;
    }
    const pid_t child = StartCli(sim.DevicePath(), {"download", folder.Put("long.bin", 200000)});
    if (child < 0) {
        r.failure = "fork failed";
        return r;
    }
    r.blocksBefore = AwaitFrames(sim, q8::CMD_DOWNLOAD_BLOCK, 3, 2000, 5000);
    kill(child, r.blocksBefore >= 3 ? SIGINT : SIGKILL);
    r.status = Reap(child);
    r.blocks = sim.Occurrences(q8::CMD_DOWNLOAD_BLOCK);
    r.entries = sim.Occurrences(q8::CMD_DOWNLOAD_ENTRY);
    r.batchEnds = sim.Occurrences(q8::CMD_BATCH_END);
    return r;
});

TEST(CliFiles, CtrlCCancelsTheTransferAndWaitsForTheWorker) {
    const CtrlCRun r = ctrlCRun.Wait();
    ASSERT_EQ(r.failure, "");
    ASSERT_GE(r.blocksBefore, 3);
    ASSERT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 1);
    EXPECT_LT(r.blocks, 20);
    EXPECT_EQ(r.entries, 0);
    EXPECT_EQ(r.batchEnds, 0);
}

// Inside the 1000 ms pause after a file, which begins within a poll of the
// file's end.
constexpr useconds_t INTO_THE_PAUSE_US = 750000;
// Lets the device read whatever the CLI wrote just before it ended.
constexpr useconds_t SETTLE_US = 200000;

struct StopCase {
    const char* name;
    int signal;
    uint8_t after;  // signalled once the device has had `count` of these
    int count;
    int hellos;  // refreshes begun: a stop in the pause skips the next one
};

constexpr StopCase STOP_CASES[] = {
    {"SIGTERM during an upload", SIGTERM, q8::CMD_UPLOAD_NEXT, 3, 0},
    {"SIGHUP during an upload", SIGHUP, q8::CMD_UPLOAD_NEXT, 3, 0},
    {"SIGINT in the pause after a file", SIGINT, q8::CMD_DOWNLOAD_ENTRY, 1, 1},
    {"SIGINT in the refresh after a file", SIGINT, q8::CMD_HELLO, 2, 2},
};

struct StopRun {
    std::string failure;
    int reached = 0;  // frames of `after` when the wait for them ended
    int status = -1;
    int hellos = 0;
    size_t files = 0;
    int batchEnds = 0;
    std::string targetBefore;
    std::string targetAfter;
    long entries = 0;  // in the case's folder
};

StopRun RunStopCase(const StopCase& c) {
    StopRun r;
    Folder folder;
    const bool upload = c.after == q8::CMD_UPLOAD_NEXT;
    q8sim::SimConfig config;
    config.lineRate = upload;  // about 45 ms a block: still running when signalled
    config.files = {q8sim::SyntheticFile("long.bin", 100000)};
    // The refresh after the first file, held up long enough to be signalled in.
    config.faults = {q8sim::Fault{q8::CMD_HELLO, 2, q8sim::FaultKind::Delay, 300}};
    q8sim::Simulator sim(config);
    if (r.failure = Begin(folder, sim); !r.failure.empty()) {
        return r;
    }
    const std::string a = folder.Put("a.bin", 3000), b = folder.Put("b.bin", 3000);
    const std::string target = folder.Put("target.bin", 10);
    r.targetBefore = ReadAll(target);
    const pid_t child = upload ? StartCli(sim.DevicePath(), {"upload", "0", target})
                               : StartCli(sim.DevicePath(), {"download", a, b});
    if (child < 0) {
        r.failure = "fork failed";
        return r;
    }
    r.reached = AwaitFrames(sim, c.after, c.count, 5000, 2000);
    usleep(c.after == q8::CMD_DOWNLOAD_ENTRY ? INTO_THE_PAUSE_US : 0);
    kill(child, r.reached == c.count ? c.signal : SIGKILL);
    r.status = Reap(child);
    usleep(SETTLE_US);
    r.hellos = sim.Occurrences(q8::CMD_HELLO);
    r.files = sim.Files().size();
    r.batchEnds = sim.Occurrences(q8::CMD_BATCH_END);
    r.targetAfter = ReadAll(target);
    r.entries = folder.Entries();
    return r;
}

// Each case on devices and in a folder of its own, side by side.
template <typename Case, size_t N, typename Run>
std::vector<Run> SideBySide(const Case (&cases)[N], Run (*runCase)(const Case&)) {
    std::vector<std::future<Run>> started;
    for (const Case& c : cases) {
        started.push_back(std::async(std::launch::async, runCase, std::cref(c)));
    }
    std::vector<Run> runs;
    for (auto& run : started) {
        runs.push_back(run.get());
    }
    return runs;
}

Session<std::vector<StopRun>> stopRuns("CliFiles.StopSignalsEndTheTransferAndCleanUp",
                                       [] { return SideBySide(STOP_CASES, RunStopCase); });

TEST(CliFiles, StopSignalsEndTheTransferAndCleanUp) {
    const std::vector<StopRun> runs = stopRuns.Wait();
    ASSERT_EQ(runs.size(), std::size(STOP_CASES));
    for (size_t i = 0; i < runs.size(); ++i) {
        const StopCase& c = STOP_CASES[i];
        const StopRun& r = runs[i];
        SCOPED_TRACE(c.name);
        const bool upload = c.after == q8::CMD_UPLOAD_NEXT;
        ASSERT_EQ(r.failure, "");
        ASSERT_EQ(r.reached, c.count);
        EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 1) << "status " << r.status;
        EXPECT_EQ(r.hellos, c.hellos);
        EXPECT_EQ(r.files, upload ? 1u : 2u);  // long.bin, and a.bin after a download
        EXPECT_EQ(r.batchEnds, 0);
        EXPECT_EQ(r.targetAfter, r.targetBefore);
        // a.bin, b.bin, target.bin: no temporary left beside the target
        EXPECT_EQ(r.entries, 3);
    }
}

struct ProgressRun {
    std::string failure;
    std::string file;
    int status = -1;
    std::string shown;  // what the terminal got on stderr
};

Session<ProgressRun> progressRun("CliFiles.ProgressLineOnATerminal", [] {
    ProgressRun r;
    Folder folder;
    q8sim::SimConfig config;
    // 24 blocks take about 1.1 s after the erase: progress is drawn from the
    // 3rd block on, and at least one 500 ms tick falls before the end.
    config.lineRate = true;
    q8sim::Simulator sim(config);
    if (r.failure = Begin(folder, sim); !r.failure.empty()) {
        return r;
    }
    q8sim::PseudoTerminal terminal;
    if (!terminal.Open()) {
        r.failure = terminal.Error();
        return r;
    }
    r.file = folder.Put("p.bin", 24 * 512);
    const pid_t child = StartCli(sim.DevicePath(), {"download", r.file}, terminal.SlavePath());
    if (child < 0) {
        r.failure = "fork failed";
        return r;
    }
    r.status = Reap(child);
    char buffer[4096];
    for (ssize_t n; (n = read(terminal.MasterFd(), buffer, sizeof buffer)) > 0;) {
        r.shown.append(buffer, static_cast<size_t>(n));
    }
    return r;
});

TEST(CliFiles, ProgressLineOnATerminal) {
    const ProgressRun r = progressRun.Wait();
    ASSERT_EQ(r.failure, "");
    EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << "status " << r.status;
    EXPECT_NE(r.shown.find(r.file), std::string::npos) << r.shown;
    EXPECT_NE(r.shown.find("下载文件..."), std::string::npos) << r.shown;
    EXPECT_NE(r.shown.find("%  剩余时间："), std::string::npos) << r.shown;
}

TEST(PortSearch, PatternsMatchLikeAShellGlob) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } rows[] = {
        {"ttyUSB*", "ttyUSB0", true},
        {"ttyUSB*", "ttyUSB", true},
        {"ttyUSB?", "ttyUSB12", false},
        {"*", "", true},
        {"a*b*c", "aXbYbZc", true},
        {"a*c", "ab", false},
        {"?", "", false},
        {"dev*", "xdev1", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(q8cli::MatchesPattern(row.pattern, row.name), row.matches)
            << row.pattern << " " << row.name;
    }
}

// Several devices in one call, each a simulator linked into a folder as
// dev1, dev2, ... so that the ports have names the case can expect.
struct FleetDevice {
    bool lineRate = false;    // slow enough to be caught mid-transfer
    q8sim::Fault fault = {};  // command 0: none
    bool pluggedLater = false;
    bool pulledMidway = false;  // unlinked and switched off after a few blocks
    const char* result = "";    // the start of its summary row's result
    size_t files = 0;           // on its cartridge afterwards
};

struct FleetCase {
    const char* name;
    std::vector<FleetDevice> devices;
    bool watch = false;      // --watch --port 'DIR/dev*', else one --port each
    bool interrupt = false;  // SIGINT once every line-rate device sent a few blocks
    uint32_t fileBytes = 0;
    const char* countLine = "";
    int exitCode = 0;
};

constexpr int FEW_BLOCKS = 3;
const q8sim::Fault SILENT{q8::CMD_HELLO, q8sim::EVERY_OCCURRENCE, q8sim::FaultKind::NoReply};
const q8sim::Fault REFUSES_BLOCK{q8::CMD_DOWNLOAD_BLOCK, 2, q8sim::FaultKind::Status, 0x7F};

const FleetCase FLEET_CASES[] = {
    {"one of four silent, one refusing a block",
     {{.result = "完成", .files = 1},
      {.fault = SILENT, .result = "失败：没有在"},
      {.fault = REFUSES_BLOCK, .result = "失败：在下载中传输数据出错！请重试"},
      {.result = "完成", .files = 1}},
     false,
     false,
     3000,
     "4 个设备：2 个完成，2 个失败",
     1},
    {"Ctrl-C while four transfer",
     {{true, {}, false, false, "已取消"},
      {true, {}, false, false, "已取消"},
      {true, {}, false, false, "已取消"},
      {true, {}, false, false, "已取消"}},
     false,
     true,
     200000,
     "4 个设备：0 个完成，4 个失败",
     1},
    {"a watch: one plugged in later, one pulled out, one silent",
     {{.lineRate = true, .pulledMidway = true, .result = "失败："},
      {.pluggedLater = true, .result = "完成", .files = 1},
      {.fault = SILENT, .pluggedLater = true, .result = "跳过：没有在"}},
     true,
     false,
     30000,
     "2 个设备：1 个完成，1 个失败，1 个端口跳过",
     1},
};

struct FleetRun {
    std::string failure;
    int status = -1;
    std::string out;
    std::string err;
    std::vector<size_t> files;
    std::vector<int> batchEnds;
    std::vector<int> cardInfos;  // frames past the greeting
    long entries = 0;            // in the folder: the file and the links
};

// Waits until `done` holds, polling every 20 ms for at most `ms`.
bool AwaitUntil(const std::function<bool()>& done, int ms) {
    constexpr int STEP_MS = 20;
    for (int waited = 0; !done(); waited += STEP_MS) {
        if (waited >= ms) {
            return false;
        }
        usleep(STEP_MS * 1000);
    }
    return true;
}

FleetRun RunFleetCase(const FleetCase& c) {
    FleetRun r;
    Folder folder;
    std::vector<std::unique_ptr<q8sim::Simulator>> sims;
    std::vector<std::string> links;
    for (const FleetDevice& d : c.devices) {
        q8sim::SimConfig config;
        config.lineRate = d.lineRate;
        if (d.fault.command != 0) {
            config.faults = {d.fault};
        }
        sims.push_back(std::make_unique<q8sim::Simulator>(config));
        links.push_back(folder.Path() + "/dev" + std::to_string(sims.size()));
        if (r.failure = Begin(folder, *sims.back()); !r.failure.empty()) {
            return r;
        }
    }
    const auto plug = [&](bool later) {
        for (size_t i = 0; i < sims.size(); ++i) {
            if (c.devices[i].pluggedLater == later) {
                std::filesystem::create_symlink(sims[i]->DevicePath(), links[i]);
            }
        }
    };
    plug(false);
    const std::string file = folder.Put("a.bin", c.fileBytes);
    std::vector<std::string> args = {"--watch", "--port", folder.Path() + "/dev*"};
    if (!c.watch) {
        args.clear();
        for (const std::string& link : links) {
            args.insert(args.end(), {"--port", link});
        }
    }
    args.insert(args.end(), {"download", file});
    const std::string out = folder.Path() + ".out", err = folder.Path() + ".err";
    const pid_t child = StartProgram(args, out, err);
    const auto blocks = [&](size_t i) { return sims[i]->Occurrences(q8::CMD_DOWNLOAD_BLOCK); };
    bool reached = true;
    for (size_t i = 0; i < sims.size(); ++i) {
        if (c.devices[i].pulledMidway || (c.interrupt && c.devices[i].lineRate)) {
            reached = reached && AwaitUntil([&] { return blocks(i) >= FEW_BLOCKS; }, 10000);
        }
        if (c.devices[i].pulledMidway) {
            std::filesystem::remove(links[i]);
            sims[i]->Stop();
        }
    }
    if (c.watch) {
        plug(true);
    }
    // A watch ends at Ctrl-C only: once every device still there has answered
    // and finished, and a poll has seen the pulled one gone.
    for (size_t i = 0; c.watch && i < sims.size(); ++i) {
        const uint8_t last = c.devices[i].files > 0 ? q8::CMD_BATCH_END : q8::CMD_HELLO;
        reached = reached && AwaitUntil([&] { return sims[i]->Occurrences(last) >= 1; }, 20000);
    }
    if (c.watch || c.interrupt) {
        usleep(c.watch ? 2500000 : 0);
        kill(child, reached ? SIGINT : SIGKILL);
    }
    r.status = Reap(child);
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    for (const auto& sim : sims) {
        r.files.push_back(sim->Files().size());
        r.batchEnds.push_back(sim->Occurrences(q8::CMD_BATCH_END));
        r.cardInfos.push_back(sim->Occurrences(q8::CMD_CARD_INFO));
    }
    r.entries = folder.Entries();
    return r;
}

Session<std::vector<FleetRun>> fleetRuns("CliFleet.EveryDeviceEndsAndTheSummarySaysHow",
                                         [] { return SideBySide(FLEET_CASES, RunFleetCase); });

TEST(CliFleet, EveryDeviceEndsAndTheSummarySaysHow) {
    const std::vector<FleetRun> runs = fleetRuns.Wait();
    for (size_t k = 0; k < runs.size(); ++k) {
        const FleetCase& c = FLEET_CASES[k];
        const FleetRun& r = runs[k];
        SCOPED_TRACE(c.name);
        ASSERT_EQ(r.failure, "");
        ASSERT_TRUE(WIFEXITED(r.status)) << "status " << r.status << "\n" << r.err;
        EXPECT_EQ(WEXITSTATUS(r.status), c.exitCode) << r.out << r.err;
        EXPECT_NE(r.out.find(std::string(c.countLine) + "\n"), std::string::npos) << r.out;
        for (size_t i = 0; i < c.devices.size(); ++i) {
            const FleetDevice& d = c.devices[i];
            SCOPED_TRACE("dev" + std::to_string(i + 1));
            // The summary row: the port, padded, then the result.
            const std::string port = "/dev" + std::to_string(i + 1) + " ";
            const size_t row = r.out.find(port);
            ASSERT_NE(row, std::string::npos) << r.out;
            const size_t result = r.out.find_first_not_of(' ', row + port.size());
            EXPECT_EQ(r.out.compare(result, std::strlen(d.result), d.result), 0) << r.out;
            EXPECT_EQ(r.files[i], d.files);
            EXPECT_EQ(r.batchEnds[i], d.files > 0 ? 1 : 0);
            if (d.fault.kind == q8sim::FaultKind::NoReply && c.watch) {
                EXPECT_EQ(r.cardInfos[i], 0) << "a skipped port had more than the greeting";
            }
        }
        // The source file and the links that are left: nothing written beside them.
        const long links =
            static_cast<long>(std::count_if(c.devices.begin(), c.devices.end(),
                                            [](const FleetDevice& d) { return !d.pulledMidway; }));
        EXPECT_EQ(r.entries, 1 + links);
    }
}

}  // namespace
