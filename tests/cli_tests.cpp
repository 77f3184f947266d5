// q8loader-cli as a user runs it, against the simulated device.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/Simulator.h"

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the CLI with COM1/COM2 pointing where the test says.
CliRun RunCli(const std::string& args, const std::string& com1, const std::string& com2) {
    char dir[] = "/tmp/q8cli-XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err";
    const std::string command = "Q8LOADER_COM1='" + com1 + "' Q8LOADER_COM2='" + com2 + "' " +
                                Q8LOADER_CLI_PATH + " " + args + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    CliRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    rmdir(dir);
    return run;
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

TEST(Cli, FallsBackToCom2AndAcceptsAnExplicitPort) {
    q8sim::Simulator sim(SampleCartridge());
    ASSERT_TRUE(sim.Start());
    const CliRun fallback = RunCli("list", MISSING, sim.DevicePath());
    EXPECT_EQ(fallback.exitCode, 0);
    EXPECT_EQ(fallback.err, "打开COM1错误，请检查COM1出错或者被占用！\n");
    EXPECT_NE(fallback.out.find("b.bin"), std::string::npos);

    const CliRun direct = RunCli("--port " + sim.DevicePath() + " list", MISSING, MISSING);
    EXPECT_EQ(direct.exitCode, 0) << direct.err;
    EXPECT_NE(direct.out.find("b.bin"), std::string::npos);
}

TEST(Cli, NoPortAndNoDeviceAreFailures) {
    const CliRun none = RunCli("list", MISSING, MISSING);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err,
              "打开COM1错误，请检查COM1出错或者被占用！\n"
              "打开COM2错误，请检查COM2出错或者被占用！\n"
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
    for (const char* args : {"", "frobnicate", "list extra", "--port", "--port COM1"}) {
        SCOPED_TRACE(args);
        const CliRun run = RunCli(args, MISSING, MISSING);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("usage:"), std::string::npos);
    }
}

}  // namespace
