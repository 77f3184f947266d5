#pragma once
// The CLI's side of a transfer: a progress line on stderr instead of the
// progress window, a stop signal (Ctrl-C) as its Cancel button and as the end
// of a download batch, messages on stderr.
//
// Thread: PrepareProgress, RunProgress, WaitForWorker and StopRequested on the
// main thread; Show, ChangeCaption and EndProgress also from the worker.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "protocol/Clock.h"
#include "session/ProgressTick.h"
#include "session/TransferUi.h"

namespace q8cli {

class ConsoleTransferUi : public q8::TransferUi {
  public:
    static constexpr int NOT_ENDED = 0;
    // How often the progress loop looks for the transfer's end and for a stop
    // signal: a batch goes on as soon as a file is done, not at the next
    // 500 ms progress tick.
    static constexpr uint32_t POLL_MS = 5;

    // `uploadTarget`: the file an upload writes, as given on the command line.
    // `clock`: what the loops wait on and draw by (a test's virtual one).
    explicit ConsoleTransferUi(std::string uploadTarget = {}, q8::Clock& clock = q8::SystemClock());

    void Show(const std::string& text) override;
    // The text, then what the system says behind it, on the next lines.
    void ShowWithDetail(const std::string& text, const std::string& detail) override;
    void PrepareProgress(const std::string& caption, const std::string& line) override;
    q8::ProgressResult RunProgress(const q8::TransferState& state) override;
    void ChangeCaption(const std::string& caption) override;
    void EndProgress(q8::ProgressResult result) override { ended_.store(static_cast<int>(result)); }
    void WaitForWorker(const q8::WorkerThread& worker) override;
    bool StopRequested() override;
    bool ChooseUploadTarget(std::string& path) override;

  private:
    // How the run ends now, if it does: a stop signal, the worker's
    // EndProgress, or the outcome the worker set.
    std::optional<q8::ProgressResult> Ending(const q8::TransferState& state) const;
    void Draw(const q8::ProgressTick& tick);
    void EndLine();  // with the lock held

    const bool terminal_;
    const bool escapes_;  // the terminal erases a line on ESC[K
    const std::string uploadTarget_;
    q8::Clock& clock_;
    std::mutex mutex_;
    std::string caption_;
    bool lineOpen_ = false;
    size_t drawnWidth_ = 0;              // columns of the progress line last drawn
    std::atomic<int> ended_{NOT_ENDED};  // a ProgressResult once the worker ended it
};

}  // namespace q8cli
