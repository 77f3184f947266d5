#include "Operations.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "FuzzDevice.h"
#include "Oracles.h"
#include "Recorder.h"
#include "protocol/ByteOrder.h"
#include "session/CartridgeRefresh.h"
#include "session/DownloadTransfer.h"
#include "session/Maintenance.h"
#include "session/UploadTransfer.h"

namespace q8fuzz {

namespace {

namespace fs = std::filesystem;

// Near the 32-bit tick's wrap, so the transfers' start ticks cross it.
constexpr uint64_t START_MS = 0xFFFFFFFFull - 5000;

// The host side of one run: the fuzzed device behind the in-memory line,
// recorded, and the window's side.
struct Rig {
    explicit Rig(Choices& in) : device(in) { device.Attach(memory); }

    // The timing oracle; then the log for the operation's own checks.
    std::vector<Event> Finish() {
        std::vector<Event> log = rec.Log();
        CheckTiming(log, clock.NowMs() - START_MS);
        return log;
    }

    q8sim::VirtualClock clock{START_MS};
    Recorder rec{clock};
    FuzzDevice device;
    q8sim::MemoryPort memory{clock, device.Answerer()};
    RecordingPort port{memory, rec};
    RecordingClock timer{rec};
    q8::Wire wire{port, timer};
    q8::CartridgeModel model;
    FuzzView view;
    q8::Station station{wire, model, view};
    FuzzUi ui{rec};
    q8::TransferState state;
    q8::TransferContext transfer{station, state, ui};
};

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// One folder per process for the host files, removed at exit.
struct HostFolder {
    HostFolder() {
        // In memory where the system has such a folder: replacing a file by
        // rename makes ext4 flush it, which would cost milliseconds a run.
        const char* tmp = std::getenv("TMPDIR");
        std::string base = tmp != nullptr ? tmp : "/tmp";
        std::error_code error;
        if (fs::is_directory("/dev/shm", error) && access("/dev/shm", W_OK) == 0) {
            base = "/dev/shm";
        }
        // A run that crashed left its folder behind: remove those whose
        // process is gone.
        for (const fs::directory_entry& entry : fs::directory_iterator(base, error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(PREFIX, 0) == 0) {
                const long pid = std::strtol(name.c_str() + PREFIX.size(), nullptr, 10);
                if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
                    fs::remove_all(entry.path(), error);
                }
            }
        }
        path = base + "/" + PREFIX + std::to_string(getpid());
        fs::remove_all(path, error);
        if (!fs::create_directories(path + "/up", error)) {
            std::fprintf(stderr, "cannot make %s\n", path.c_str());
            std::abort();
        }
        // A 2-block file with a short last block, and a 1-block file whose
        // GBK name goes into the directory record.
        for (uint32_t i = 0; i < 700; ++i) {
            download["a.bin"].push_back(static_cast<uint8_t>(i * 7 + 3));
        }
        download["声音.bin"].assign(q8::BLOCK_SIZE, 0xA5);
        for (const auto& [name, bytes] : download) {
            WriteAll(path + "/" + name, bytes);
        }
        target = path + "/up/target.bin";
        WriteAll(target, oldTarget);
    }
    ~HostFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    static inline const std::string PREFIX = "q8fuzz-host-";
    std::string path;
    std::map<std::string, std::vector<uint8_t>> download;
    std::string target;
    const std::vector<uint8_t> oldTarget{'o', 'l', 'd', ' ', 'b', 'y', 't', 'e', 's'};
};

HostFolder& Host() {
    static HostFolder folder;
    return folder;
}

// Items [first, end) of a format, delete or erase that reported success: the
// operation's own reply, then a complete refresh.
void CheckOperationThenRefresh(const std::vector<Event>& log) {
    const std::vector<Item> items = Items(log);
    Require(!items.empty(), "success without a frame", log);
    const std::string problem = ReplyProblem(items[0]);
    Require(problem.empty(), "success with an error reply: " + problem, log);
    CheckRefreshSucceeded(items, 1, items.size(), log);
}

// A refused card's byte is the status of the card-info header the refresh
// ended on; every other result carries none.
void CheckCardStatus(const q8::RefreshResult& result, const std::vector<Event>& log) {
    if (result.status != q8::RefreshStatus::CardStatus) {
        Require(result.cardStatus == 0, "a card status beside a result other than a refused card",
                log);
        return;
    }
    const std::vector<Item> items = Items(log);
    const bool endedOnCardInfo = items.size() == 2 && items[1].Code() == q8::CMD_CARD_INFO &&
                                 !items[1].reads.empty() &&
                                 items[1].reads.back()->bytes.size() == q8::REPLY_HEADER_LENGTH;
    Require(endedOnCardInfo && result.cardStatus >= q8::STATUS_CARD_ERROR_MIN &&
                items[1].reads.back()->bytes[1] == result.cardStatus,
            "a refused card's status is not the last card-info header's", log);
}

}  // namespace

