// bench: how much time and memory the host spends on a transfer, measured
// against q8sim running as its own process over a pty.
//
// Each transfer goes through RunTransfer with a quickly polling UI, as the
// window drives it. The time is taken inside the worker thread, around the
// worker alone, so RunTransfer's pause after a done transfer is left out.
//
// The many-device runs time q8loader-cli itself, as a user runs it, with
// one simulator a device.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "link/SerialLink.h"
#include "link/Tick.h"
#include "protocol/Frames.h"
#include "protocol/LinkPort.h"
#include "session/CartridgeRefresh.h"
#include "session/DownloadTransfer.h"
#include "session/PortSelection.h"
#include "session/ProgressTick.h"
#include "session/TransferRun.h"
#include "session/UploadTransfer.h"
#include "sim/SimFiles.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

constexpr uint32_t KIB = 1024;
constexpr uint32_t MIB = 1024 * KIB;
// Room on the simulated cartridge for the largest run.
constexpr uint32_t CARTRIDGE_BYTES = 128 * MIB;

// The real line: 10 bits a byte (8N1) at the link's bit rate.
constexpr double LINE_BYTES_PER_MS = q8::LINK_BIT_RATE / 10.0 / 1000.0;
// One block exchange on the line, both ways: a download's frame and its
// reply; an upload's request and its header and data.
constexpr uint32_t DOWNLOAD_BLOCK_LINE_BYTES =
    q8::DOWNLOAD_BLOCK_FRAME_LENGTH + q8::REPLY_HEADER_LENGTH;
constexpr uint32_t UPLOAD_BLOCK_LINE_BYTES =
    q8::SHORT_FRAME_LENGTH + q8::REPLY_HEADER_LENGTH + q8::BLOCK_SIZE;
// The begin and entry frames of a download with their replies.
constexpr uint32_t FRAME_LINE_BYTES = q8::DOWNLOAD_BEGIN_FRAME_LENGTH + q8::REPLY_HEADER_LENGTH +
                                      q8::DOWNLOAD_ENTRY_FRAME_LENGTH + q8::REPLY_HEADER_LENGTH;

constexpr uint32_t POLL_MS = 2;
constexpr size_t CHUNK = 64 * KIB;

const char* const DOWNLOAD_NAME = "down.bin";

// The many-device runs: how many devices, and the file each is sent.
constexpr int FLEET_SIZES[] = {1, 2, 4, 8, 16};
constexpr uint32_t FLEET_FILE_BYTES = 128 * KIB;
const char* const UPLOAD_SOURCE = "big.bin";

// The window's part, answered at once: the progress ends on the outcome
// (polled every few ms rather than every 500), messages are kept for the
// failure report.
class BenchUi : public q8::TransferUi {
  public:
    void Show(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(text);
    }
    void PrepareProgress(const std::string&, const std::string&) override { ended_ = 0; }
    q8::ProgressResult RunProgress(const q8::TransferState& state) override {
        for (;;) {
            if (const int result = ended_.load()) {
                return static_cast<q8::ProgressResult>(result);
            }
            const q8::ProgressTick tick = q8::ReadProgress(state, q8::TickMs());
            if (tick.ended) {
                return tick.result;
            }
            q8::SleepMs(POLL_MS);
        }
    }
    void ChangeCaption(const std::string&) override {}
    void EndProgress(q8::ProgressResult result) override { ended_ = static_cast<int>(result); }
    // No event loop to keep alive: RunTransfer joins the worker next.
    void WaitForWorker(const q8::WorkerThread&) override {}
    bool ChooseUploadTarget(std::string&) override { return false; }

    std::vector<std::string> Messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    std::atomic<int> ended_{0};
};

