#include "ConsoleTransferUi.h"

#include <chrono>
#include <cstdio>

#include "ConsoleText.h"
#include "Interrupt.h"
#include "TextWidth.h"

namespace q8cli {

namespace {

constexpr const char* ERASE_LINE = "\r\033[K";
constexpr int PERCENT_TEXT_BYTES = 24;  // " 100%  ", with room for any int

}  // namespace

ConsoleTransferUi::ConsoleTransferUi(std::string uploadTarget, q8::Clock& clock)
    : terminal_(StderrIsTerminal()),
      escapes_(terminal_ && StderrTakesEscapes()),
      uploadTarget_(std::move(uploadTarget)),
      clock_(clock) {}

void ConsoleTransferUi::EndLine() {
    if (lineOpen_) {
        WriteText(stderr, "\n");
        lineOpen_ = false;
        drawnWidth_ = 0;
    }
}

void ConsoleTransferUi::Show(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    EndLine();
    WriteText(stderr, text + "\n");
}

void ConsoleTransferUi::ShowWithDetail(const std::string& text, const std::string& detail) {
    Show(detail.empty() ? text : text + "\n" + detail);
}

void ConsoleTransferUi::PrepareProgress(const std::string& caption, const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        caption_ = caption;
        if (terminal_) {
            WriteText(stderr, line + "\n");
        }
    }
    ended_.store(NOT_ENDED);
    HoldStopSignals();
}

std::optional<q8::ProgressResult> ConsoleTransferUi::Ending(const q8::TransferState& state) const {
    if (StopSignalled()) {
        return q8::ProgressResult::Cancelled;
    }
    if (const int ended = ended_.load(); ended != NOT_ENDED) {
        return static_cast<q8::ProgressResult>(ended);
    }
    if (const q8::TransferOutcome outcome = state.Outcome();
        outcome != q8::TransferOutcome::Running) {
        return q8::ResultOfOutcome(outcome);
    }
    return std::nullopt;
}

q8::ProgressResult ConsoleTransferUi::RunProgress(const q8::TransferState& state) {
    ListenForStopSignals();
    // A stop that came before the worker started cancels it at its first step.
    std::optional<q8::ProgressResult> result = Ending(state);
    uint32_t lastTick = clock_.TickMs();
    while (!result) {
        clock_.Sleep(std::chrono::milliseconds(POLL_MS));
        result = Ending(state);
        const uint32_t now = clock_.TickMs();
        if (!result && now - lastTick >= q8::PROGRESS_TICK_MS) {
            lastTick = now;
            const q8::ProgressTick tick = q8::ReadProgress(state, now);
            if (tick.draw) {
                Draw(tick);
            }
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    EndLine();
    return *result;
}

void ConsoleTransferUi::Draw(const q8::ProgressTick& tick) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!terminal_) {
        return;
    }
    char percent[PERCENT_TEXT_BYTES];
    std::snprintf(percent, sizeof percent, " %3d%%  ", tick.percent);
    const std::string text = caption_ + percent + tick.remaining;
    if (escapes_) {
        WriteText(stderr, ERASE_LINE + text);
    } else {
        // Back to the start and over the old text; spaces cover what was
        // longer before.
        const size_t width = DisplayWidth(text);
        const size_t cover = drawnWidth_ > width ? drawnWidth_ - width : 0;
        WriteText(stderr, "\r" + text + std::string(cover, ' '));
        drawnWidth_ = width;
    }
    lineOpen_ = true;
}

void ConsoleTransferUi::ChangeCaption(const std::string& caption) {
    std::lock_guard<std::mutex> lock(mutex_);
    caption_ = caption;
}

void ConsoleTransferUi::WaitForWorker(const q8::WorkerThread& worker) {
    // A second Ctrl-C while the worker finishes its read is swallowed: the
    // line is left to it until it has ended. Stop signals stay caught after
    // it, so one in the refresh or the pause that follows ends the batch at
    // its next step instead of the process.
    while (!worker.Ended()) {
        clock_.Sleep(std::chrono::milliseconds(POLL_MS));
    }
}

bool ConsoleTransferUi::StopRequested() {
    return StopSignalled();
}

bool ConsoleTransferUi::ChooseUploadTarget(std::string& path) {
    path = uploadTarget_;
    return !path.empty();
}

}  // namespace q8cli
