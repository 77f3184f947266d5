#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "Interrupt.h"

namespace q8cli {

namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread of its own that the console starts; the worker is never
// disturbed by it.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        interrupted.store(true);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void CatchInterrupt() {
    interrupted.store(false);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void ListenForInterrupt() {}

bool Interrupted() {
    return interrupted.load();
}

void ReleaseInterrupt() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace q8cli
