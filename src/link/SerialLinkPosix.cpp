// The POSIX half of SerialLink: a tty opened non-blocking and exclusively,
// set raw, read with poll against the per-read time-out.

#include "link/SerialLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "link/PortHolders.h"
#include "link/Tick.h"

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace q8 {

namespace {

struct PortMapping {
    const char* name;
    const char* environmentVariable;
    const char* defaultPath;
};

constexpr PortMapping PORT_MAPPINGS[] = {
    {"COM1", "Q8LOADER_COM1", "/dev/ttyS0"},
    {"COM2", "Q8LOADER_COM2", "/dev/ttyS1"},
};

constexpr int OPEN_FLAGS = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;

// Shortest wait between looks at the output queue.
constexpr uint32_t DRAIN_POLL_MS = 1;
// Start bit, 8 data bits, stop bit.
constexpr uint32_t BITS_PER_FRAME_BYTE = 10;

// Longest wait a single deadline may span; TickPassed compares as signed.
constexpr uint64_t LONGEST_WAIT_MS = 0x3FFFFFFF;

constexpr short POLL_FAILURE_EVENTS = POLLERR | POLLHUP | POLLNVAL;

// What a failed system call means for the loop around it.
enum class IoStep {
    Retry,  // interrupted by a signal: call again at once
    Wait,   // nothing to do yet: poll, then call again
    Fail,   // the port is gone or broken
};

// The one place errno values become link results.
IoStep StepForErrno(int error) {
    if (error == EINTR) {
        return IoStep::Retry;
    }
    if (error == EAGAIN || error == EWOULDBLOCK) {
        return IoStep::Wait;
    }
    return IoStep::Fail;
}

// What an errno from opening a port tells the user.
OpenFailure FailureForErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return OpenFailure::NoDevice;
        case EACCES:
        case EPERM:
            return OpenFailure::NoPermission;
        case EBUSY:
        case EWOULDBLOCK:
            return OpenFailure::Busy;
        default:
            return OpenFailure::Other;
    }
}

// Milliseconds left until `deadline`, 0 once it has been reached.
int MsUntil(uint32_t deadline) {
    const uint32_t now = TickMs();
    if (!TickPassed(deadline, now)) {
        return 0;
    }
    return static_cast<int>(deadline - now);
}

// Waits for `events` on `fd` until `deadline`. Returns 1 when ready, 0 when
// the deadline passed, -1 on a port error or hang-up.
int PollUntil(int fd, short events, uint32_t deadline) {
    for (;;) {
        const int waitMs = MsUntil(deadline);
        if (waitMs == 0) {
            return 0;
        }
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, waitMs);
        if (ready < 0) {
            if (StepForErrno(errno) == IoStep::Fail) {
                return -1;
            }
            continue;
        }
        if (ready == 0) {
            return 0;
        }
        if ((entry.revents & POLL_FAILURE_EVENTS) != 0) {
            return -1;
        }
        return 1;
    }
}

bool SpeedForBitRate(uint32_t bitRate, speed_t& speed) {
    struct RateSpeed {
        uint32_t bitRate;
        speed_t speed;
    };
    static constexpr RateSpeed RATES[] = {
        {9600, B9600},   {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400},
    };
    for (const RateSpeed& rate : RATES) {
        if (rate.bitRate == bitRate) {
            speed = rate.speed;
            return true;
        }
    }
    return false;
}

void SetByteSize(termios& settings, uint8_t byteSize) {
    struct SizeFlag {
        uint8_t byteSize;
        tcflag_t flag;
    };
    static constexpr SizeFlag SIZES[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
    for (const SizeFlag& size : SIZES) {
        if (size.byteSize == byteSize) {
            settings.c_cflag = (settings.c_cflag & ~CSIZE) | size.flag;
            return;
        }
    }
}

// Unknown texts leave the setting as the port had it.
void SetParity(termios& settings, const char* parity) {
    if (std::strcmp(parity, "NONE") == 0) {
        settings.c_cflag &= ~(PARENB | PARODD);
        settings.c_iflag &= ~INPCK;
    } else if (std::strcmp(parity, "ODD") == 0) {
        settings.c_cflag |= PARENB | PARODD;
        settings.c_iflag |= INPCK;
    } else if (std::strcmp(parity, "EVEN") == 0) {
        settings.c_cflag = (settings.c_cflag | PARENB) & ~PARODD;
        settings.c_iflag |= INPCK;
    }
}

void SetStopBits(termios& settings, const char* stopBits) {
    if (std::strcmp(stopBits, "1") == 0) {
        settings.c_cflag &= ~CSTOPB;
    } else if (std::strcmp(stopBits, "2") == 0) {
        settings.c_cflag |= CSTOPB;
    }
}

// Raw bytes both ways, like cfmakeraw but keeping parity and stop bits for
// SetParity / SetStopBits to decide.
void MakeRaw(termios& settings) {
    settings.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    settings.c_oflag &= ~OPOST;
    settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~CRTSCTS;
    settings.c_cflag |= CLOCAL | CREAD;
    // poll does the waiting, so a read returns whatever is there.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
}

#if defined(__linux__)
// USB adapters otherwise hold a short reply back for up to 16 ms.
void RequestLowLatency(int fd) {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0) {
        return;
    }
    serial.flags |= ASYNC_LOW_LATENCY;
    (void)ioctl(fd, TIOCSSERIAL, &serial);
}
#else
void RequestLowLatency(int) {}
#endif

