#pragma once
// One device as a front end sees it: the port it is reached through, the wire
// on that port, what the last refresh learnt, and the operations behind the
// window's buttons and the CLI's commands. The front end hands in where the
// cartridge list and the texts go (CartridgeView) and how messages and
// transfers are shown (TransferUi); nothing here prints or draws, and every
// operation returns how it ended.
//
// One Session per device: several run side by side, each on its own port,
// clock and thread. Thread: one thread drives a session at a time (the
// window's, a worker the window waits for, the CLI's main thread); a
// transfer's worker uses it while its progress runs.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/SerialLink.h"
#include "protocol/Clock.h"
#include "protocol/Port.h"
#include "protocol/Wire.h"
#include "protocol/WireTrace.h"
#include "session/CartridgeRefresh.h"
#include "session/CartridgeView.h"
#include "session/DownloadTransfer.h"
#include "session/Maintenance.h"
#include "session/ReadBack.h"
#include "session/Station.h"
#include "session/TransferRun.h"
#include "session/TransferState.h"
#include "session/TransferUi.h"
#include "session/UploadTransfer.h"

namespace q8 {

// One file of a download read back from the cartridge and compared.
struct VerifiedFile {
    std::string name;  // as in the download list
    std::string path;  // the host file it was sent from
    ReadBack check;
};

// A download batch, and with read-back each file's comparison in the order
// sent (only after a batch that was Done).
struct DownloadOutcome {
    BatchResult batch = BatchResult::Stopped;
    std::vector<VerifiedFile> verified;

    // Every file sent and, when read back, the same as its source.
    bool Succeeded() const;
};

class Session {
  public:
    // Over `link` on the system clock.
    Session(SerialLink& link, CartridgeView& view, TransferUi& ui);
    // Exchanges through `port` on `clock` (a device in memory on virtual
    // time, a page's serial port). The port operations open `link`; without
    // one the port is opened by whoever made `port`, and they fail.
    Session(Port& port, Clock& clock, CartridgeView& view, TransferUi& ui,
            SerialLink* link = nullptr);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    // The start-up sequence: COM1, else COM2, else "不能打开COM1或COM2！".
    bool OpenStartupPort();
    // A port button (0 = COM1, else COM2): reopens the link and writes the
    // status line; the index stays even when the open fails.
    bool SelectPort(int portIndex);
    // COM1 or COM2 in any case, or any other name as a device path.
    bool OpenNamedPort(const std::string& name);

    // Only the greeting: is a device of the supported model behind the port?
    // Tells a port to load from one to leave alone, sending nothing else.
    RefreshResult Greet();
    RefreshResult Refresh();

    // The download list in order, each file with its progress and a refresh
    // after it; with `readBack` each file sent is then read back from the
    // cartridge and compared byte for byte, `onVerified` hearing of each
    // comparison as soon as it is made.
    enum class ReadBackMode { None, Compare };
    using VerifiedObserver = std::function<void(const VerifiedFile&)>;
    DownloadOutcome Download(const std::vector<DownloadRow>& rows,
                             ReadBackMode readBack = ReadBackMode::None,
                             const VerifiedObserver& onVerified = {});
    // The view's marked row into the file the UI chooses.
    UploadResult UploadMarked();

    // The window's delete: only the marked row, and only when it is last.
    MaintenanceResult DeleteMarked();
    // Refresh, then delete the cartridge's last file, whatever is marked.
    MaintenanceResult DeleteLast();
    MaintenanceResult EraseVoice();
    MaintenanceResult Format();

    // Where transfers run: a worker of their own behind the UI's progress
    // (the window, the CLI), or the caller's thread (a host with one thread).
    void RunTransfersOn(TransferThread where) { transfer_.thread = where; }
    // Every frame and reply also go to `trace` (null: none). It outlives the
    // session or is taken away first.
    void SetTrace(WireTrace* trace) { wire_.trace = trace; }

    // The transfer under way, for a host that draws its progress itself
    // (any thread), and its Cancel: the worker stops at its next step.
    const TransferState& Progress() const { return state_; }
    void CancelTransfer() { state_.Cancel(); }

    // Not while an operation runs on another thread.
    CartridgeModel& Model() { return model_; }
    const CartridgeModel& Model() const { return model_; }
    CartridgeView& View() { return station_.view; }
    TransferUi& Ui() { return transfer_.ui; }

  private:
    // The files just sent are the last rows of the listing the batch's final
    // refresh left.
    std::vector<VerifiedFile> ReadBackSent(const std::vector<DownloadRow>& sent,
                                           const VerifiedObserver& onVerified);

    SerialLink* link_;
    std::unique_ptr<Port> ownPort_;  // the link's port when none was handed in
    Wire wire_;
    CartridgeModel model_;
    Station station_;
    TransferState state_;
    TransferContext transfer_;
};

}  // namespace q8