class ListView : public q8::CartridgeView {
  public:
    void DeleteAllRows() override { rows.clear(); }
    void AppendRow(const q8::CartridgeRow& row) override { rows.push_back(row); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    // Nothing is marked: the bench names the entry it uploads itself.
    int SelectionMark() const override { return -1; }
    void UpdateTexts(const q8::CartridgeModel&) override {}

    std::vector<q8::CartridgeRow> rows;
};

// The host's side of one run, on the link to one simulator.
struct Host {
    q8::SerialLink link;
    q8::LinkPort port{link};
    q8::Wire wire{port, q8::SystemClock()};
    q8::CartridgeModel model;
    ListView view;
    q8::Station station{wire, model, view};
    BenchUi ui;
    q8::TransferState state;
    q8::TransferContext transfer{station, state, ui};
};

struct Figures {
    std::string name;
    uint32_t bytes = 0;
    uint32_t blocks = 0;
    double totalMs = 0;
    double pauseMs = 0;           // the download's fixed wait after its begin frame
    uint32_t blockLineBytes = 0;  // one block exchange on the line, both ways
    long peakKib = 0;
    long transferGrewKib = 0;  // the high-water mark's rise across the transfer itself
};

double LineMs(uint32_t bytes) {
    return bytes / LINE_BYTES_PER_MS;
}

long PeakResidentKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

std::string SizeName(uint32_t bytes) {
    return bytes >= MIB ? std::to_string(bytes / MIB) + " MiB"
                        : std::to_string(bytes / KIB) + " KiB";
}

void Fail(const std::string& run, const std::string& why, const Host* host = nullptr) {
    std::fprintf(stderr, "bench: %s: %s\n", run.c_str(), why.c_str());
    if (host != nullptr) {
        for (const std::string& message : host->ui.Messages()) {
            std::fprintf(stderr, "bench:   message: %s\n", message.c_str());
        }
    }
}

// Download source bytes, a different value at every offset within a block
// and from block to block, written in chunks so that the bench never holds
// the whole file.
bool WritePatternFile(const std::string& path, uint32_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    std::vector<uint8_t> chunk(CHUNK);
    bool ok = true;
    for (uint32_t offset = 0; ok && offset < size; offset += CHUNK) {
        const uint32_t count = std::min<uint32_t>(CHUNK, size - offset);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t at = offset + i;
            chunk[i] = static_cast<uint8_t>(at * 31 + at / q8::BLOCK_SIZE * 5 + 7);
        }
        ok = std::fwrite(chunk.data(), 1, count, file) == count;
    }
    return std::fclose(file) == 0 && ok;
}

bool SameFiles(const std::string& a, const std::string& b) {
    FILE* fa = std::fopen(a.c_str(), "rb");
    FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa != nullptr && fb != nullptr;
    std::vector<uint8_t> ca(CHUNK);
    std::vector<uint8_t> cb(CHUNK);
    while (same) {
        const size_t ga = std::fread(ca.data(), 1, CHUNK, fa);
        const size_t gb = std::fread(cb.data(), 1, CHUNK, fb);
        same = ga == gb &&
               std::equal(ca.begin(), ca.begin() + static_cast<std::ptrdiff_t>(ga), cb.begin());
        if (ga < CHUNK) {
            break;
        }
    }
    same = same && std::ferror(fa) == 0 && std::ferror(fb) == 0;
    if (fa != nullptr) {
        std::fclose(fa);
    }
    if (fb != nullptr) {
        std::fclose(fb);
    }
    return same;
}

// Runs `check` in a forked child: the reference it builds would otherwise
// raise this process's peak resident size, the very figure being reported.
bool CheckInChild(const std::function<bool()>& check) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// True when `path` holds exactly q8sim's synthetic data of `size` bytes.
bool HoldsSyntheticData(const std::string& path, uint32_t size) {
    return CheckInChild([&path, size] {
        const std::vector<uint8_t> expected = q8sim::SyntheticData(size);
        FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            return false;
        }
        std::vector<uint8_t> got(size + 1);
        const size_t count = std::fread(got.data(), 1, got.size(), file);
        std::fclose(file);
        return count == size && std::equal(expected.begin(), expected.end(), got.begin());
    });
}

// Starts q8sim and opens the link on its pty.
bool Connect(q8bench::SimProcess& sim, const std::vector<std::string>& args, Host& host,
             const std::string& run) {
    if (!sim.Start(Q8SIM_PATH, args)) {
        Fail(run, "cannot start " + std::string(Q8SIM_PATH) + ": " + sim.Error());
        return false;
    }
    if (!q8::OpenDevicePort(host.link, sim.DevicePath(), host.ui)) {
        Fail(run, "cannot open " + sim.DevicePath(), &host);
        return false;
    }
    return true;
}

bool Disconnect(q8bench::SimProcess& sim, const std::string& run) {
    if (!sim.Stop()) {
        Fail(run, "q8sim did not end cleanly");
        return false;
    }
    return true;
}