NodeKind KindOfNode(mode_t mode) {
    if (S_ISREG(mode)) {
        return NodeKind::RegularFile;
    }
    if (S_ISDIR(mode)) {
        return NodeKind::Directory;
    }
    if (S_ISFIFO(mode)) {
        return NodeKind::Pipe;
    }
    if (S_ISSOCK(mode)) {
        return NodeKind::Socket;
    }
    if (S_ISBLK(mode)) {
        return NodeKind::BlockDevice;
    }
    return S_ISCHR(mode) ? NodeKind::CharacterDevice : NodeKind::Unknown;
}

// Drops output only while the driver still holds it: what a timed-out write
// left behind is stale. Once the driver reports its queue empty the bytes
// are on their way, and a flush then could still throw them away (a pty
// reports an empty queue while its other side has not read yet; a USB
// adapter may hold bytes the driver has handed over), among them a last
// frame that nothing answers, the batch end.
void DropStaleOutput(int fd) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        (void)tcflush(fd, TCOFLUSH);
    }
}

// Stale output dropped first keeps close() from sitting in the driver's
// closing wait.
void CloseDescriptor(int fd) {
    DropStaleOutput(fd);
    (void)close(fd);
}

}  // namespace

std::string EnvironmentPortDevice(const std::string& portName) {
    for (const PortMapping& mapping : PORT_MAPPINGS) {
        if (portName == mapping.name) {
            const char* path = std::getenv(mapping.environmentVariable);
            return path != nullptr ? path : "";
        }
    }
    return std::string();
}

std::string DefaultPortDevice(const std::string& portName) {
    for (const PortMapping& mapping : PORT_MAPPINGS) {
        if (portName == mapping.name) {
            return mapping.defaultPath;
        }
    }
    return portName;
}

std::string DeviceSystemPath(const std::string& device) {
    return device;
}

bool SerialLink::Configure(const std::string& name, uint32_t bitRate, uint8_t byteSize,
                           const char* parity, const char* stopBits) {
    // A file, folder, pipe or socket is never opened for writing at all.
    struct stat node {};
    if (stat(name.c_str(), &node) == 0 && !S_ISCHR(node.st_mode)) {
        return NotAPort(KindOfNode(node.st_mode), ENOTTY);
    }
    const int fd = open(name.c_str(), OPEN_FLAGS);
    if (fd < 0) {
        const int error = errno;
        return Failed(FailureForErrno(error), error);
    }
    handle_ = fd;
    // Looked at again on what was opened: the path may have changed since.
    if (fstat(fd, &node) != 0 || !S_ISCHR(node.st_mode)) {
        return NotAPort(KindOfNode(node.st_mode), ENOTTY);
    }
    termios settings{};
    const bool settingsRead = tcgetattr(fd, &settings) == 0;
    const int settingsError = settingsRead ? 0 : errno;
    if (settingsError == ENOTTY) {
        return NotAPort(NodeKind::CharacterDevice, settingsError);
    }
    // TIOCEXCL does not stop root, the lock does. Someone else holds the port,
    // so their exclusive flag is left alone (no TIOCNXCL on this close).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        handle_ = LINK_CLOSED;
        CloseDescriptor(fd);
        return Failed(FailureForErrno(error), error);
    }
    // The lock and the flag only stop opens that come after ours: a program
    // that already had the port open plainly would share the line with us.
    opened_.holders = FindHolders(name);
    if (!opened_.holders.empty()) {
        handle_ = LINK_CLOSED;
        CloseDescriptor(fd);
        return Failed(OpenFailure::Busy, EBUSY);
    }
    (void)ioctl(fd, TIOCEXCL);
    RequestLowLatency(fd);

    if (!settingsRead) {
        return Failed(OpenFailure::LineStateUnreadable, settingsError);
    }
    speed_t speed = B0;
    if (!SpeedForBitRate(bitRate, speed)) {
        return Failed(OpenFailure::LineSettings, EINVAL);
    }
    MakeRaw(settings);
    SetParity(settings, parity);
    SetStopBits(settings, stopBits);
    SetByteSize(settings, byteSize);
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0 ||
        tcsetattr(fd, TCSANOW, &settings) != 0) {
        return Failed(OpenFailure::LineSettings, errno);
    }
    // A pty has no modem lines and answers ENOTTY.
    const int rts = TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIS, &rts);

    Purge();
    return true;
}

