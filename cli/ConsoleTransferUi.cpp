#include "ConsoleTransferUi.h"

#include <cstdio>

#include "Interrupt.h"
#include "link/Tick.h"

namespace q8cli {

namespace {

constexpr uint32_t POLL_MS = 50;
constexpr uint32_t WORKER_POLL_MS = 10;

}  // namespace

ConsoleTransferUi::ConsoleTransferUi(std::string uploadTarget)
    : terminal_(StderrIsTerminal()), uploadTarget_(std::move(uploadTarget)) {}

void ConsoleTransferUi::EndLine() {
    if (lineOpen_) {
        std::fputc('\n', stderr);
        lineOpen_ = false;
    }
}

void ConsoleTransferUi::Show(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    EndLine();
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void ConsoleTransferUi::PrepareProgress(const std::string& caption, const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        caption_ = caption;
        if (terminal_) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    }
    ended_.store(0);
    HoldStopSignals();
}

int ConsoleTransferUi::RunProgress(const q8::TransferState& state) {
    ListenForStopSignals();
    // A stop that came before the worker started cancels it at its first step.
    int result = StopSignalled() ? q8::PROGRESS_CANCELLED : 0;
    uint32_t sinceTick = 0;
    while (result == 0) {
        q8::SleepMs(POLL_MS);
        sinceTick += POLL_MS;
        if (StopSignalled()) {
            result = q8::PROGRESS_CANCELLED;
        } else if (ended_.load() != 0) {
            result = ended_.load();
        } else if (sinceTick >= q8::PROGRESS_TICK_MS) {
            sinceTick = 0;
            const q8::ProgressTick tick = q8::ReadProgress(state, q8::TickMs());
            if (tick.ended) {
                result = tick.result;
            } else if (tick.draw) {
                Draw(tick);
            }
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    EndLine();
    return result;
}

void ConsoleTransferUi::Draw(const q8::ProgressTick& tick) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!terminal_) {
        return;
    }
    std::fprintf(stderr, "\r\033[K%s %3d%%  %s", caption_.c_str(), tick.percent,
                 tick.remaining.c_str());
    std::fflush(stderr);
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
        q8::SleepMs(WORKER_POLL_MS);
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
