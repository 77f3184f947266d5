// q8loader-cli as a user runs it, against the simulated device.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ShellRun.h"
#include "protocol/Frames.h"
#include "sim/PseudoTerminal.h"
#include "sim/SimFiles.h"
#include "sim/Simulator.h"

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
}

TEST(Cli, EmptyCartridgePrintsItsStatusText) {
    q8sim::Simulator sim;
    ASSERT_TRUE(sim.Start());
    const CliRun run = RunCli("list", sim.DevicePath(), MISSING);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "空间共计:4.00*8Mbits\n空闲空间:4.00*8Mbits\n没有文件数据！\n");
}

TEST(Cli, UsageErrorsExitWithTwo) {
    for (const char* args : {"", "frobnicate", "list extra", "--port", "--port COM1", "download",
                             "upload 1", "upload 256 x.bin", "upload -1 x.bin", "delete x"}) {
        SCOPED_TRACE(args);
        const CliRun run = RunCli(args, MISSING, MISSING);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
    }
}

// A folder for the files a test sends and receives.
class CliFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/q8clifiles-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string Put(const std::string& name, uint32_t size) {
        const std::string path = dir + "/" + name;
        const std::vector<uint8_t> data = q8sim::SyntheticData(size);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
        return path;
    }
    std::string dir;
};

TEST_F(CliFiles, DownloadThenUploadGivesTheSameBytes) {
    q8sim::Simulator sim;
    ASSERT_TRUE(sim.Start());
    const std::string a = Put("a.bin", 3000), b = Put("中文课本.bin", 70000);

    const CliRun down = RunCli("download " + a + " " + b, sim.DevicePath(), MISSING);
    EXPECT_EQ(down.exitCode, 0) << down.err;
    EXPECT_EQ(down.err, "");  // not a terminal: no progress line
    const auto files = sim.Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].nameGbk, "\xD6\xD0\xCE\xC4\xBF\xCE\xB1\xBE.bin");
    for (int i = 0; i < 500 && sim.Occurrences(0x8F) == 0; ++i) {
        usleep(2000);  // nothing answers the batch end; let the device take it
    }
    EXPECT_EQ(sim.FramesFromHost(0x8F).size(), 1u);

    const CliRun up = RunCli("upload 1 " + dir + "/back.bin", sim.DevicePath(), MISSING);
    EXPECT_EQ(up.exitCode, 0) << up.err;
    std::ifstream back(dir + "/back.bin", std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(back)), {});
    EXPECT_EQ(data, q8sim::SyntheticData(70000));

    const CliRun refused =
        RunCli("upload 0 " + dir + "/no/such/dir.bin", sim.DevicePath(), MISSING);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "不能保存为此文件！\n");
    const CliRun missing = RunCli("download " + dir + "/gone.bin", sim.DevicePath(), MISSING);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "打开文件（" + dir + "/gone.bin）失败!\n");
}

// The cartridge stores one byte of the second file wrong and says nothing:
// only reading it back shows it.
TEST_F(CliFiles, VerifyReadsEveryFileBackAndNamesTheFirstDifference) {
    q8sim::SimConfig config;
    // The 2nd file's first block is the 3rd block frame of the batch.
    config.faults = {{q8::CMD_DOWNLOAD_BLOCK, 3, q8sim::FaultKind::Corrupt, 100}};
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const std::string a = Put("a.bin", 700), b = Put("b.bin", 3000);

    const CliRun bad = RunCli("download --verify " + a + " " + b, sim.DevicePath(), MISSING);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.out, "verified: a.bin\n");
    EXPECT_EQ(bad.err, "differs: b.bin from byte 100\n");

    sim.ClearFaults();
    const CliRun good = RunCli("download --verify " + a, sim.DevicePath(), MISSING);
    EXPECT_EQ(good.exitCode, 0) << good.err;
    EXPECT_EQ(good.out, "verified: a.bin\n");
    EXPECT_EQ(sim.Files().size(), 3u);
}

// One line a frame or read: time, direction, name, length, bytes; a read
// that ran out of time says so.
TEST_F(CliFiles, TraceRecordsFramesRepliesAndExpiredDeadlines) {
    q8sim::SimConfig config = SampleCartridge();
    config.faults = {{q8::CMD_DIR_ENTRY, 2, q8sim::FaultKind::NoReply}};
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const std::string trace = dir + "/trace.txt";
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

TEST_F(CliFiles, MaintenanceCommandsReportTheirStatusText) {
    q8sim::SimConfig config;
    config.files = {q8sim::SyntheticFile("a.bin", 10), q8sim::SyntheticFile("b.bin", 20)};
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());

    const CliRun del = RunCli("delete", sim.DevicePath(), MISSING);
    EXPECT_EQ(del.exitCode, 0) << del.err;
    ASSERT_EQ(sim.Files().size(), 1u);
    EXPECT_EQ(sim.Files()[0].nameGbk, "a.bin");

    const CliRun erase = RunCli("erase-voice", sim.DevicePath(), MISSING);
    EXPECT_EQ(erase.exitCode, 0) << erase.err;
    EXPECT_EQ(erase.out, "擦除完成！\n");

    sim.AddFault(q8sim::Fault{0x85, 1, q8sim::FaultKind::Status, 0x81});
    const CliRun bad = RunCli("format", sim.DevicePath(), MISSING);
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "此卡没有原始格式化或原始格式出错！不能格式化\n");
    const CliRun format = RunCli("format", sim.DevicePath(), MISSING);
    EXPECT_EQ(format.exitCode, 0) << format.err;
    EXPECT_EQ(format.out, "格式化完成！\n");
    EXPECT_TRUE(sim.Files().empty());

    const CliRun empty = RunCli("delete", sim.DevicePath(), MISSING);
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.err, "请在卡盒文件列表中选择文件！\n");
}

