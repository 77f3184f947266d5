#include "Recorder.h"

#include <cstdio>
#include <cstdlib>

#include "session/ProgressTick.h"

namespace q8fuzz {

// Lives in the worker's thread-local storage; its destructor runs as the
// thread exits, after the work (and its last outcome store) has returned.
struct WorkerExitSignal {
    Recorder* recorder = nullptr;
    ~WorkerExitSignal() {
        if (recorder != nullptr) {
            recorder->WorkerEnded();
        }
    }
};

namespace {
thread_local WorkerExitSignal exitSignal;
}  // namespace

void Recorder::Add(Event event) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(std::move(event));
}

std::vector<Event> Recorder::Log() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

void Recorder::Touch() {
    if (std::this_thread::get_id() != owner_ && exitSignal.recorder == nullptr) {
        exitSignal.recorder = this;
    }
}

void Recorder::WorkerEnded() {
    std::lock_guard<std::mutex> lock(mutex_);
    workerEnded_ = true;
    ended_.notify_all();
}

void Recorder::WaitForWorkerEnd() {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait(lock, [this] { return workerEnded_; });
    workerEnded_ = false;
}

void RecordingPort::Write(const uint8_t* frame, uint32_t length) {
    rec_.Touch();
    Event event;
    event.kind = Event::Kind::Write;
    event.bytes.assign(frame, frame + length);
    rec_.Add(std::move(event));
    inner_.Write(frame, length);
}

q8::ReadResult RecordingPort::Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                                   std::chrono::milliseconds deadline) {
    rec_.Touch();
    const uint64_t start = rec_.Clock().NowMs();
    const q8::ReadResult result = inner_.Read(buffer, count, received, deadline);
    Event event;
    event.kind = Event::Kind::Read;
    event.bytes.assign(buffer, buffer + received);
    event.count = count;
    event.result = result;
    event.ms = static_cast<uint32_t>(deadline.count());
    event.tookMs = rec_.Clock().NowMs() - start;
    rec_.Add(std::move(event));
    return result;
}

void RecordingPort::Purge() {
    rec_.Touch();
    Event event;
    event.kind = Event::Kind::Purge;
    rec_.Add(std::move(event));
    inner_.Purge();
}

uint32_t RecordingClock::TickMs() {
    rec_.Touch();
    return rec_.Clock().TickMs();
}

void RecordingClock::Sleep(std::chrono::milliseconds pause) {
    rec_.Touch();
    Event event;
    event.kind = Event::Kind::Sleep;
    event.ms = static_cast<uint32_t>(pause.count());
    rec_.Add(std::move(event));
    rec_.Clock().Sleep(pause);
}

void FuzzUi::Show(const std::string&) {
    rec_.Touch();
    if (onWorkerMessage) {
        onWorkerMessage();
    }
}

void FuzzUi::PrepareProgress(const std::string&, const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        endResult_ = 0;
    }
    Event event;
    event.kind = Event::Kind::TransferStart;
    event.line = line;
    rec_.Add(std::move(event));
}

void FuzzUi::EndProgress(q8::ProgressResult result) {
    rec_.Touch();
    std::lock_guard<std::mutex> lock(mutex_);
    endResult_ = static_cast<int>(result);
}

q8::ProgressResult FuzzUi::RunProgress(const q8::TransferState& state) {
    rec_.WaitForWorkerEnd();
    int result = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        result = endResult_;
    }
    const q8::ProgressTick tick = q8::ReadProgress(state, rec_.Clock().TickMs());
    if (result == 0 && tick.ended) {
        result = static_cast<int>(tick.result);
    }
    if (result == 0) {
        std::fprintf(stderr,
                     "ORACLE FAILED: the transfer worker ended without an outcome and without "
                     "ending the progress window, which would stay up for good\n");
        std::abort();
    }
    Event event;
    event.kind = Event::Kind::TransferEnd;
    event.transferResult = result;
    rec_.Add(std::move(event));
    return static_cast<q8::ProgressResult>(result);
}

}  // namespace q8fuzz