bool RunRefresh(Choices& in) {
    Rig rig(in);
    const q8::RefreshResult result = q8::Refresh(rig.station);
    const std::vector<Event> log = rig.Finish();
    Require(rig.model.status.error == !result.Ok(),
            "the error flag does not match the refresh's result", log);
    CheckCardStatus(result, log);
    if (!result.Ok()) {
        return false;
    }
    const std::vector<Item> items = Items(log);
    const RefreshSeen seen = CheckRefreshSucceeded(items, 0, items.size(), log);
    Require(rig.model.info.fileCount == seen.files && rig.view.rows == seen.files,
            "file count or rows differ from the entries read", log);
    Require(
        rig.model.info.totalBytes == seen.totalBytes && rig.model.info.freeBytes == seen.freeBytes,
        "space figures differ from the card info read", log);
    return true;
}

bool RunDownload(Choices& in) {
    HostFolder& host = Host();
    std::vector<q8::DownloadRow> rows(in.Number(Pick::Setup, 1, 2));
    for (q8::DownloadRow& row : rows) {
        row.name = DOWNLOAD_NAMES[in.Number(Pick::Setup, 0, 2)];
        row.folder = host.path;
    }
    Rig rig(in);
    const q8::BatchResult result = q8::DownloadBatch(rig.transfer, rows);
    const std::vector<Event> log = rig.Finish();
    const std::vector<Item> items = Items(log);

    bool refreshed = false;
    RefreshSeen last;
    size_t filesDone = 0;
    bool batchEnd = false;
    for (size_t k = 0; k < items.size();) {
        const Item& item = items[k];
        if (item.kind == Item::Kind::Frame && item.Code() == q8::CMD_HELLO) {
            size_t end = k + 1;
            while (end < items.size() && items[end].kind == Item::Kind::Frame &&
                   (items[end].Code() == q8::CMD_CARD_INFO ||
                    items[end].Code() == q8::CMD_DIR_ENTRY)) {
                ++end;
            }
            // The batch went on after it, so it took the refresh for a success.
            refreshed = end < items.size();
            if (refreshed) {
                last = CheckRefreshSucceeded(items, k, end, log);
            }
            k = end;
            continue;
        }
        if (item.kind == Item::Kind::Frame && item.Code() == q8::CMD_BATCH_END) {
            Require(filesDone == rows.size(), "batch end before every file was done", log);
            Require(k + 1 == items.size(), "traffic after the batch end", log);
            batchEnd = true;
            ++k;
            continue;
        }
        Require(item.kind == Item::Kind::Start && refreshed,
                "a batch step that is neither a refresh, a transfer after one, nor the end", log);
        Require(last.files < q8::MAX_CARTRIDGE_FILES,
                "a transfer started with the cartridge holding six files", log);
        const std::string name = fs::path(item.event->line).filename().string();
        const auto file = host.download.find(name);
        const bool exists = file != host.download.end();
        const uint32_t size = exists ? static_cast<uint32_t>(file->second.size()) : 0;
        const bool room = last.freeBytes >= q8::CartridgeFootprint(size);
        // The transfer's frames up to its end mark.
        size_t end = k + 1;
        while (end < items.size() && items[end].kind == Item::Kind::Frame) {
            ++end;
        }
        Require(end < items.size(), "a transfer without an end", log);
        const bool sent = end > k + 1;
        Require(!sent || (exists && room),
                "frames sent for a missing file or one the free space cannot hold", log);
        Require(!sent || (items[k + 1].Code() == q8::CMD_DOWNLOAD_BEGIN &&
                          q8::GetLe32(&items[k + 1].event->bytes[2]) == q8::BlockCount(size)),
                "a transfer that does not begin with its block count", log);
        uint32_t blocks = 0;
        uint32_t resends = 0;
        uint32_t index = 0;  // the block the device's replies ask for
        for (size_t i = k + 2; i < end; ++i) {
            const Item& frame = items[i];
            const std::vector<const Event*>& r = frame.reads;
            if (frame.Code() == q8::CMD_DOWNLOAD_BLOCK) {
                ++blocks;
                std::vector<uint8_t> expected(q8::BLOCK_SIZE, 0);
                const size_t from = size_t{index} * q8::BLOCK_SIZE;
                for (size_t b = 0; b < q8::BLOCK_SIZE && from + b < size; ++b) {
                    expected[b] = file->second[from + b];
                }
                Require(
                    std::equal(expected.begin(), expected.end(), frame.event->bytes.begin() + 2),
                    "a block frame does not carry the file's block " + std::to_string(index), log);
                if (r.size() == 1 && r[0]->bytes.size() == 2 &&
                    r[0]->bytes[0] == q8::RPL_DOWNLOAD_BLOCK) {
                    resends += r[0]->bytes[1] == q8::STATUS_RESEND ? 1 : 0;
                    index += r[0]->bytes[1] == q8::STATUS_OK ? 1 : 0;
                }
            } else {
                Require(frame.Code() == q8::CMD_DOWNLOAD_ENTRY, "an unexpected frame in a transfer",
                        log);
                Require(q8::GetLe32(&frame.event->bytes[2 + 28]) == size,
                        "the directory record does not carry the file's size", log);
            }
        }
        Require(blocks <= q8::BlockCount(size) + resends,
                "more block frames than announced plus the resends asked for", log);
        if (items[end].event->transferResult == static_cast<int>(q8::ProgressResult::Done)) {
            for (size_t i = k + 1; i < end; ++i) {
                const std::string problem = ReplyProblem(items[i]);
                Require(problem.empty(), "a done transfer saw an error reply: " + problem, log);
            }
            const Item& lastFrame = items[end - 1];
            Require(sent && lastFrame.Code() == q8::CMD_DOWNLOAD_ENTRY &&
                        lastFrame.reads[0]->bytes[1] == q8::STATUS_OK,
                    "a done transfer that did not end on an accepted directory record", log);
            ++filesDone;
        }
        k = end + 1;
    }
    Require(batchEnd == (result == q8::BatchResult::Done), "batch result and batch end disagree",
            log);
    return result == q8::BatchResult::Done;
}