void SerialLink::Close() {
    if (!IsOpen()) {
        return;
    }
    const int fd = static_cast<int>(handle_);
    handle_ = LINK_CLOSED;
    // The flag belongs to the tty, not to this descriptor: while anyone else
    // keeps it open, the next non-root open would fail with EBUSY.
    (void)ioctl(fd, TIOCNXCL);
    CloseDescriptor(fd);
}

long SerialLink::ReadSome(uint8_t* buffer, uint32_t count) {
    if (!IsOpen()) {
        return -1;
    }
    const int fd = static_cast<int>(handle_);
    const uint32_t deadline = TickMs() + LINK_READ_WAIT_END_MS;
    // Like the Win32 read with its total time-out, gather until every byte
    // asked for is here or the wait is over: a UART delivers a late reply a
    // few bytes at a time, and the caller's deadline is only looked at after
    // this returns.
    uint32_t got = 0;
    while (got < count) {
        const ssize_t n = read(fd, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0) {
            const IoStep step = StepForErrno(errno);
            if (step == IoStep::Fail) {
                return -1;
            }
            if (step == IoStep::Retry) {
                continue;
            }
        }
        // Nothing waiting (read gave 0 or EAGAIN): wait for data or the deadline.
        const int ready = PollUntil(fd, POLLIN, deadline);
        if (ready < 0) {
            // Bytes already stored still count; the next call sees the error.
            return got > 0 ? static_cast<long>(got) : -1;
        }
        if (ready == 0) {
            break;
        }
    }
    return static_cast<long>(got);
}

uint32_t SerialLink::Write(const uint8_t* buffer, uint32_t length) {
    if (!IsOpen()) {
        return WRITE_FAILED;
    }
    const int fd = static_cast<int>(handle_);
    DropStaleOutput(fd);

    const uint64_t budgetMs = std::min<uint64_t>(
        LINK_WRITE_TIMEOUT_MS + uint64_t{LINK_WRITE_MS_PER_BYTE} * length, LONGEST_WAIT_MS);
    const uint32_t deadline = TickMs() + static_cast<uint32_t>(budgetMs);
    uint32_t sent = 0;
    while (sent < length) {
        const ssize_t wrote = write(fd, buffer + sent, length - sent);
        if (wrote > 0) {
            sent += static_cast<uint32_t>(wrote);
            continue;
        }
        if (wrote < 0) {
            const IoStep step = StepForErrno(errno);
            if (step == IoStep::Fail) {
                return WRITE_FAILED;
            }
            if (step == IoStep::Retry) {
                continue;
            }
        }
        if (PollUntil(fd, POLLOUT, deadline) <= 0) {
            return WRITE_FAILED;
        }
    }

    // tcdrain has no time-out of its own: wait for the driver's queue against
    // the write deadline first, so tcdrain is only left the UART's last bytes.
    // Each wait lasts as long as the queued bytes take on the line, so a
    // 516-byte block costs one or two wake-ups rather than one a millisecond.
    int queued = 0;
    while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
        const uint32_t left = static_cast<uint32_t>(MsUntil(deadline));
        if (left == 0) {
            return WRITE_OK;
        }
        const uint32_t lineMs =
            static_cast<uint32_t>(queued) * BITS_PER_FRAME_BYTE * 1000 / LINK_BIT_RATE;
        SleepMs(std::min(left, std::max(lineMs, DRAIN_POLL_MS)));
    }
    (void)tcdrain(fd);
    return WRITE_OK;
}

void SerialLink::Purge() {
    if (!IsOpen()) {
        return;
    }
    const int fd = static_cast<int>(handle_);
    (void)tcflush(fd, TCIFLUSH);
    DropStaleOutput(fd);
}

}  // namespace q8
