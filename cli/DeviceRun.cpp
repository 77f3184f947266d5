#include "DeviceRun.h"

#include <chrono>

#include "FleetTexts.h"
#include "Interrupt.h"
#include "host/HostFile.h"
#include "session/Texts.h"

namespace q8cli {

namespace {

// How often a progress run nobody drives looks at the transfer's state.
constexpr std::chrono::milliseconds PROGRESS_POLL{5};

q8::Clock& Clock() {
    return q8::SystemClock();
}

}  // namespace

DeviceRun::DeviceRun(FoundPort port, const Job& job, LineSink& lines, std::string trace)
    : port_(std::move(port)),
      job_(job),
      lines_(lines),
      tracePath_(std::move(trace)),
      session_(link_, rows_, *this) {
    // One thread a device: the transfers run on it, and the main thread draws
    // their progress from the session's state.
    session_.RunTransfersOn(q8::TransferThread::Caller);
    status_.files = static_cast<int>(job_.rows.size());
}

DeviceRun::~DeviceRun() {
    Join();
}

void DeviceRun::Start() {
    startMs_ = Clock().TickMs();
    // The device's thread never takes a stop signal; the main thread does and
    // cancels it.
    HoldStopSignals();
    thread_ = std::thread([this] { Run(); });
    ListenForStopSignals();
}

void DeviceRun::Cancel() {
    cancelled_.store(true, std::memory_order_release);
    session_.CancelTransfer();
}

void DeviceRun::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

DeviceStatus DeviceRun::Status() const {
    std::lock_guard<std::mutex> lock(mutex_);
    DeviceStatus status = status_;
    if (!status.Ended()) {
        status.elapsedMs = Clock().TickMs() - startMs_;
    }
    return status;
}

void DeviceRun::Run() {
    if (!tracePath_.empty()) {
        if (trace_.Open(tracePath_)) {
            session_.SetTrace(&trace_);
        } else {
            lines_.Post(port_.name, LineKind::Message, "cannot write the trace " + tracePath_);
        }
    }
    if (!session_.OpenNamedPort(port_.name)) {
        link_.Close();  // a port whose line state is unreadable stays open
        Finish(port_.found ? DeviceState::Skipped : DeviceState::Failed, Reason());
        return;
    }
    if (port_.found && !session_.Greet().Ok()) {
        link_.Close();
        Finish(DeviceState::Skipped, session_.Model().status.text);
        return;
    }
    worked_ = true;
    const bool ok = RunJob();
    link_.Close();
    session_.SetTrace(nullptr);
    if (ok) {
        Finish(DeviceState::Done, "");
    } else if (cancelled_.load(std::memory_order_acquire) || StopSignalled()) {
        Finish(DeviceState::Cancelled, TXT_CANCELLED);
    } else {
        Finish(DeviceState::Failed, Reason());
    }
}

bool DeviceRun::RunJob() {
    const std::string& command = job_.command;
    if (command == "download") {
        return Download();
    }
    Step(DeviceState::Working, WorkingText(command));
    if (command == "delete") {
        return session_.DeleteLast() == q8::MaintenanceResult::Ok;
    }
    if (command == "erase-voice") {
        return session_.EraseVoice() == q8::MaintenanceResult::Ok;
    }
    if (command == "format") {
        return session_.Format() == q8::MaintenanceResult::Ok;
    }
    return List();
}

bool DeviceRun::List() {
    if (!session_.Refresh().Ok()) {
        return false;
    }
    // One post, so that no other device's lines come between.
    std::string listing;
    for (const q8::CartridgeRow& row : rows_.Rows()) {
        listing += RowText(row) + "\n";
    }
    const q8::CartridgeInfo& info = session_.Model().info;
    lines_.Post(port_.name, LineKind::Output, listing + info.totalText + "\n" + info.freeText);
    return true;
}

bool DeviceRun::Download() {
    const auto mode =
        job_.verify ? q8::Session::ReadBackMode::Compare : q8::Session::ReadBackMode::None;
    const q8::DownloadOutcome outcome =
        session_.Download(job_.rows, mode, [this](const q8::VerifiedFile& file) {
            const CheckLine line = CheckText(file);
            if (!line.same) {
                lastMessage_ = line.text;
            }
            lines_.Post(port_.name, LineKind::Message, line.text);
        });
    return outcome.Succeeded();
}

// The last message shown, else the status line the operation left.
std::string DeviceRun::Reason() const {
    if (!lastMessage_.empty()) {
        return lastMessage_;
    }
    const std::string& status = session_.Model().status.text;
    return status.empty() ? TXT_FAILED : status;
}

void DeviceRun::Finish(DeviceState state, const std::string& reason) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.state = state;
        status_.reason = reason;
        status_.transferring = false;
        status_.elapsedMs = Clock().TickMs() - startMs_;
    }
    const char* word = state == DeviceState::Done      ? TXT_DONE
                       : state == DeviceState::Skipped ? TXT_SKIPPED
                       : state == DeviceState::Failed  ? TXT_FAILED
                                                       : TXT_CANCELLED;
    std::string text = word;
    if (state == DeviceState::Failed || state == DeviceState::Skipped) {
        text += TXT_REASON_SEPARATOR + reason;
    }
    // The job let the port go: the adapter may come out now.
    if (worked_) {
        text += TXT_LIST_SEPARATOR + std::string(TXT_UNPLUG);
    }
    lines_.Post(port_.name, LineKind::Message, text);
    ended_.store(true, std::memory_order_release);
}

