#include <io.h>

#include "link/Win32Text.h"

#include <atomic>
#include <cstdio>

#include "Interrupt.h"

namespace q8cli {

namespace {

// The system ends the process as soon as the handler of these returns (or
// after its own grace time); holding the handler gives the main thread time
// to cancel, wait for the worker and remove the temporary. The process ends
// when main returns.
constexpr DWORD ENDING_GRACE_MS = 5000;

std::atomic<bool> stopSignalled{false};

// Runs on a thread of its own that the console starts; the worker is never
// disturbed by it.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            stopSignalled.store(true);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            stopSignalled.store(true);
            Sleep(ENDING_GRACE_MS);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

// No signal ends a Windows process in the middle of a write, and the port is
// a handle, never a stream's descriptor number.
void PrepareProcess() {}

void CatchStopSignals() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// The console handler never runs on the worker.
void HoldStopSignals() {}

void ListenForStopSignals() {}

bool StopSignalled() {
    return stopSignalled.load();
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

}  // namespace q8cli
