// Writes the seed corpus: for each seed a scripted device answers the real
// operation (every reply at once, whole, with a good status unless the seed
// says otherwise), the input that replays those answers is written to
// <folder>/<target>/<seed>, and the input is replayed to check that it gives
// the same result and is used up exactly.
//
// Usage: q8_make_seeds FOLDER   (the committed corpus is fuzz/corpus)

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Choices.h"
#include "Operations.h"
#include "protocol/Frames.h"

namespace {

using q8fuzz::Pick;

struct Seed {
    const char* target;
    const char* name;
    bool (*run)(q8fuzz::Choices&);
    std::vector<uint32_t> setup;  // the answers to Pick::Setup, in order
    bool succeeds = true;
    uint8_t oddCode = 0;     // the first frame with this code gets ...
    uint32_t oddStatus = 0;  // ... this Pick::Status answer instead of a good one
    uint32_t files = 2;      // entries each directory read shows
    uint32_t uploadSize = 700;
};

// Pick::Status answers (see FuzzDevice::ChooseStatus).
constexpr uint32_t STATUS_ONE = 9;
constexpr uint32_t STATUS_81 = 12;
constexpr uint32_t STATUS_80 = 13;
constexpr uint32_t STATUS_ZERO = 14;

std::vector<uint8_t> Encode(const Seed& seed, bool& succeeded) {
    size_t setupIndex = 0;
    bool oddDone = false;
    uint32_t dirIndex = 0;
    uint32_t blocks = 0;
    auto numbers = [&](uint8_t code, Pick what, uint32_t min, uint32_t) -> uint32_t {
        switch (what) {
            case Pick::Setup:
                return setupIndex < seed.setup.size() ? seed.setup[setupIndex++] : min;
            case Pick::Break:
                return 1;
            case Pick::Status:
                if (code == q8::CMD_HELLO) {
                    dirIndex = 0;
                }
                if (code == seed.oddCode && !oddDone) {
                    oddDone = true;
                    return seed.oddStatus;
                }
                if (code == q8::CMD_UPLOAD_NEXT) {
                    return blocks++ < q8::BlockCount(seed.uploadSize) ? 0 : STATUS_ZERO;
                }
                return 0;
            case Pick::DirKind:
                return dirIndex++ < seed.files ? 1 : 0;
            case Pick::SizeKind:
                return 3;
            case Pick::SizeValue:
                return seed.uploadSize;
            case Pick::FillKind:
                return 1;
            case Pick::FillValue:
                return 0x41;
            default:
                return min;  // one piece, at once, whole
        }
    };
    auto bytes = [&](uint8_t code, Pick, size_t count) -> std::vector<uint8_t> {
        if (code == q8::CMD_CARD_INFO) {
            return {0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x40, 0x00};  // 8 MiB, 4 MiB free
        }
        if (code == q8::CMD_DIR_ENTRY) {
            std::vector<uint8_t> record(q8::DIR_ENTRY_SIZE, 0xFF);
            const std::string name = "SONG" + std::to_string(dirIndex) + ".BIN";
            std::copy(name.begin(), name.end(), record.begin());
            const uint8_t time[] = {105, 3, 7, 9, 5, 0};
            std::copy(std::begin(time), std::end(time), record.begin() + 16);
            record[28] = 0xE8;  // 1000 bytes
            record[29] = 0x03;
            record[30] = 0;
            record[31] = 0;
            return record;
        }
        return std::vector<uint8_t>(count, 0);
    };
    q8fuzz::SeedChoices script(numbers, bytes);
    succeeded = seed.run(script);
    return script.Input();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::vector<Seed> seeds = {
        {"refresh", "ok", q8fuzz::RunRefresh, {}},
        {"refresh", "wrong-machine", q8fuzz::RunRefresh, {}, false, q8::CMD_HELLO, STATUS_ZERO},
        {"refresh", "not-formatted", q8fuzz::RunRefresh, {}, false, q8::CMD_CARD_INFO, STATUS_80},
        {"refresh", "full-directory", q8fuzz::RunRefresh, {}, true, 0, 0, 13},
        {"download", "ok-two-files", q8fuzz::RunDownload, {2, 0, 1}},
        {"download",
         "ok-resend",
         q8fuzz::RunDownload,
         {1, 0},
         true,
         q8::CMD_DOWNLOAD_BLOCK,
         STATUS_ONE},
        {"download", "six-files", q8fuzz::RunDownload, {1, 0}, false, 0, 0, 6},
        {"download", "missing-file", q8fuzz::RunDownload, {2, 1, 2}, false},
        {"upload", "ok", q8fuzz::RunUpload, {1}},
        {"upload", "ended-early", q8fuzz::RunUpload, {1}, false, q8::CMD_UPLOAD_NEXT, STATUS_ZERO},
        {"upload", "no-such-file", q8fuzz::RunUpload, {3}, false, q8::CMD_UPLOAD_BEGIN, STATUS_81},
        {"delete", "ok", q8fuzz::RunDelete, {3, 1}},
        {"delete", "refused", q8fuzz::RunDelete, {3, 1}, false, q8::CMD_DELETE, STATUS_81},
        {"format", "ok", q8fuzz::RunFormat, {}},
        {"format", "no-initial-format", q8fuzz::RunFormat, {}, false, q8::CMD_FORMAT, STATUS_81},
        {"erase_voice", "ok", q8fuzz::RunEraseVoice, {}},
        {"erase_voice",
         "refused",
         q8fuzz::RunEraseVoice,
         {},
         false,
         q8::CMD_ERASE_VOICE,
         STATUS_ONE},
    };
    int failures = 0;
    for (const Seed& seed : seeds) {
        bool scripted = false;
        const std::vector<uint8_t> input = Encode(seed, scripted);
        q8fuzz::FuzzChoices replay(input.data(), input.size());
        const bool replayed = seed.run(replay);
        if (scripted != seed.succeeds || replayed != seed.succeeds || replay.Remaining() != 0) {
            std::fprintf(stderr, "%s/%s: scripted %d, replayed %d, %zu bytes unused\n", seed.target,
                         seed.name, scripted, replayed, replay.Remaining());
            ++failures;
            continue;
        }
        const std::filesystem::path folder = std::filesystem::path(argv[1]) / seed.target;
        std::filesystem::create_directories(folder);
        std::ofstream out(folder / seed.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(input.data()),
                  static_cast<std::streamsize>(input.size()));
        std::printf("%s/%s: %zu bytes\n", seed.target, seed.name, input.size());
    }
    return failures == 0 ? 0 : 1;
}