void DeviceRun::Step(DeviceState state, const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.state = state;
    }
    lines_.Post(port_.name, LineKind::Step, text);
}

const char* WorkingText(const std::string& command) {
    return command == "delete"        ? TXT_DELETING
           : command == "erase-voice" ? TXT_ERASING_VOICE
           : command == "format"      ? TXT_FORMATTING
                                      : TXT_LISTING;
}

std::string FileStepText(const char* what, const DeviceStatus& status) {
    return std::string(what) + " " + std::to_string(status.file) + "/" +
           std::to_string(status.files) + " " + status.fileName;
}

std::string DeviceRun::FileStep(const char* what) const {
    return FileStepText(what, status_);
}

void DeviceRun::Show(const std::string& text) {
    lastMessage_ = text;
    lines_.Post(port_.name, LineKind::Message, text);
}

void DeviceRun::ShowWithDetail(const std::string& text, const std::string& detail) {
    Show(text);
    if (!detail.empty()) {
        lines_.Post(port_.name, LineKind::Message, detail);
    }
}

// A download's file starts with the erase, a read-back with the upload; the
// read-backs count the files again from the first.
void DeviceRun::PrepareProgress(const std::string& caption, const std::string& line) {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool readBack = caption == q8::TXT_UPLOADING;
        if (readBack && status_.state != DeviceState::Verifying) {
            status_.file = 0;
        }
        ++status_.file;
        std::string folder;
        q8::SplitPath(line, folder, status_.fileName);
        status_.state = readBack ? DeviceState::Verifying : DeviceState::Erasing;
        status_.transferring = true;
        text = FileStep(readBack ? TXT_VERIFYING : TXT_ERASING_ROOM);
    }
    lines_.Post(port_.name, LineKind::Step, text);
}

void DeviceRun::ChangeCaption(const std::string& caption) {
    if (caption != q8::TXT_DOWNLOADING) {
        return;
    }
    std::string text;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.state = DeviceState::Sending;
        text = FileStep(TXT_SENDING);
    }
    lines_.Post(port_.name, LineKind::Step, text);
}

void DeviceRun::EndProgress(q8::ProgressResult result) {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.transferring = false;
        if (result != q8::ProgressResult::Done || status_.state != DeviceState::Sending) {
            return;
        }
        ++status_.sent;
        text = FileStep(TXT_SENT);
    }
    lines_.Post(port_.name, LineKind::Step, text);
}

// Transfers run on this thread, so no progress run waits on them; should one
// be asked for, it ends with the transfer.
q8::ProgressResult DeviceRun::RunProgress(const q8::TransferState& state) {
    while (state.Outcome() == q8::TransferOutcome::Running && state.KeepRunning()) {
        Clock().Sleep(PROGRESS_POLL);
    }
    return state.KeepRunning() ? q8::ResultOfOutcome(state.Outcome())
                               : q8::ProgressResult::Cancelled;
}

bool DeviceRun::StopRequested() {
    return cancelled_.load(std::memory_order_acquire) || StopSignalled();
}

}  // namespace q8cli
