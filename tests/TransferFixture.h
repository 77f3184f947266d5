#pragma once
// Transfers with the real worker thread, seen from the window's side: a UI
// that answers like a user would, a temporary folder for host files, and the
// in-memory device on virtual time with every frame the host writes logged
// with its moment.
//
// The UI's progress window ends on the worker's outcome or EndProgress, or
// on Cancel: pressed from the worker's side at an exact frame (PressCancel,
// deterministic on virtual time) or, on a real line, when `cancelWhen` says
// so while it polls. Messages, captions, lines and the order of everything
// the UI saw are recorded.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "MemoryFixture.h"
#include "TempFolder.h"
#include "protocol/Clock.h"
#include "session/ProgressTick.h"
#include "session/TransferRun.h"

namespace q8test {

inline const char* ResultName(q8::ProgressResult result) {
    switch (result) {
        case q8::ProgressResult::Done:
            return "done";
        case q8::ProgressResult::Cancelled:
            return "cancelled";
        case q8::ProgressResult::Failed:
            return "failed";
        case q8::ProgressResult::Refused:
            return "refused";
    }
    return "?";
}

// What the UI saw, in order: "prepare <caption>", "caption <caption>",
// "show <text>", "end <result>" (EndProgress) and "closed <result>" (the
// window's run returned).
inline std::string Event(const char* what, const std::string& text) {
    std::string event(what);
    event += ' ';
    event += text;
    return event;
}

class ScriptedUi : public q8::TransferUi {
  public:
    // The progress is read with `clock`'s tick: the virtual one on a
    // memory line, the system's on a real one.
    explicit ScriptedUi(q8::Clock& clock) : clock_(clock) {}

    void Show(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(text);
        events_.push_back(Event("show", text));
    }
    void PrepareProgress(const std::string& caption, const std::string& line) override {
        std::lock_guard<std::mutex> lock(mutex_);
        captions_.push_back(caption);
        lines_.push_back(line);
        events_.push_back(Event("prepare", caption));
        ended_ = 0;
        cancelPressed_ = false;
        windowGone_ = false;
    }
    q8::ProgressResult RunProgress(const q8::TransferState& state) override {
        const q8::ProgressResult result = WaitForTheEnd(state);
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(Event("closed", ResultName(result)));
        return result;
    }
    void ChangeCaption(const std::string& caption) override {
        std::lock_guard<std::mutex> lock(mutex_);
        captions_.push_back(caption);
        events_.push_back(Event("caption", caption));
    }
    void EndProgress(q8::ProgressResult result) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(Event("end", ResultName(result)));
        ended_ = static_cast<int>(result);
        wake_.notify_all();
    }
    // Nothing to keep alive here; RunTransfer joins the worker next. A worker
    // held by HoldWorkerUntilWindowGone goes on from here.
    void WaitForWorker(const q8::WorkerThread& worker) override {
        workerOutlivedWindow = workerOutlivedWindow || !worker.Ended();
        std::lock_guard<std::mutex> lock(mutex_);
        windowGone_ = true;
        wake_.notify_all();
    }
    bool ChooseUploadTarget(std::string& path) override {
        path = target;
        return !target.empty();
    }

    // The user presses Cancel at this moment. Any thread; with the worker's
    // flag cleared at the same time (see the fixture's CancelNow) the worker
    // sees it at its very next step.
    void PressCancel() {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelPressed_ = true;
        wake_.notify_all();
    }
    // Worker's thread: keeps the worker where it is until the progress window
    // has gone and RunTransfer waits for it, so that whatever the worker does
    // next happens after the window, as with a worker deep in a long read.
    void HoldWorkerUntilWindowGone() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!wake_.wait_for(lock, std::chrono::seconds(10), [this] { return windowGone_; })) {
            ADD_FAILURE() << "the progress window never went";
        }
    }

    std::vector<std::string> Messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<std::string> Captions() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return captions_;
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    // Set by the test before the transfer starts. `cancelWhen` is asked
    // while the window polls the progress (every millisecond of real time).
    std::function<bool(const q8::TransferState&)> cancelWhen;
    std::string target;
    bool workerOutlivedWindow = false;

  private:
    // The outcome and EndProgress are read before Cancel is looked at: a
    // worker cancelled from its own side may go on to set an outcome (the
    // reply it was reading was bad), and the window must still have been
    // cancelled, as it was first.
    q8::ProgressResult WaitForTheEnd(const q8::TransferState& state) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            const int ended = ended_;
            const q8::ProgressTick tick = q8::ReadProgress(state, clock_.TickMs());
            if (cancelPressed_ || (cancelWhen && cancelWhen(state))) {
                return q8::ProgressResult::Cancelled;
            }
            if (ended != 0) {
                return static_cast<q8::ProgressResult>(ended);
            }
            if (tick.ended) {
                return tick.result;
            }
            // The outcome comes without a wake-up; look again soon.
            wake_.wait_for(lock, std::chrono::milliseconds(1));
        }
    }

    q8::Clock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::string> messages_;
    std::vector<std::string> captions_;
    std::vector<std::string> lines_;
    std::vector<std::string> events_;
    int ended_ = 0;
    bool cancelPressed_ = false;
    bool windowGone_ = false;
};

