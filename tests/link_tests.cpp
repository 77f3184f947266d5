// The real SerialLink over a pseudo-terminal: the test holds the master end
// and plays the device.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/SerialLink.h"
#include "link/Tick.h"
#include "session/PortSelection.h"
#include "session/Texts.h"
#include "sim/PseudoTerminal.h"

namespace q8 {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Slack for slow CI machines on top of what the link itself may take.
constexpr long SLACK_MS = 1000;
// Quiet time after which the device side stops waiting for more output.
constexpr int QUIET_MS = 300;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    return bytes;
}

class RecordingSink : public MessageSink {
  public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// One pseudo-terminal. The slave stays open on the test's side the whole
// time, as other users of a device may keep it, so the tty outlives each link.
class Pty {
  public:
    Pty() {
        pty_.Open();
        path_ = pty_.SlavePath();  // kept past CloseMaster
    }
    bool Ok() const { return pty_.MasterFd() >= 0; }
    const std::string& Path() const { return path_; }
    int Slave() const { return pty_.SlaveFd(); }
    // The device goes away: the link sees a hang-up.
    void CloseMaster() { pty_.Close(); }

    void Send(const Bytes& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(Master(), bytes.data() + done, bytes.size() - done);
            ASSERT_GT(n, 0) << "device write failed";
            done += static_cast<size_t>(n);
        }
    }

    // What the link sent: up to `atMost` bytes, ending after `quietMs` of silence.
    Bytes Receive(size_t atMost, int quietMs = QUIET_MS) {
        Bytes got;
        uint8_t chunk[4096];
        while (got.size() < atMost) {
            pollfd entry{Master(), POLLIN, 0};
            if (poll(&entry, 1, quietMs) <= 0) {
                break;
            }
            const ssize_t n = read(Master(), chunk, std::min(sizeof(chunk), atMost - got.size()));
            if (n <= 0) {
                break;
            }
            got.insert(got.end(), chunk, chunk + n);
        }
        return got;
    }

    // Waits until the tty's input queue holds `count` bytes for the link.
    bool WaitQueued(int count) {
        for (int tries = 0; tries < 2000; ++tries) {
            int queued = 0;
            if (ioctl(Slave(), FIONREAD, &queued) == 0 && queued >= count) {
                return true;
            }
            Pause(1);
        }
        return false;
    }

    int ExclusiveFlag() const {
        int on = -1;
        ioctl(Slave(), TIOCGEXCL, &on);
        return on;
    }

  private:
    int Master() const { return pty_.MasterFd(); }

    q8sim::PseudoTerminal pty_;
    std::string path_;
};

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(com1_.Ok() && com2_.Ok()) << "no pseudo-terminal";
        setenv("Q8LOADER_COM1", com1_.Path().c_str(), 1);
        setenv("Q8LOADER_COM2", com2_.Path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("Q8LOADER_COM1");
        unsetenv("Q8LOADER_COM2");
    }

    Bytes ReadExactly(size_t count, uint32_t timeoutMs = 3000) {
        Bytes buffer(count);
        uint32_t received = 0;
        EXPECT_EQ(link_.Read(buffer.data(), static_cast<uint32_t>(count), received, timeoutMs),
                  READ_OK);
        buffer.resize(received);
        return buffer;
    }

    Pty com1_;
    Pty com2_;
    RecordingSink messages_;
    SerialLink link_;
};

// Counts SIGALRMs from a fast interval timer; the handler does not ask for
// restarts, so blocking calls see EINTR.
volatile sig_atomic_t g_signals = 0;

class SignalStorm {
  public:
    explicit SignalStorm(long intervalUs) {
        struct sigaction action {};
        action.sa_handler = [](int) { g_signals = g_signals + 1; };
        sigemptyset(&action.sa_mask);
        sigaction(SIGALRM, &action, &previous_);
        const itimerval timer{{0, intervalUs}, {0, intervalUs}};
        setitimer(ITIMER_REAL, &timer, nullptr);
    }
    ~SignalStorm() {
        const itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &previous_, nullptr);
    }

  private:
    struct sigaction previous_ {};
};

