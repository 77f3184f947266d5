#pragma once
// One transfer from the caller's side: progress window, worker thread, and
// what follows the window's result.
// Thread: the caller's (window) thread.

#include <cstdint>
#include <functional>
#include <string>

#include "session/ProgressTick.h"
#include "session/Station.h"
#include "session/TransferState.h"
#include "session/TransferUi.h"

namespace q8 {

// Pause after a file is done, before the worker is waited for.
inline constexpr milliseconds AFTER_TRANSFER_PAUSE{1000};

// Where a transfer's worker code runs.
enum class TransferThread {
    Worker,  // a thread of its own, while the UI runs its progress
    Caller,  // the caller's, to its end: a host with one thread (a page
             // compiled to WebAssembly) that watches the state as it waits
};

// What a transfer worker works with while its progress window is up. The
// worker alone uses the station's wire then, and the download worker takes
// the file's footprint off the model's free bytes: the caller reads neither
// until RunTransfer has joined the worker.
struct TransferContext {
    Station& station;
    TransferState& state;
    TransferUi& ui;
    TransferThread thread = TransferThread::Worker;
};

// Prepares the window with `caption` and `line`, resets `state`, starts
// `work` on its own thread and runs the window. On Cancel it clears the
// keep-running flag; after a done transfer it pauses. It returns the window's
// result only once the worker has ended, so the caller may use the link, the
// buffers and the transfer's file again.
// On the caller's thread `work` runs first, to its end, and the result comes
// from what it left: its outcome, Cancelled when the keep-running flag was
// cleared meanwhile, Failed when it ended the progress itself (a refused
// upload); the UI is then told the result through EndProgress.
ProgressResult RunTransfer(TransferContext& transfer, const std::string& caption,
                           const std::string& line, std::function<void()> work);

}  // namespace q8
