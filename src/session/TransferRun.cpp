#include "session/TransferRun.h"

#include <utility>

#include "session/ProgressTick.h"
#include "session/WorkerThread.h"

namespace q8 {

ProgressResult RunTransfer(TransferContext& transfer, const std::string& caption,
                           const std::string& line, std::function<void()> work) {
    TransferUi& ui = transfer.ui;
    ui.PrepareProgress(caption, line);
    transfer.state.Reset();

    WorkerThread worker;
    worker.Start(std::move(work));
    const ProgressResult result = ui.RunProgress(transfer.state);
    if (result == ProgressResult::Cancelled) {
        transfer.state.Cancel();
    } else if (result == ProgressResult::Done) {
        transfer.station.wire.Pause(AFTER_TRANSFER_PAUSE);
    }
    // Not a bounded wait: a worker still inside an 8 s read would otherwise
    // share the link and the buffers with whatever the caller does next.
    ui.WaitForWorker(worker);
    worker.Join();
    return result;
}

}  // namespace q8
