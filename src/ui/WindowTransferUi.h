#pragma once
// The window's side of a transfer: the progress dialog, message boxes from
// the worker, the upload's save dialog, and the wait for a worker that keeps
// the window alive.
//
// Thread: PrepareProgress, RunProgress, WaitForWorker and ChooseUploadTarget
// on the window thread. Show, ShowWithDetail, ChangeCaption and EndProgress
// from any thread (a transfer's worker, or the worker of one of the main
// window's exchanges): they are carried over to the window thread. A message
// box from a worker blocks the worker (never the window) until it has been
// dismissed.

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

#include "session/TransferUi.h"
#include "ui/ProgressDialog.h"
#include "ui/UserDialogs.h"

namespace q8ui {

class WindowTransferUi : public QObject, public q8::TransferUi {
    Q_OBJECT

  public:
    // `owner`: the main window, owner of the progress dialogs and of message
    // boxes shown while none is up. `clock`: the one the transfers run on.
    WindowTransferUi(QWidget* owner, UserDialogs& dialogs, q8::Clock& clock = q8::SystemClock());
    ~WindowTransferUi() override;

    void Show(const std::string& text) override;
    void ShowWithDetail(const std::string& text, const std::string& detail) override;
    void PrepareProgress(const std::string& caption, const std::string& line) override;
    q8::ProgressResult RunProgress(const q8::TransferState& state) override;
    void ChangeCaption(const std::string& caption) override;
    void EndProgress(q8::ProgressResult result) override;
    void WaitForWorker(const q8::WorkerThread& worker) override;
    bool ChooseUploadTarget(std::string& path) override;

    // The progress dialog of the transfer under way, or null; for tests.
    ProgressDialog* CurrentDialog() const { return dialog_.get(); }

  private:
    void ShowHere(const QString& text, const QString& detail);
    // Runs `call` with the current dialog on the window thread, as long as it
    // is still the dialog of transfer `serial`.
    template <typename Call>
    void ToDialog(Call call);

    QWidget* owner_;
    UserDialogs& dialogs_;
    q8::Clock& clock_;
    std::unique_ptr<ProgressDialog> dialog_;
    // Counts transfers, so that a request that arrives late cannot reach the
    // next transfer's dialog.
    std::atomic<uint64_t> serial_{0};
};

}  // namespace q8ui