// RunTransfer as the window runs it; `ms` is the worker's own time.
bool TimedTransfer(Host& host, const std::string& line, const std::function<void()>& work,
                   double& ms) {
    Clock::time_point begin;
    Clock::time_point end;
    const q8::ProgressResult result = q8::RunTransfer(host.transfer, "bench", line, [&] {
        begin = Clock::now();
        work();
        end = Clock::now();
    });
    ms = std::chrono::duration<double, std::milli>(end - begin).count();
    return result == q8::ProgressResult::Done &&
           host.state.Outcome() == q8::TransferOutcome::Done && host.ui.Messages().empty();
}

// Entry 0 of the cartridge into `path`, untimed.
bool UploadInto(Host& host, const std::string& path) {
    q8::ReplacingFile file;
    if (!file.Create(path)) {
        return false;
    }
    double ms = 0;
    const bool ok = TimedTransfer(
        host, path, [&host, &file] { q8::UploadWorker(host.transfer, 0, file); }, ms);
    file.Discard();
    return ok;
}

// One file to the cartridge. Checked afterwards: the cartridge lists it with
// its footprint taken from the free space, and reading it back gives the
// source byte for byte.
bool RunDownload(const std::string& dir, uint32_t size, bool lineRate, Figures& figures) {
    const std::string run = (lineRate ? "line-rate download " : "download ") + SizeName(size);
    const std::string source = dir + "/" + DOWNLOAD_NAME;
    const std::string back = dir + "/back.bin";
    if (!WritePatternFile(source, size)) {
        Fail(run, "cannot write " + source);
        return false;
    }
    std::vector<std::string> args = {"--total", std::to_string(CARTRIDGE_BYTES), "--free",
                                     std::to_string(CARTRIDGE_BYTES)};
    if (lineRate) {
        args.push_back("--line-rate");
    }
    q8bench::SimProcess sim;
    bool ok = false;
    {
        Host host;
        if (!Connect(sim, args, host, run)) {
            return false;
        }
        host.model.info.freeBytes = CARTRIDGE_BYTES;
        const q8::DownloadRow row{DOWNLOAD_NAME, dir};
        double ms = 0;
        const long peakBefore = PeakResidentKib();
        ok = TimedTransfer(
            host, source, [&host, &row] { q8::DownloadWorker(host.transfer, row); }, ms);
        figures = Figures{run,
                          size,
                          q8::BlockCount(size),
                          ms,
                          static_cast<double>(q8::DOWNLOAD_BEGIN_PAUSE.count()),
                          DOWNLOAD_BLOCK_LINE_BYTES};
        figures.transferGrewKib = PeakResidentKib() - peakBefore;
        if (!ok) {
            Fail(run, "the download did not end done", &host);
        } else if (!q8::Refresh(host.station).Ok() || host.model.info.fileCount != 1 ||
                   host.view.rows.size() != 1 || host.view.rows[0].name != DOWNLOAD_NAME ||
                   host.model.info.freeBytes != CARTRIDGE_BYTES - q8::CartridgeFootprint(size)) {
            Fail(run, "the cartridge does not list the file as sent", &host);
            ok = false;
        } else if (!UploadInto(host, back) || !SameFiles(source, back)) {
            Fail(run, "the file read back differs from the one sent", &host);
            ok = false;
        }
    }
    // Taken once the run and its checks are over. Starting q8sim and the
    // checks move the mark a little too, hence the transfer's own rise apart.
    figures.peakKib = PeakResidentKib();
    std::error_code ignored;
    std::filesystem::remove(source, ignored);
    std::filesystem::remove(back, ignored);
    return Disconnect(sim, run) && ok;
}