bool RunUpload(Choices& in) {
    HostFolder& host = Host();
    Rig rig(in);
    rig.view.mark = static_cast<int>(in.Number(Pick::Setup, 0, q8::MAX_DIR_ENTRIES - 1));
    rig.ui.target = host.target;
    const std::string folder = fs::path(host.target).parent_path().string();
    // The moment the worker reports a failure its temporary still exists:
    // it must hold exactly what was read, never past the announced size.
    rig.ui.onWorkerMessage = [&rig, &folder] {
        const std::vector<Event> log = rig.rec.Log();
        const std::vector<uint8_t> expected = UploadedBytes(log);
        int temporaries = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string()[0] == '.') {
                ++temporaries;
                Require(ReadAll(entry.path().string()) == expected,
                        "the temporary holds other bytes than the blocks read up to the size "
                        "announced",
                        log);
            }
        }
        Require(temporaries == 1, "not one temporary beside the target", log);
    };
    const q8::UploadResult result = q8::UploadFile(rig.transfer);
    const std::vector<Event> log = rig.Finish();
    int names = 0;
    for ([[maybe_unused]] const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        ++names;
    }
    Require(names == 1, "a temporary was left beside the target", log);
    const std::vector<uint8_t> target = ReadAll(host.target);
    if (result != q8::UploadResult::Done) {
        Require(target == host.oldTarget, "a failed upload changed the target", log);
        return false;
    }
    const std::vector<Item> items = Items(log);
    Require(items.size() >= 4 && items.front().kind == Item::Kind::Start &&
                items.back().kind == Item::Kind::End,
            "a done upload without its transfer", log);
    for (size_t i = 1; i + 1 < items.size(); ++i) {
        const std::string problem = ReplyProblem(items[i]);
        Require(problem.empty(), "a done upload saw an error reply: " + problem, log);
    }
    const Item& lastFrame = items[items.size() - 2];
    Require(lastFrame.Code() == q8::CMD_UPLOAD_NEXT && lastFrame.reads[0]->bytes[1] == 0,
            "a done upload without the device's end", log);
    const uint32_t size = q8::GetLe32(items[1].reads[1]->bytes.data());
    Require(target.size() == size && target == UploadedBytes(log),
            "the uploaded file is not the announced size of blocks read", log);
    WriteAll(host.target, host.oldTarget);
    return true;
}

bool RunDelete(Choices& in) {
    Rig rig(in);
    rig.view.rows = static_cast<int>(in.Number(Pick::Setup, 1, q8::MAX_DIR_ENTRIES));
    rig.view.mark = in.Number(Pick::Setup, 0, 3) == 0
                        ? static_cast<int>(in.Number(Pick::Setup, 0, rig.view.rows - 1))
                        : rig.view.rows - 1;
    const bool last = rig.view.mark == rig.view.rows - 1;
    const q8::MaintenanceResult result = q8::DeleteLastFile(rig.station, rig.ui);
    const std::vector<Event> log = rig.Finish();
    Require(last || log.empty(), "a file other than the last one was asked to be deleted", log);
    if (result != q8::MaintenanceResult::Ok) {
        return false;
    }
    CheckOperationThenRefresh(log);
    return true;
}

// Format and erase voice: one exchange, and the refresh after a success; the
// error flag says whether everything went well.
bool RunCommandThenRefresh(Choices& in, q8::MaintenanceResult (*operation)(q8::Station&),
                           const char* flagMismatch) {
    Rig rig(in);
    const q8::MaintenanceResult result = operation(rig.station);
    const std::vector<Event> log = rig.Finish();
    Require(rig.model.status.error == (result != q8::MaintenanceResult::Ok), flagMismatch, log);
    if (result != q8::MaintenanceResult::Ok) {
        return false;
    }
    CheckOperationThenRefresh(log);
    return true;
}

bool RunFormat(Choices& in) {
    return RunCommandThenRefresh(in, q8::FormatCartridge,
                                 "the error flag does not match the format's result");
}

bool RunEraseVoice(Choices& in) {
    return RunCommandThenRefresh(in, q8::EraseVoice,
                                 "the error flag does not match the erase's result");
}

}  // namespace q8fuzz
