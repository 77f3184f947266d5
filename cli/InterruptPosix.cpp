#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "Interrupt.h"

namespace q8cli {

namespace {

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
// Ignored so that the write fails (EFBIG, EPIPE) and the command ends through
// its own error path, removing what it left half-written.
constexpr int WRITE_SIGNALS[] = {SIGXFSZ, SIGPIPE};
constexpr int STANDARD_DESCRIPTORS = 3;  // stdin, stdout, stderr

volatile sig_atomic_t stopSignalled = 0;

void OnStopSignal(int) {
    stopSignalled = 1;
}

void SetBlocked(bool blocked) {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : STOP_SIGNALS) {
        sigaddset(&set, signal);
    }
    pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// A closed standard descriptor would be the number the port opens on, and
// the listing would go down the serial line. /dev/null, read-only, holds the
// number, so writes to the stream still fail as they would have.
void HoldClosedStandardDescriptors() {
    for (int fd = 0; fd < STANDARD_DESCRIPTORS; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            (void)open("/dev/null", O_RDONLY);  // the lowest free number: fd
        }
    }
}

}  // namespace

void PrepareProcess() {
    for (const int signal : WRITE_SIGNALS) {
        struct sigaction action {};
        action.sa_handler = SIG_IGN;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    HoldClosedStandardDescriptors();
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : STOP_SIGNALS) {
        sigaction(signal, &action, nullptr);
    }
}

void HoldStopSignals() {
    SetBlocked(true);  // inherited by the worker started next
}

void ListenForStopSignals() {
    SetBlocked(false);
}

bool StopSignalled() {
    return stopSignalled != 0;
}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

}  // namespace q8cli