// q8sim's synthetic file back into a host file, compared with the pattern.
bool RunUpload(const std::string& dir, uint32_t size, Figures& figures) {
    const std::string run = "upload " + SizeName(size);
    const std::string target = dir + "/up.bin";
    const std::vector<std::string> args = {"--file",
                                           std::string(UPLOAD_SOURCE) + "=" + std::to_string(size),
                                           "--total", std::to_string(CARTRIDGE_BYTES)};
    q8bench::SimProcess sim;
    bool ok = false;
    {
        Host host;
        if (!Connect(sim, args, host, run)) {
            return false;
        }
        q8::ReplacingFile file;
        if (!file.Create(target)) {
            Fail(run, "cannot create " + target);
        } else {
            double ms = 0;
            const long peakBefore = PeakResidentKib();
            ok = TimedTransfer(
                host, target, [&host, &file] { q8::UploadWorker(host.transfer, 0, file); }, ms);
            file.Discard();
            figures = Figures{run, size, q8::BlockCount(size), ms, 0, UPLOAD_BLOCK_LINE_BYTES};
            figures.transferGrewKib = PeakResidentKib() - peakBefore;
            std::error_code error;
            if (!ok) {
                Fail(run, "the upload did not end done", &host);
            } else if (host.state.Total() != size ||
                       std::filesystem::file_size(target, error) != size || error) {
                Fail(run, "the uploaded file has the wrong size");
                ok = false;
            } else if (!HoldsSyntheticData(target, size)) {
                Fail(run, "the uploaded bytes differ from q8sim's pattern");
                ok = false;
            }
        }
    }
    figures.peakKib = PeakResidentKib();
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    return Disconnect(sim, run) && ok;
}

void PrintHeader() {
    std::printf("%-20s %10s %7s %10s %10s %9s %9s %9s %9s\n", "run", "bytes", "blocks", "total ms",
                "-pause ms", "us/block", "%line", "peak KiB", "+transfer");
}

// %line: the time per block exchange as a share of the time the real line
// needs for that exchange, i.e. what the host (and here the pty and q8sim)
// would add on top of a real line.
void PrintRow(const Figures& f) {
    const double perBlockUs = (f.totalMs - f.pauseMs) * 1000.0 / f.blocks;
    const double lineUs = LineMs(f.blockLineBytes) * 1000.0;
    std::printf("%-20s %10u %7u %10.1f %10.1f %9.1f %8.3f%% %9ld %9ld\n", f.name.c_str(), f.bytes,
                f.blocks, f.totalMs, f.totalMs - f.pauseMs, perBlockUs, perBlockUs * 100.0 / lineUs,
                f.peakKib, f.transferGrewKib);
}

void PrintLineRate(const Figures& f) {
    const double blockMs = LineMs(f.blockLineBytes);
    const double needMs = f.blocks * blockMs + f.pauseMs + LineMs(FRAME_LINE_BYTES);
    const double excessMs = (f.totalMs - needMs) / f.blocks;
    std::printf("\n%s with q8sim --line-rate (peak %ld KiB, +%ld KiB across the transfer)\n",
                f.name.c_str(), f.peakKib, f.transferGrewKib);
    std::printf("  measured          %10.1f ms\n", f.totalMs);
    std::printf(
        "  line needs        %10.1f ms  = %u blocks x %u B + %u B begin/entry"
        " at %.0f B/s, + %.0f ms pause\n",
        needMs, f.blocks, f.blockLineBytes, FRAME_LINE_BYTES, LINE_BYTES_PER_MS * 1000.0,
        f.pauseMs);
    std::printf("  excess per block  %10.3f ms  = %.3f%% of the %.2f ms a block needs\n", excessMs,
                excessMs * 100.0 / blockMs, blockMs);
}

// The many-device run: q8loader-cli with one --port a simulator, all at
// line rate, each sent the same file; the CLI's wall and CPU time.
struct FleetFigures {
    int devices = 0;
    double wallMs = 0;
    double cpuMs = 0;  // user + system of the CLI process
};

