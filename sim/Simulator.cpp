#include "Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "LineTiming.h"

namespace q8sim {

namespace {

constexpr size_t READ_CHUNK = 4096;
// Back-off when the master reports an error instead of data, so that the
// thread does not spin.
constexpr uint32_t ERROR_BACKOFF_MS = 10;

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

}  // namespace

Simulator::Simulator(SimConfig config) : lineRate_(config.lineRate) {
    wire_.SetKeep(config.keepHistory);
    model_ = DeviceModel(std::move(config));
}

Simulator::~Simulator() {
    Stop();
}

bool Simulator::Start() {
    if (Running()) {
        return true;
    }
    error_.clear();
    if (!pty_.Open()) {
        error_ = pty_.Error();
        return false;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        pty_.Close();
        return false;
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    fcntl(wakeRead_, F_SETFD, FD_CLOEXEC);
    fcntl(wakeWrite_, F_SETFD, FD_CLOEXEC);
    thread_ = std::thread([this] { Run(); });
    return true;
}

void Simulator::Stop() {
    if (!Running()) {
        return;
    }
    const uint8_t wake = 1;
    while (write(wakeWrite_, &wake, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
    CloseFd(wakeRead_);
    CloseFd(wakeWrite_);
    pty_.Close();
}

void Simulator::Run() {
#ifdef __linux__
    // The default 50 us of timer slack on each of a block's two timed waits
    // would make the emulated line measurably slower than the real one.
    if (lineRate_) {
        (void)prctl(PR_SET_TIMERSLACK, 1UL);
    }
#endif
    std::array<uint8_t, READ_CHUNK> buffer;
    // When the inbound line finishes carrying what was read so far.
    Clock::time_point lineBusyUntil = Clock::now();
    for (;;) {
        pollfd fds[2] = {{pty_.MasterFd(), POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            if (fds[0].revents != 0 &&
                !WaitUntil(Clock::now() + std::chrono::milliseconds(ERROR_BACKOFF_MS))) {
                return;
            }
            continue;
        }
        const ssize_t count = read(pty_.MasterFd(), buffer.data(), buffer.size());
        if (count <= 0) {
            if (count < 0 && errno != EAGAIN && errno != EINTR &&
                !WaitUntil(Clock::now() + std::chrono::milliseconds(ERROR_BACKOFF_MS))) {
                return;
            }
            continue;
        }
        const size_t length = static_cast<size_t>(count);
        const Clock::time_point lineStart = std::max(lineBusyUntil, Clock::now());
        lineBusyUntil = lineStart + LineTime(length);

        std::vector<Exchange> exchanges;
        size_t earlierBytes = 0;  // of a frame begun in an earlier read, already timed
        {
            std::lock_guard<std::mutex> lock(modelMutex_);
            earlierBytes = model_.PendingBytes();
            exchanges = model_.Feed(buffer.data(), length);
        }
        size_t carried = 0;
        for (const Exchange& exchange : exchanges) {
            // A frame counts as received once its last byte has crossed the line.
            carried += exchange.frame.size();
            if (lineRate_ && !WaitUntil(lineStart + LineTime(carried - earlierBytes))) {
                return;
            }
            WireRecord record;
            record.direction = WireRecord::HostToDevice;
            record.bytes = exchange.frame;
            record.atMs = SteadyMs();
            record.dropped = exchange.dropped;
            wire_.Add(std::move(record));
            if (!Play(exchange.actions)) {
                return;
            }
        }
    }
}

bool Simulator::Play(const std::vector<Action>& actions) {
    for (const Action& action : actions) {
        if (action.kind == Action::Kind::Pause) {
            if (!WaitUntil(Clock::now() + std::chrono::milliseconds(action.ms))) {
                return false;
            }
            continue;
        }
        if (lineRate_ && !WaitUntil(Clock::now() + LineTime(action.bytes.size()))) {
            return false;
        }
        if (!WriteAll(action.bytes)) {
            return false;
        }
    }
    return true;
}

bool Simulator::WriteAll(const std::vector<uint8_t>& bytes) {
    const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(WRITE_GIVE_UP_MS);
    size_t written = 0;
    bool stopped = false;
    while (written < bytes.size() && Clock::now() < giveUp) {
        const ssize_t count =
            write(pty_.MasterFd(), bytes.data() + written, bytes.size() - written);
        if (count > 0) {
            written += static_cast<size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        }
        pollfd fds[2] = {{pty_.MasterFd(), POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
        poll(fds, 2, static_cast<int>(ERROR_BACKOFF_MS));
        if (fds[1].revents != 0) {
            stopped = true;
            break;
        }
    }
    if (written > 0) {
        WireRecord record;
        record.direction = WireRecord::DeviceToHost;
        record.bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(written));
        record.atMs = SteadyMs();
        wire_.Add(std::move(record));
    }
    return !stopped;
}

bool Simulator::WaitUntil(Clock::time_point when) {
    for (;;) {
        const auto left = when - Clock::now();
        if (left <= Clock::duration::zero()) {
            return true;
        }
        const auto wholeMs = std::chrono::duration_cast<std::chrono::milliseconds>(left);
        if (wholeMs.count() == 0) {
            // poll cannot wait less than a millisecond; the line times can.
            std::this_thread::sleep_until(when);
            return true;
        }
        pollfd wake = {wakeRead_, POLLIN, 0};
        if (poll(&wake, 1, static_cast<int>(wholeMs.count())) > 0) {
            return false;
        }
    }
}

void Simulator::AddFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(modelMutex_);
    model_.AddFault(fault);
}

void Simulator::ClearFaults() {
    std::lock_guard<std::mutex> lock(modelMutex_);
    model_.ClearFaults();
}

void Simulator::ClearWireLog() {
    wire_.Clear();
    std::lock_guard<std::mutex> lock(modelMutex_);
    model_.ClearFrames();
}

std::vector<std::vector<uint8_t>> Simulator::FramesFromHost(uint8_t command) const {
    std::lock_guard<std::mutex> lock(modelMutex_);
    return model_.FramesFromHost(command);
}

int Simulator::Occurrences(uint8_t command) const {
    std::lock_guard<std::mutex> lock(modelMutex_);
    return model_.Occurrences(command);
}

std::vector<SimFile> Simulator::Files() const {
    std::lock_guard<std::mutex> lock(modelMutex_);
    return model_.Files();
}

uint32_t Simulator::FreeBytes() const {
    std::lock_guard<std::mutex> lock(modelMutex_);
    return model_.FreeBytes();
}

size_t Simulator::DroppedBytes() const {
    std::lock_guard<std::mutex> lock(modelMutex_);
    return model_.DroppedBytes();
}

}  // namespace q8sim
