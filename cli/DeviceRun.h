#pragma once
// One device of a many-device run: its own link, session and thread. The
// thread opens the port, greets a found port's device before anything else,
// runs the job with its transfers on that same thread, and lets the port go.
// The main thread reads what the device is doing to draw its line and
// cancels it on a stop signal.
//
// Thread: the public calls from the main thread; the TransferUi and the
// lines it posts from the device's thread. The two share the status under a
// lock and the session's TransferState.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "ConsoleUi.h"
#include "DeviceJob.h"
#include "PortSearch.h"
#include "link/SerialLink.h"
#include "protocol/WireTrace.h"
#include "session/Session.h"

namespace q8cli {

// Where a device's lines go, in the order they are posted, from any thread.
enum class LineKind {
    Output,   // the command's result (a listing): stdout
    Message,  // what the device said or the session showed: always kept
    Step,     // a change of state: a log line; a terminal shows it in place
};
class LineSink {
  public:
    virtual ~LineSink() = default;
    virtual void Post(const std::string& port, LineKind kind, const std::string& text) = 0;
};

enum class DeviceState {
    Waiting,    // opening, greeting
    Working,    // list, delete, erase-voice, format
    Erasing,    // the device makes room for file `file`
    Sending,    // file `file` goes out
    Verifying,  // file `file` is read back
    Done,
    Failed,
    Skipped,  // a found port that would not open or whose device did not answer
    Cancelled,
};

struct DeviceStatus {
    DeviceState state = DeviceState::Waiting;
    int file = 0;  // from 1, of `files`
    int files = 0;
    std::string fileName;
    int sent = 0;        // files sent whole
    std::string reason;  // what ended a failed or skipped run
    uint32_t elapsedMs = 0;
    bool transferring = false;  // the session's progress is this file's

    bool Ended() const { return state >= DeviceState::Done; }
};

// What a device is doing during a command that sends no files: "读取" (list),
// "删除", "擦除编辑语音", "格式化".
const char* WorkingText(const std::string& command);

// "发送 1/2 a.bin": the step, the file's place in the batch and its name.
std::string FileStepText(const char* what, const DeviceStatus& status);

class DeviceRun : private q8::TransferUi {
  public:
    // `trace`: this device's trace file, empty for none.
    DeviceRun(FoundPort port, const Job& job, LineSink& lines, std::string trace);
    DeviceRun(const DeviceRun&) = delete;
    DeviceRun& operator=(const DeviceRun&) = delete;
    ~DeviceRun() override;

    void Start();
    // The transfer under way stops at its next step, the batch after it.
    void Cancel();
    bool Ended() const { return ended_.load(std::memory_order_acquire); }
    void Join();

    const std::string& Port() const { return port_.name; }
    const Job& JobOf() const { return job_; }
    DeviceStatus Status() const;
    // Meaningful while Status().transferring.
    const q8::TransferState& Progress() const { return session_.Progress(); }

  private:
    void Run();
    bool RunJob();
    bool List();
    bool Download();
    void Finish(DeviceState state, const std::string& reason);
    void Step(DeviceState state, const std::string& text);
    std::string FileStep(const char* what) const;  // with the lock held
    std::string Reason() const;

    // TransferUi, on the device's thread.
    void Show(const std::string& text) override;
    void ShowWithDetail(const std::string& text, const std::string& detail) override;
    void PrepareProgress(const std::string& caption, const std::string& line) override;
    q8::ProgressResult RunProgress(const q8::TransferState& state) override;
    void ChangeCaption(const std::string& caption) override;
    void EndProgress(q8::ProgressResult result) override;
    void WaitForWorker(const q8::WorkerThread&) override {}
    bool StopRequested() override;
    bool ChooseUploadTarget(std::string&) override { return false; }

    const FoundPort port_;
    const Job job_;
    LineSink& lines_;
    const std::string tracePath_;
    q8::WireTrace trace_;
    q8::SerialLink link_;
    CollectedRows rows_;
    q8::Session session_;
    std::string lastMessage_;  // device thread only
    bool worked_ = false;      // device thread: the job ran on the open port

    mutable std::mutex mutex_;
    DeviceStatus status_;
    uint32_t startMs_ = 0;

    std::atomic<bool> cancelled_{false};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

}  // namespace q8cli