TEST_F(CliFiles, CtrlCCancelsTheTransferAndWaitsForTheWorker) {
    q8sim::SimConfig config;
    config.lineRate = true;  // about 45 ms a block, so the transfer is still running
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const std::string file = Put("long.bin", 200000);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("Q8LOADER_COM1", sim.DevicePath().c_str(), 1);
        freopen("/dev/null", "w", stderr);
        execl(Q8LOADER_CLI_PATH, Q8LOADER_CLI_PATH, "download", file.c_str(), nullptr);
        _exit(127);
    }
    for (int i = 0; i < 2000 && sim.Occurrences(0x88) < 3; ++i) {
        usleep(5000);
    }
    ASSERT_GE(sim.Occurrences(0x88), 3);
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_LT(sim.Occurrences(0x88), 20);
    EXPECT_EQ(sim.Occurrences(0x89), 0);
    EXPECT_EQ(sim.Occurrences(0x8F), 0);
}

// Starts the CLI on `device` with stderr on /dev/null; the caller reaps it.
pid_t StartCli(const std::string& device, std::vector<std::string> args) {
    args.insert(args.begin(), {Q8LOADER_CLI_PATH, "--port", device});
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {  // only async-signal-safe calls until exec
        dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// Inside the 1000 ms pause after a file: its end is seen at the next 500 ms
// progress tick at the latest, and the pause follows.
constexpr useconds_t INTO_THE_PAUSE_US = 750000;
// Lets the device read whatever the CLI wrote just before it ended.
constexpr useconds_t SETTLE_US = 200000;

TEST_F(CliFiles, StopSignalsEndTheTransferAndCleanUp) {
    const struct {
        const char* name;
        int signal;
        uint8_t after;  // signalled once the device has had `count` of these
        int count;
        int hellos;  // refreshes begun: a stop in the pause skips the next one
    } cases[] = {
        {"SIGTERM during an upload", SIGTERM, q8::CMD_UPLOAD_NEXT, 3, 0},
        {"SIGHUP during an upload", SIGHUP, q8::CMD_UPLOAD_NEXT, 3, 0},
        {"SIGINT in the pause after a file", SIGINT, q8::CMD_DOWNLOAD_ENTRY, 1, 1},
        {"SIGINT in the refresh after a file", SIGINT, q8::CMD_HELLO, 2, 2},
    };
    const std::string a = Put("a.bin", 3000), b = Put("b.bin", 3000);
    const std::string target = Put("target.bin", 10), before = ReadAll(target);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool upload = c.after == q8::CMD_UPLOAD_NEXT;
        q8sim::SimConfig config;
        config.lineRate = upload;  // about 45 ms a block: still running when signalled
        config.files = {q8sim::SyntheticFile("long.bin", 100000)};
        // The refresh after the first file, held up long enough to be signalled in.
        config.faults = {q8sim::Fault{q8::CMD_HELLO, 2, q8sim::FaultKind::Delay, 300}};
        q8sim::Simulator sim(config);
        ASSERT_TRUE(sim.Start());
        const pid_t child = upload ? StartCli(sim.DevicePath(), {"upload", "0", target})
                                   : StartCli(sim.DevicePath(), {"download", a, b});
        ASSERT_GT(child, 0);
        for (int i = 0; i < 5000 && sim.Occurrences(c.after) < c.count; ++i) {
            usleep(2000);
        }
        ASSERT_EQ(sim.Occurrences(c.after), c.count);
        usleep(c.after == q8::CMD_DOWNLOAD_ENTRY ? INTO_THE_PAUSE_US : 0);
        kill(child, c.signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
        usleep(SETTLE_US);
        EXPECT_EQ(sim.Occurrences(q8::CMD_HELLO), c.hellos);
        EXPECT_EQ(sim.Files().size(), upload ? 1u : 2u);  // long.bin, and a.bin after a download
        EXPECT_EQ(sim.Occurrences(q8::CMD_BATCH_END), 0);
        EXPECT_EQ(ReadAll(target), before);
        // a.bin, b.bin, target.bin: no temporary left beside the target
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3);
    }
}

TEST_F(CliFiles, FileSizeLimitFailsTheUploadLikeAFullDisk) {
    q8sim::SimConfig config;
    config.files = {q8sim::SyntheticFile("big.bin", 3000)};
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    // In 512-byte units: the first block fits, the second goes past the limit.
    const CliRun run =
        RunCli("upload 0 " + dir + "/back.bin", sim.DevicePath(), MISSING, "ulimit -f 1;");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "传输数据出错！\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST_F(CliFiles, ProgressLineOnATerminal) {
    q8sim::SimConfig config;
    config.lineRate = true;  // 40 blocks take about 2 s: several progress ticks
    q8sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const std::string file = Put("p.bin", 20000);
    q8sim::PseudoTerminal terminal;
    ASSERT_TRUE(terminal.Open()) << terminal.Error();

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("Q8LOADER_COM1", sim.DevicePath().c_str(), 1);
        freopen(terminal.SlavePath().c_str(), "w", stderr);
        execl(Q8LOADER_CLI_PATH, Q8LOADER_CLI_PATH, "download", file.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(terminal.MasterFd(), buffer, sizeof buffer)) > 0;) {
        shown.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_NE(shown.find(file), std::string::npos);
    EXPECT_NE(shown.find("下载文件..."), std::string::npos) << shown;
    EXPECT_NE(shown.find("%  剩余时间："), std::string::npos) << shown;
}

}  // namespace