// A device fixture (memory or pty) plus a temporary folder for host files,
// the transfer state and the scripted UI. The fixture on top adds the
// TransferContext over the station its transfers are to use.
template <typename DeviceBase>
class TransferFixtureOn : public DeviceBase {
  protected:
    void SetUp() override {
        DeviceBase::SetUp();
        ASSERT_TRUE(folder_.Made());
        dir = folder_.Path();
    }
    void TearDown() override {
        DeviceBase::TearDown();
        EXPECT_TRUE(folder_.Remove()) << dir;
    }

    std::string PathOf(const std::string& name) const { return dir + "/" + name; }

    void WriteFile(const std::string& name, const std::vector<uint8_t>& data) {
        FILE* f = std::fopen(PathOf(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!data.empty()) {
            ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
        }
        std::fclose(f);
    }
    std::vector<uint8_t> ReadFile(const std::string& name) const {
        std::vector<uint8_t> data;
        FILE* f = std::fopen(PathOf(name).c_str(), "rb");
        if (f == nullptr) {
            return data;
        }
        for (int c; (c = std::fgetc(f)) != EOF;) {
            data.push_back(static_cast<uint8_t>(c));
        }
        std::fclose(f);
        return data;
    }
    // Names in the folder, to see that no temporary was left behind.
    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder folder_{"q8transfer"};
    std::string dir;
    q8::TransferState state;
    ScriptedUi ui{this->wire.clock};
};

// One frame as the host wrote it, and when (virtual ms since the test began).
struct TimedFrame {
    uint64_t atMs = 0;
    std::vector<uint8_t> bytes;
};

// The memory port with a hook where each read begins, on the reading thread:
// the one moment a worker is known to be past its keep-running check and
// inside a read.
class ReadHookPort final : public q8::Port {
  public:
    ReadHookPort(q8::Port& line, std::function<void()>& onRead) : line_(line), onRead_(onRead) {}
    void Write(const uint8_t* frame, uint32_t length) override { line_.Write(frame, length); }
    q8::ReadResult Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                        std::chrono::milliseconds deadline) override {
        if (onRead_) {
            onRead_();
        }
        return line_.Read(buffer, count, received, deadline);
    }
    void Purge() override { line_.Purge(); }

  private:
    q8::Port& line_;
    std::function<void()>& onRead_;
};

// The transfer fixture on the in-memory device and the virtual clock. Its
// `wire` and `station` (which hide the device fixture's own) go through the
// read hook, so everything a transfer test does reaches the device there.
class MemoryTransferFixture : public TransferFixtureOn<MemoryDeviceFixture> {
  protected:
    MemoryTransferFixture() {
        port.SetWriteObserver([this](const uint8_t* frame, uint32_t length) {
            written.push_back(TimedFrame{ElapsedMs(), std::vector<uint8_t>(frame, frame + length)});
            if (onWrite) {
                onWrite(written.back());
            }
        });
    }

    // Where in `written` the `occurrence`-th frame (from 1) with `command`
    // is; written.size() when there is none.
    size_t IndexOf(uint8_t command, size_t occurrence) const {
        size_t seen = 0;
        for (size_t i = 0; i < written.size(); ++i) {
            if (written[i].bytes[0] == command && ++seen == occurrence) {
                return i;
            }
        }
        return written.size();
    }
    // The first frame with `command` written after position `from`;
    // written.size() when there is none.
    size_t NextWith(uint8_t command, size_t from) const {
        for (size_t i = from + 1; i < written.size(); ++i) {
            if (written[i].bytes[0] == command) {
                return i;
            }
        }
        return written.size();
    }

    // The user cancels now: the window's Cancel and the keep-running flag
    // it clears, at once. From `onWrite` or `onRead` the worker sees it at
    // its very next step.
    void CancelNow() {
        state.Cancel();
        ui.PressCancel();
    }

    // Every frame the host wrote, oldest first. Filled on the writing thread
    // (a worker's too): read it once the transfer has returned.
    std::vector<TimedFrame> written;
    // Called on the writing thread with each frame as it is written, before
    // the device answers it.
    std::function<void(const TimedFrame&)> onWrite;
    // Called on the reading thread as each read begins.
    std::function<void()> onRead;

    ReadHookPort hookedPort{port, onRead};
    q8::Wire wire{hookedPort, clock};
    q8::Station station{wire, model, view};
    q8::TransferContext transfer{station, state, ui};
};

}  // namespace q8test