TEST(PortDevicePathTest, ComNamesFollowEnvironmentElseDefaultTty) {
    setenv("Q8LOADER_COM1", "/dev/pts/77", 1);
    setenv("Q8LOADER_COM2", "", 1);
    EXPECT_EQ(PortDevicePath("COM1"), "/dev/pts/77");
    EXPECT_EQ(PortDevicePath("COM2"), "/dev/ttyS1");
    unsetenv("Q8LOADER_COM1");
    unsetenv("Q8LOADER_COM2");
    EXPECT_EQ(PortDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath("COM2"), "/dev/ttyS1");
    EXPECT_EQ(PortDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath("com1"), "com1");

    // A device chosen in the window's port settings, below the environment.
    ChoosePortDevice("COM2", "/dev/ttyUSB7");
    EXPECT_EQ(PortDevicePath("COM2"), "/dev/ttyUSB7");
    EXPECT_EQ(PortDevicePath("COM1"), "/dev/ttyS0");
    setenv("Q8LOADER_COM2", "/dev/pts/78", 1);
    EXPECT_EQ(PortDevicePath("COM2"), "/dev/pts/78");
    EXPECT_EQ(EnvironmentPortDevice("COM2"), "/dev/pts/78");
    unsetenv("Q8LOADER_COM2");
    ChoosePortDevice("COM2", "");
    EXPECT_EQ(PortDevicePath("COM2"), "/dev/ttyS1");
    EXPECT_EQ(ChosenPortDevice("COM2"), "");
}

TEST_F(LinkTest, OpenSetsLineAndCarriesEveryByteValueUnchanged) {
    // Start from a cooked, flow-controlled 7E2 line so Open has to change it all.
    termios dirty{};
    ASSERT_EQ(tcgetattr(com1_.Slave(), &dirty), 0);
    dirty.c_iflag |= ICRNL | IXON | IXOFF;
    dirty.c_oflag |= OPOST | ONLCR;
    dirty.c_lflag |= ICANON | ECHO | ISIG;
    dirty.c_cflag = (dirty.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    cfsetspeed(&dirty, B9600);
    ASSERT_EQ(tcsetattr(com1_.Slave(), TCSANOW, &dirty), 0);

    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_TRUE(link_.IsOpen());

    termios line{};
    ASSERT_EQ(tcgetattr(com1_.Slave(), &line), 0);
    EXPECT_EQ(cfgetispeed(&line), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY), 0u);

    const Bytes all = Pattern(256);
    ASSERT_EQ(link_.Write(all.data(), static_cast<uint32_t>(all.size())), WRITE_OK);
    EXPECT_EQ(com1_.Receive(all.size() + 1), all);

    com1_.Send(all);
    EXPECT_EQ(ReadExactly(all.size()), all);
    EXPECT_TRUE(com1_.Receive(1).empty()) << "the link echoed input";
}

TEST_F(LinkTest, MissingPortShowsItsTextOnceAndLeavesLinkClosed) {
    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    setenv("Q8LOADER_COM1", "/nonexistent/q8-port", 1);
    EXPECT_EQ(OpenComPort(link_, 0, messages_), false);
    EXPECT_EQ(messages_.shown, std::vector<std::string>{TXT_OPEN_COM1_ERROR});
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(com1_.ExclusiveFlag(), 0) << "the old port was not closed";
    // The link itself only says what happened; the texts above are its caller's.
    const OpenResult missing = link_.Open(0);
    EXPECT_EQ(missing.failure, OpenFailure::NoDevice);
    EXPECT_EQ(missing.systemError, ENOENT);
    EXPECT_EQ(missing.device, "/nonexistent/q8-port");

    uint8_t byte = 0;
    uint32_t received = 99;
    EXPECT_EQ(link_.Read(&byte, 1, received, 100), READ_PORT_ERROR);
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(link_.Write(&byte, 1), WRITE_FAILED);
    link_.Purge();

    setenv("Q8LOADER_COM2", "/nonexistent/q8-port", 1);
    messages_.shown.clear();
    EXPECT_EQ(OpenComPort(link_, 1, messages_), false);
    EXPECT_EQ(messages_.shown, std::vector<std::string>{TXT_OPEN_COM2_ERROR});

    messages_.shown.clear();
    EXPECT_EQ(OpenDevicePort(link_, "/nonexistent/q8-port", messages_), false);
    EXPECT_EQ(messages_.shown, std::vector<std::string>{OpenErrorText("/nonexistent/q8-port")});
}

