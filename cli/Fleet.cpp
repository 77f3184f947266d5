#include "Fleet.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "ConsoleText.h"
#include "DeviceRun.h"
#include "FleetScreen.h"
#include "FleetTexts.h"
#include "Interrupt.h"
#include "TextWidth.h"
#include "protocol/Clock.h"
#include "session/ProgressTick.h"

namespace q8cli {

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;

// How often the screen is brought up to date and a stop signal looked for.
constexpr std::chrono::milliseconds LOOP_PAUSE{50};
// How often a watch looks for ports that came or went.
constexpr uint32_t WATCH_POLL_MS = 1000;
constexpr size_t FIGURE_BYTES = 64;
constexpr const char* COLUMN_GAP = "  ";
constexpr const char* NOT_SENT = "-";

q8::Clock& Clock() {
    return q8::SystemClock();
}

// FILE.dev_ttyUSB0 for /dev/ttyUSB0: a name of its own for each device.
std::string TraceFor(const std::string& base, const std::string& port) {
    if (base.empty()) {
        return base;
    }
    std::string name;
    for (const char c : port) {
        name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    }
    name.erase(0, name.find_first_not_of('_'));
    return base + "." + name;
}

std::string Figure(const char* format, double value) {
    char text[FIGURE_BYTES];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The percentage and the remaining time, once the transfer is past its gate.
std::string TransferFigures(const DeviceRun& run, const DeviceStatus& status) {
    if (!status.transferring) {
        return "";
    }
    const q8::ProgressTick tick = q8::ReadProgress(run.Progress(), Clock().TickMs());
    if (!tick.draw) {
        return "";
    }
    return Figure(" %3.0f%%", tick.percent) + COLUMN_GAP + tick.remaining;
}

// What ended a run, as its summary row and its last device line say it.
std::string ResultText(const DeviceStatus& status) {
    switch (status.state) {
        case DeviceState::Done:
            return TXT_DONE;
        case DeviceState::Failed:
            return TXT_FAILED + std::string(TXT_REASON_SEPARATOR) + status.reason;
        case DeviceState::Skipped:
            return TXT_SKIPPED + std::string(TXT_REASON_SEPARATOR) + status.reason;
        case DeviceState::Cancelled:
            return TXT_CANCELLED;
        default:
            return TXT_WAITING;
    }
}

std::string StateText(const DeviceRun& run, const DeviceStatus& status) {
    switch (status.state) {
        case DeviceState::Waiting:
            return TXT_WAITING;
        case DeviceState::Working:
            return WorkingText(run.JobOf().command);
        case DeviceState::Erasing:
            return FileStepText(TXT_ERASING_ROOM, status);
        case DeviceState::Sending:
            return FileStepText(TXT_SENDING, status) + TransferFigures(run, status);
        case DeviceState::Verifying:
            return FileStepText(TXT_VERIFYING, status) + TransferFigures(run, status);
        default:
            return ResultText(status);
    }
}

// A run and whether a watch has seen its port gone since it started.
struct Shown {
    DeviceRun* run;
    bool gone = false;
};

class Fleet {
  public:
    Fleet(const Options& options, std::string tracePath)
        : options_(options),
          trace_(std::move(tracePath)),
          screen_(StderrIsTerminal() && StderrTakesEscapes(), StderrColumns()) {
        job_.command = options.command;
        job_.verify = options.verify;
        if (job_.command == "download") {
            job_.rows = DownloadRows(options.args);
        }
    }

    int Run();

  private:
    void Start(const FoundPort& port);
    void WatchRound();
    bool AllEnded() const;
    std::vector<std::string> Lines() const;
    int Summary() const;

    const Options& options_;
    const std::string trace_;
    Job job_;
    FleetScreen screen_;
    std::vector<std::unique_ptr<DeviceRun>> runs_;
    std::vector<Shown> shown_;
    // A watch: the ports that appeared in the last round, not yet started.
    std::vector<std::string> appeared_;
    bool firstRound_ = true;
};

void Fleet::Start(const FoundPort& port) {
    runs_.push_back(std::make_unique<DeviceRun>(port, job_, screen_, TraceFor(trace_, port.name)));
    runs_.back()->Start();
    shown_.push_back(Shown{runs_.back().get()});
}

// A port seen gone is a new device when it comes back; its old line goes
// once its run has ended. A port that just appeared waits a round: the system
// may not have given it its group and mode yet, and the device may still be
// waking up.
void Fleet::WatchRound() {
    const std::vector<FoundPort> present = FindPorts(options_.ports, true);
    const auto isPresent = [&present](const std::string& name) {
        return std::any_of(present.begin(), present.end(),
                           [&name](const FoundPort& port) { return port.name == name; });
    };
    for (Shown& shown : shown_) {
        shown.gone = shown.gone || !isPresent(shown.run->Port());
    }
    shown_.erase(std::remove_if(shown_.begin(), shown_.end(),
                                [](const Shown& s) { return s.gone && s.run->Ended(); }),
                 shown_.end());
    std::vector<std::string> appeared;
    for (const FoundPort& port : present) {
        const bool known = std::any_of(shown_.begin(), shown_.end(), [&port](const Shown& s) {
            return s.run->Port() == port.name;
        });
        const bool settled = firstRound_ || std::find(appeared_.begin(), appeared_.end(),
                                                      port.name) != appeared_.end();
        if (!known && settled) {
            Start(port);
        } else if (!known) {
            appeared.push_back(port.name);
        }
    }
    appeared_ = std::move(appeared);
    firstRound_ = false;
}

bool Fleet::AllEnded() const {
    return std::all_of(runs_.begin(), runs_.end(), [](const auto& run) { return run->Ended(); });
}

std::vector<std::string> Fleet::Lines() const {
    size_t width = 0;
    for (const Shown& shown : shown_) {
        width = std::max(width, DisplayWidth(shown.run->Port()));
    }
    std::vector<std::string> lines;
    for (const Shown& shown : shown_) {
        lines.push_back(PadRight(shown.run->Port(), width) + COLUMN_GAP +
                        StateText(*shown.run, shown.run->Status()));
    }
    return lines;
}

int Fleet::Run() {
    CatchStopSignals();
    if (options_.watch) {
        WriteText(stderr, std::string(TXT_WATCHING) + "\n");
    } else {
        for (const FoundPort& port : FindPorts(options_.ports, false)) {
            Start(port);
        }
        if (runs_.empty()) {
            WriteText(stderr, std::string(TXT_NO_PORTS) + "\n");
            return EXIT_FAILED;
        }
    }
    bool stopping = false;
    uint32_t lastRound = Clock().TickMs() - WATCH_POLL_MS;
    for (;;) {
        if (StopSignalled()) {
            stopping = true;
            for (const auto& run : runs_) {
                run->Cancel();
            }
        }
        const uint32_t now = Clock().TickMs();
        if (options_.watch && !stopping && now - lastRound >= WATCH_POLL_MS) {
            lastRound = now;
            WatchRound();
        }
        screen_.Draw(Lines());
        if ((!options_.watch || stopping) && AllEnded()) {
            break;
        }
        Clock().Sleep(LOOP_PAUSE);
    }
    for (const auto& run : runs_) {
        run->Join();
    }
    screen_.Close();
    return Summary();
}

// The table of every run, then the count line.
int Fleet::Summary() const {
    const std::vector<std::string> heads = {TXT_HEAD_PORT, TXT_HEAD_RESULT, TXT_HEAD_SENT,
                                            TXT_HEAD_TIME};
    std::vector<std::vector<std::string>> rows = {heads};
    int done = 0;
    int failed = 0;
    int skipped = 0;
    for (const auto& run : runs_) {
        const DeviceStatus status = run->Status();
        done += status.state == DeviceState::Done ? 1 : 0;
        skipped += status.state == DeviceState::Skipped ? 1 : 0;
        failed += status.state == DeviceState::Failed || status.state == DeviceState::Cancelled;
        const bool sends =
            run->JobOf().command == "download" && status.state != DeviceState::Skipped;
        rows.push_back(
            {run->Port(), ResultText(status),
             sends ? std::to_string(status.sent) + "/" + std::to_string(status.files) : NOT_SENT,
             Figure(TXT_SECONDS, status.elapsedMs / 1000.0)});
    }
    std::vector<size_t> widths(heads.size(), 0);
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
        }
    }
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += i + 1 < row.size() ? PadRight(row[i], widths[i]) + COLUMN_GAP : row[i];
        }
        table += line + "\n";
    }
    char count[FIGURE_BYTES * 2];
    std::snprintf(count, sizeof count, TXT_COUNT, done + failed, done, failed);
    table += count;
    if (skipped > 0) {
        std::snprintf(count, sizeof count, TXT_COUNT_SKIPPED, skipped);
        table += count;
    }
    WriteText(stdout, table + "\n");
    FlushOutput();
    return failed == 0 && done > 0 ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

int RunFleet(const Options& options, const std::string& tracePath) {
    return Fleet(options, tracePath).Run();
}

}  // namespace q8cli
