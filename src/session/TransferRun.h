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

// What a transfer worker works with while its progress window is up. The
// worker alone uses the station's wire then, and the download worker takes
// the file's footprint off the model's free bytes: the caller reads neither
// until RunTransfer has joined the worker.
struct TransferContext {
    Station& station;
    TransferState& state;
    TransferUi& ui;
};

// Prepares the window with `caption` and `line`, resets `state`, starts
// `work` on its own thread and runs the window. On Cancel it clears the
// keep-running flag; after a done transfer it pauses. It returns the window's
// result only once the worker has ended, so the caller may use the link, the
// buffers and the transfer's file again.
ProgressResult RunTransfer(TransferContext& transfer, const std::string& caption,
                           const std::string& line, std::function<void()> work);

}  // namespace q8
