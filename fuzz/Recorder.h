#pragma once
// What the host did on the line, in order: every frame written, every read
// with its deadline and what it really returned, every pause, and where each
// transfer's progress window started and ended. The oracles judge the log.
//
// Also the window side of an operation for the fuzzers: a cartridge list, and
// a transfer UI whose progress window waits (on a condition variable, no
// polling) until the worker thread has ended.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/Clock.h"
#include "protocol/Port.h"
#include "session/CartridgeView.h"
#include "session/TransferUi.h"
#include "sim/VirtualClock.h"

namespace q8fuzz {

struct Event {
    enum class Kind { Write, Read, Sleep, Purge, TransferStart, TransferEnd };
    Kind kind = Kind::Write;
    std::vector<uint8_t> bytes;  // Write: the frame; Read: the bytes stored
    uint32_t count = 0;          // Read: bytes asked for
    q8::ReadResult result = q8::ReadResult::Ok;
    uint32_t ms = 0;         // Read: deadline; Sleep: pause
    uint64_t tookMs = 0;     // Read: virtual time it took
    std::string line;        // TransferStart: the host file's path
    int transferResult = 0;  // TransferEnd: the window's ProgressResult
};

class Recorder {
  public:
    explicit Recorder(q8sim::VirtualClock& clock) : clock_(clock) {}

    void Add(Event event);
    std::vector<Event> Log() const;

    // Called on every port, clock and UI call. On a thread other than the
    // one that made the recorder (a transfer worker) it arranges for
    // WorkerEnded() to run when that thread exits.
    void Touch();
    // Blocks until a worker that touched the recorder has exited.
    void WaitForWorkerEnd();

    q8sim::VirtualClock& Clock() { return clock_; }

  private:
    friend struct WorkerExitSignal;
    void WorkerEnded();

    q8sim::VirtualClock& clock_;
    const std::thread::id owner_ = std::this_thread::get_id();
    mutable std::mutex mutex_;
    std::condition_variable ended_;
    bool workerEnded_ = false;
    std::vector<Event> log_;
};

class RecordingPort final : public q8::Port {
  public:
    RecordingPort(q8::Port& inner, Recorder& recorder) : inner_(inner), rec_(recorder) {}
    void Write(const uint8_t* frame, uint32_t length) override;
    q8::ReadResult Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                        std::chrono::milliseconds deadline) override;
    void Purge() override;

  private:
    q8::Port& inner_;
    Recorder& rec_;
};

class RecordingClock final : public q8::Clock {
  public:
    explicit RecordingClock(Recorder& recorder) : rec_(recorder) {}
    uint32_t TickMs() override;
    void Sleep(std::chrono::milliseconds pause) override;

  private:
    Recorder& rec_;
};

class FuzzView final : public q8::CartridgeView {
  public:
    void DeleteAllRows() override {
        rows = 0;
        mark = -1;
    }
    void AppendRow(const q8::CartridgeRow&) override { ++rows; }
    int RowCount() const override { return rows; }
    int SelectionMark() const override { return mark; }
    void UpdateTexts(const q8::CartridgeModel&) override {}
    int rows = 0;
    int mark = -1;
};

class FuzzUi final : public q8::TransferUi {
  public:
    explicit FuzzUi(Recorder& recorder) : rec_(recorder) {}

    void Show(const std::string& text) override;
    void PrepareProgress(const std::string& caption, const std::string& line) override;
    // Returns once the worker has ended: with what EndProgress said, else
    // with the result of the outcome. A worker that ends with neither would
    // leave a real progress window up for good: an oracle failure.
    q8::ProgressResult RunProgress(const q8::TransferState& state) override;
    void ChangeCaption(const std::string&) override { rec_.Touch(); }
    void EndProgress(q8::ProgressResult result) override;
    void WaitForWorker(const q8::WorkerThread&) override {}
    bool ChooseUploadTarget(std::string& path) override {
        path = target;
        return !target.empty();
    }

    std::string target;
    // Runs inside Show on the worker's thread: the moment a transfer fails,
    // before its file is cleaned up.
    std::function<void()> onWorkerMessage;

  private:
    Recorder& rec_;
    std::mutex mutex_;
    int endResult_ = 0;
};

}  // namespace q8fuzz