double CpuMs(const rusage& usage) {
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

bool RunFleet(const std::string& dir, int devices, FleetFigures& figures) {
    const std::string run = std::to_string(devices) + " devices";
    const std::string source = dir + "/" + DOWNLOAD_NAME;
    std::vector<std::unique_ptr<q8bench::SimProcess>> sims;
    std::vector<std::string> args = {Q8LOADER_CLI_PATH};
    for (int i = 0; i < devices; ++i) {
        sims.push_back(std::make_unique<q8bench::SimProcess>());
        if (!sims.back()->Start(Q8SIM_PATH, {"--line-rate"})) {
            Fail(run, "cannot start " + std::string(Q8SIM_PATH) + ": " + sims.back()->Error());
            return false;
        }
        args.insert(args.end(), {"--port", sims.back()->DevicePath()});
    }
    args.insert(args.end(), {"download", source});
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const Clock::time_point begin = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (child > 0 && wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    figures = FleetFigures{devices,
                           std::chrono::duration<double, std::milli>(Clock::now() - begin).count(),
                           CpuMs(usage)};
    bool ok = child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok) {
        Fail(run, "q8loader-cli did not send the file to every device");
    }
    for (const auto& sim : sims) {
        ok = sim->Stop() && ok;
    }
    return ok;
}

bool RunFleets(const std::string& dir) {
    if (!WritePatternFile(dir + "/" + DOWNLOAD_NAME, FLEET_FILE_BYTES)) {
        Fail("many devices", "cannot write the file");
        return false;
    }
    std::printf("\nq8loader-cli, one %s file to N devices at once (q8sim --line-rate each)\n",
                SizeName(FLEET_FILE_BYTES).c_str());
    std::printf("%8s %10s %10s %12s %14s\n", "devices", "wall ms", "vs one", "CLI cpu ms",
                "cpu ms/device");
    double oneMs = 0;
    for (const int devices : FLEET_SIZES) {
        FleetFigures f;
        if (!RunFleet(dir, devices, f)) {
            return false;
        }
        oneMs = devices == 1 ? f.wallMs : oneMs;
        std::printf("%8d %10.1f %+9.2f%% %12.1f %14.2f\n", f.devices, f.wallMs,
                    (f.wallMs / oneMs - 1.0) * 100.0, f.cpuMs, f.cpuMs / f.devices);
        std::fflush(stdout);
    }
    return true;
}

void PrintUsage(FILE* to) {
    std::fputs(
        "usage: bench [--quick | --devices]\n"
        "Times downloads and uploads against q8sim in its own process.\n"
        "  --quick     only the 1 MiB runs (no 64 MiB runs, no line-rate runs)\n"
        "  --devices   only the many-device runs of q8loader-cli\n",
        to);
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    bool devicesOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            quick = true;
        } else if (arg == "--devices") {
            devicesOnly = true;
        } else if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "bench: unknown option: %s\n", arg.c_str());
            PrintUsage(stderr);
            return EXIT_USAGE;
        }
    }

    char pattern[] = "/tmp/q8bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("bench: mkdtemp");
        return EXIT_FAILED;
    }
    const std::string dir = pattern;
    if (devicesOnly) {
        const bool ok = RunFleets(dir);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        return ok ? 0 : EXIT_FAILED;
    }

    std::vector<uint32_t> sizes = {1 * MIB};
    if (!quick) {
        sizes.push_back(64 * MIB);
    }
    std::printf("q8sim: %s (a separate process)\n", Q8SIM_PATH);
    std::printf(
        "line time per block: download %u B = %.2f ms, upload %u B = %.2f ms"
        " (at %.0f B/s)\n",
        DOWNLOAD_BLOCK_LINE_BYTES, LineMs(DOWNLOAD_BLOCK_LINE_BYTES), UPLOAD_BLOCK_LINE_BYTES,
        LineMs(UPLOAD_BLOCK_LINE_BYTES), LINE_BYTES_PER_MS * 1000.0);
    std::printf(
        "us/block = (total - pause) / blocks: host, pty and q8sim turn-around together;"
        " %%line = us/block as a share of that line time\n");
    std::printf(
        "peak KiB = ru_maxrss after the run and its checks; +transfer = its rise across"
        " the timed transfer alone\n");
    std::printf("peak KiB before the first run: %ld\n\n", PeakResidentKib());
    PrintHeader();
    std::fflush(stdout);
    bool ok = true;
    for (const uint32_t size : sizes) {
        Figures figures;
        ok = ok && RunDownload(dir, size, false, figures);
        if (ok) {
            PrintRow(figures);
            std::fflush(stdout);
        }
    }
    for (const uint32_t size : sizes) {
        Figures figures;
        ok = ok && RunUpload(dir, size, figures);
        if (ok) {
            PrintRow(figures);
            std::fflush(stdout);
        }
    }
    if (ok && !quick) {
        Figures figures;
        ok = RunDownload(dir, 256 * KIB, true, figures);
        if (ok) {
            PrintLineRate(figures);
        }
        ok = ok && RunFleets(dir);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    if (!ok) {
        std::fprintf(stderr, "bench: FAILED; the figures above are from the runs before it\n");
        return EXIT_FAILED;
    }
    return 0;
}