TEST_F(LinkTest, HeldPortIsBusyUntilItsHolderCloses) {
    auto holder = std::make_unique<SerialLink>();
    ASSERT_EQ(OpenComPort(*holder, 0, messages_), true);
    EXPECT_EQ(com1_.ExclusiveFlag(), 1);

    EXPECT_EQ(OpenComPort(link_, 0, messages_), false);
    EXPECT_EQ(messages_.shown, std::vector<std::string>{TXT_OPEN_COM1_ERROR});
    EXPECT_FALSE(link_.IsOpen());
    // The refused opener must not clear the holder's flag on its way out.
    EXPECT_EQ(com1_.ExclusiveFlag(), 1);
    const uint8_t byte = 0x42;
    ASSERT_EQ(holder->Write(&byte, 1), WRITE_OK);
    EXPECT_EQ(com1_.Receive(2), Bytes{byte});

    holder.reset();
    EXPECT_EQ(com1_.ExclusiveFlag(), 0);
    EXPECT_EQ(OpenComPort(link_, 0, messages_), true);
}

TEST_F(LinkTest, SamePortReopensEveryTime) {
    for (uint8_t round = 0; round < 5; ++round) {
        ASSERT_EQ(OpenComPort(link_, 0, messages_), true) << "round " << int{round};
        com1_.Send({round});
        EXPECT_EQ(ReadExactly(1), Bytes{round});
    }
    for (int round = 0; round < 3; ++round) {
        SerialLink fresh;
        ASSERT_EQ(OpenComPort(fresh, 1, messages_), true) << "round " << round;
    }
    EXPECT_EQ(com2_.ExclusiveFlag(), 0);
    EXPECT_TRUE(messages_.shown.empty());
}

