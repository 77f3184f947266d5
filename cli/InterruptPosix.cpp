#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "Interrupt.h"

namespace q8cli {

namespace {

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

void SetBlocked(bool blocked) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

}  // namespace

void CatchInterrupt() {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    SetBlocked(true);  // inherited by the worker started next
}

void ListenForInterrupt() {
    SetBlocked(false);
}

bool Interrupted() {
    return interrupted != 0;
}

void ReleaseInterrupt() {
    signal(SIGINT, SIG_DFL);
    SetBlocked(false);
}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

}  // namespace q8cli
