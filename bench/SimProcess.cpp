#include "SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace q8bench {

namespace {

// q8sim builds its cartridge files before it prints the path; 64 MiB of
// synthetic data takes far less than this.
constexpr int PATH_WAIT_MS = 30000;
constexpr int EXEC_FAILED = 127;

std::string SystemError(const char* step) {
    return std::string(step) + ": " + std::strerror(errno);
}

// The first line from `fd`, without its newline. False on end of file, an
// error or when no line came in time.
bool ReadFirstLine(int fd, std::string& line, std::string& error) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(PATH_WAIT_MS);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            giveUp - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            error = "no device path from q8sim in time";
            return false;
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            error = SystemError("poll");
            return false;
        }
        if (ready == 0) {
            continue;
        }
        char c = 0;
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            error = "q8sim ended before it printed a device path";
            return false;
        }
        if (c == '\n') {
            if (line.empty()) {
                error = "q8sim printed an empty device path";
            }
            return !line.empty();
        }
        line.push_back(c);
    }
}

}  // namespace

bool SimProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    Stop();
    error_.clear();
    devicePath_.clear();

    // Built before fork: between fork and exec the child keeps to
    // async-signal-safe calls.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = SystemError("pipe2");
        return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        error_ = SystemError("fork");
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        // A bench that dies halfway must not leave a simulator running.
        (void)prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent || dup2(fds[1], STDOUT_FILENO) < 0) {
            _exit(EXEC_FAILED);
        }
        execv(argv[0], argv.data());
        _exit(EXEC_FAILED);
    }
    pid_ = pid;
    close(fds[1]);
    std::string line;
    const bool gotPath = ReadFirstLine(fds[0], line, error_);
    close(fds[0]);
    if (!gotPath) {
        Stop();
        return false;
    }
    devicePath_ = line;
    return true;
}

bool SimProcess::Stop() {
    if (pid_ < 0) {
        return false;
    }
    (void)kill(pid_, SIGTERM);
    int status = 0;
    pid_t reaped = 0;
    while ((reaped = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return reaped > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace q8bench