// Something that is no serial port is refused before anything can be
// written into it, with no line-state box, and the link ends closed.
TEST_F(LinkTest, PathsThatAreNoPortAreRefusedAndLeftUntouched) {
    char folder[] = "/tmp/q8link-not-a-tty-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/cartridge.bin";
    const std::string fifo = std::string(folder) + "/fifo";
    const std::string content = "user data, not a port";
    {
        FILE* out = fopen(file.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        fputs(content.c_str(), out);
        fclose(out);
    }
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);

    struct Case {
        std::string path;
        NodeKind kind;
    };
    for (const Case& c :
         {Case{file, NodeKind::RegularFile}, Case{folder, NodeKind::Directory},
          Case{fifo, NodeKind::Pipe}, Case{"/dev/null", NodeKind::CharacterDevice}}) {
        SCOPED_TRACE(c.path);
        ASSERT_EQ(OpenComPort(link_, 1, messages_), true);
        messages_.shown.clear();
        setenv("Q8LOADER_COM1", c.path.c_str(), 1);
        EXPECT_EQ(OpenComPort(link_, 0, messages_), false);
        EXPECT_EQ(messages_.shown, std::vector<std::string>{TXT_OPEN_COM1_ERROR});
        EXPECT_FALSE(link_.IsOpen());
        EXPECT_EQ(link_.LastOpen().failure, OpenFailure::NotASerialPort);
        EXPECT_EQ(link_.LastOpen().kind, c.kind);
        const uint8_t hello[] = {0x80, 0x01};
        EXPECT_EQ(link_.Write(hello, sizeof hello), WRITE_FAILED);

        messages_.shown.clear();
        EXPECT_EQ(OpenDevicePort(link_, c.path, messages_), false);
        EXPECT_EQ(messages_.shown, std::vector<std::string>{OpenErrorText(c.path)});
    }
    struct stat after {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    char back[64] = {};
    FILE* in = fopen(file.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(std::string(back, fread(back, 1, sizeof back, in)), content);
    fclose(in);
    unlink(fifo.c_str());
    unlink(file.c_str());
    rmdir(folder);
}

TEST_F(LinkTest, LargeFrameArrivesWholeThroughPartialWrites) {
    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    // Far more than the pty buffers, so the link must wait for room.
    const Bytes frame = Pattern(200000);
    Bytes seen;
    std::thread device([&] { seen = com1_.Receive(frame.size(), 2000); });
    EXPECT_EQ(link_.Write(frame.data(), static_cast<uint32_t>(frame.size())), WRITE_OK);
    device.join();
    EXPECT_EQ(seen.size(), frame.size());
    EXPECT_TRUE(seen == frame);
}

TEST_F(LinkTest, DeadLineTimesOutAfterTheDeadline) {
    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    uint8_t buffer[4];
    uint32_t received = 99;
    const auto start = Clock::now();
    EXPECT_EQ(link_.Read(buffer, 4, received, 500), READ_TIMEOUT);
    const long elapsed = MsSince(start);
    EXPECT_EQ(received, 0u);
    EXPECT_GE(elapsed, 495);
    EXPECT_LE(elapsed, 500 + static_cast<long>(LINK_READ_TIMEOUT_MS) + SLACK_MS);
}

TEST_F(LinkTest, WaitingBytesReturnAtOnceAndShortReplyKeepsWhatCame) {
    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    const Bytes reply = Pattern(8);
    com1_.Send(reply);
    ASSERT_TRUE(com1_.WaitQueued(8));
    auto start = Clock::now();
    EXPECT_EQ(ReadExactly(8, 5000), reply);
    // Well under one read time-out: the link must not wait with data waiting.
    EXPECT_LT(MsSince(start), 300);

    com1_.Send({1, 2, 3});
    ASSERT_TRUE(com1_.WaitQueued(3));
    uint8_t buffer[8] = {};
    uint32_t received = 0;
    EXPECT_EQ(link_.Read(buffer, 8, received, 100), READ_TIMEOUT);
    ASSERT_EQ(received, 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{1, 2, 3}));
}

// Replies that come in pieces, on time or late. A reply that completes inside
// the low-level wait already running counts even after the deadline; bytes
// that trickle in one piece at a time (as from a real UART) must not end that
// wait early.
struct PieceCase {
    const char* what;
    uint32_t deadlineMs;
    std::vector<int> pausesMs;  // before each 3-byte piece
    uint32_t result;
    uint32_t received;
};

TEST_F(LinkTest, RepliesInPiecesCountWhenTheyCompleteInsideTheWait) {
    const PieceCase cases[] = {
        {"three pieces within the deadline", 3000, {150, 150, 150}, READ_OK, 9},
        {"one late piece inside the first wait", 20, {150}, READ_OK, 3},
        {"two late pieces inside the first wait", 20, {150, 40}, READ_OK, 6},
        {"three late pieces inside the second wait", 500, {600, 20, 20}, READ_OK, 9},
        {"the rest only after the wait", 20, {100, 700}, READ_TIMEOUT, 3},
    };
    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    for (const PieceCase& c : cases) {
        SCOPED_TRACE(c.what);
        link_.Purge();
        const Bytes reply = Pattern(3 * c.pausesMs.size());
        std::thread device([&] {
            for (size_t i = 0; i < c.pausesMs.size(); ++i) {
                Pause(c.pausesMs[i]);
                com1_.Send(Bytes(reply.begin() + static_cast<long>(3 * i),
                                 reply.begin() + static_cast<long>(3 * i + 3)));
            }
        });
        Bytes buffer(reply.size());
        uint32_t received = 99;
        const auto start = Clock::now();
        const uint32_t result =
            link_.Read(buffer.data(), static_cast<uint32_t>(reply.size()), received, c.deadlineMs);
        const long elapsed = MsSince(start);
        device.join();
        EXPECT_EQ(result, c.result);
        ASSERT_EQ(received, c.received);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + received),
                  Bytes(reply.begin(), reply.begin() + received));
        // However the pieces fall, at most one wait past the deadline.
        EXPECT_LE(elapsed, static_cast<long>(c.deadlineMs + LINK_READ_TIMEOUT_MS) + SLACK_MS);
    }
}

