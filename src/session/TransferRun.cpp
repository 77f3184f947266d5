#include "session/TransferRun.h"

#include <utility>

#include "session/ProgressTick.h"
#include "session/WorkerThread.h"

namespace q8 {

namespace {

ProgressResult RunOnWorker(TransferContext& transfer, std::function<void()> work) {
    TransferUi& ui = transfer.ui;
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

ProgressResult RunOnCaller(TransferContext& transfer, const std::function<void()>& work) {
    work();
    const TransferState& state = transfer.state;
    ProgressResult result = ProgressResult::Failed;  // ended by the work itself
    if (state.Outcome() != TransferOutcome::Running) {
        result = ResultOfOutcome(state.Outcome());
    } else if (!state.KeepRunning()) {
        result = ProgressResult::Cancelled;
    }
    transfer.ui.EndProgress(result);
    if (result == ProgressResult::Done) {
        transfer.station.wire.Pause(AFTER_TRANSFER_PAUSE);
    }
    return result;
}

}  // namespace

ProgressResult RunTransfer(TransferContext& transfer, const std::string& caption,
                           const std::string& line, std::function<void()> work) {
    transfer.ui.PrepareProgress(caption, line);
    transfer.state.Reset();
    if (transfer.thread == TransferThread::Caller) {
        return RunOnCaller(transfer, work);
    }
    return RunOnWorker(transfer, std::move(work));
}

}  // namespace q8