TEST_F(LinkTest, ExtraBytesStayQueuedThroughWriteUntilPurge) {
    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    const Bytes reply = Pattern(10);
    com1_.Send(reply);
    ASSERT_TRUE(com1_.WaitQueued(10));

    Bytes buffer(10, 0xEE);
    uint32_t received = 0;
    ASSERT_EQ(link_.Read(buffer.data(), 4, received, 1000), READ_OK);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), Bytes(reply.begin(), reply.begin() + 4));
    EXPECT_EQ(Bytes(buffer.begin() + 4, buffer.end()), Bytes(6, 0xEE)) << "read past count";

    const uint8_t command = 0x99;
    ASSERT_EQ(link_.Write(&command, 1), WRITE_OK);
    EXPECT_EQ(com1_.Receive(2), Bytes{command});
    EXPECT_EQ(ReadExactly(6), Bytes(reply.begin() + 4, reply.end()));

    com1_.Send({7, 7, 7, 7, 7});
    ASSERT_TRUE(com1_.WaitQueued(5));
    link_.Purge();
    EXPECT_EQ(link_.Read(buffer.data(), 1, received, 100), READ_TIMEOUT);
    EXPECT_EQ(received, 0u);
}

// A frame nothing answers (the batch end) must reach the device even when a
// purge and the next frame follow at once; only bytes the driver still holds
// from a timed-out write are stale.
TEST_F(LinkTest, UnansweredFrameSurvivesThePurgeAndWriteThatFollow) {
    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    constexpr int ROUNDS = 50;
    const Bytes batchEnd = {0x8F, 0x00};
    const Bytes hello = {0x80, 0x01};
    Bytes expected;
    for (int round = 0; round < ROUNDS; ++round) {
        ASSERT_EQ(link_.Write(batchEnd.data(), 2), WRITE_OK);
        link_.Purge();
        ASSERT_EQ(link_.Write(hello.data(), 2), WRITE_OK);
        expected.insert(expected.end(), batchEnd.begin(), batchEnd.end());
        expected.insert(expected.end(), hello.begin(), hello.end());
    }
    EXPECT_EQ(com1_.Receive(expected.size() + 1), expected);
}

TEST_F(LinkTest, HangUpEndsReadAndWriteWithPortError) {
    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    std::thread device([&] {
        Pause(100);
        com1_.CloseMaster();
    });
    uint8_t buffer[4];
    uint32_t received = 99;
    const auto start = Clock::now();
    const uint32_t result = link_.Read(buffer, 4, received, 5000);
    const long elapsed = MsSince(start);
    device.join();
    EXPECT_EQ(result, READ_PORT_ERROR);
    EXPECT_EQ(received, 0u);
    EXPECT_LT(elapsed, 3000) << "a hang-up was taken for a quiet line";
    EXPECT_EQ(link_.Write(buffer, 4), WRITE_FAILED);
}

TEST_F(LinkTest, SignalsDoNotCutWaitsShort) {
    ASSERT_EQ(OpenComPort(link_, 0, messages_), true);
    g_signals = 0;
    SignalStorm storm(5000);

    uint8_t buffer[4];
    uint32_t received = 99;
    auto start = Clock::now();
    EXPECT_EQ(link_.Read(buffer, 4, received, 500), READ_TIMEOUT);
    EXPECT_GE(MsSince(start), 495);

    start = Clock::now();
    SleepMs(100);
    EXPECT_GE(MsSince(start), 99);
    EXPECT_GT(g_signals, 10) << "the timer never interrupted anything";
}

TEST(TickTest, PassedHoldsAcrossThirtyTwoBitWrap) {
    const uint32_t beforeWrap = 0xFFFFFF00u;
    const uint32_t deadline = beforeWrap + 0x200u;  // wraps to 0x100
    EXPECT_FALSE(TickPassed(beforeWrap, deadline));
    EXPECT_FALSE(TickPassed(0xFFFFFFFFu, deadline));
    EXPECT_FALSE(TickPassed(0x100u, deadline));
    EXPECT_TRUE(TickPassed(0x101u, deadline));
    EXPECT_TRUE(TickPassed(0x5u, 0xFFFFFFF0u));
}

}  // namespace
}  // namespace q8
