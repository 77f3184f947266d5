#pragma once
// What the simulated device starts with, and the faults it can be told to make.
// Thread: plain data, no locking; whoever owns a copy uses it.

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/DirEntry.h"
#include "protocol/Frames.h"

namespace q8sim {

// One file on the simulated cartridge.
struct SimFile {
    std::string nameGbk;  // as the directory stores it, at most 16 bytes
    q8::DirTime time;
    std::vector<uint8_t> data;
};

enum class FaultKind {
    Status,     // value = status byte sent instead; the device acts on it
    NoReply,    // nothing at all is sent
    WrongCode,  // value = byte sent in place of the reply code
    Truncate,   // value = reply bytes actually sent
    Split,      // value = pieces, pauseMs between them
    Delay,      // value = ms before the reply
    LateData,   // value = ms between a reply's header and its data part
    Script,     // the reply is replaced by `script`: each piece after its pause
    Corrupt,    // value = offset in a block's data whose byte is stored inverted
};

// One piece of a scripted reply.
struct ScriptPiece {
    uint32_t pauseMs = 0;  // before the piece is written
    std::vector<uint8_t> bytes;
};

// A fault hits every `occurrence`-th frame with code `command`, counted from
// 1 since the start; occurrence 0 hits them all.
inline constexpr int EVERY_OCCURRENCE = 0;

struct Fault {
    uint8_t command = 0;
    int occurrence = EVERY_OCCURRENCE;
    FaultKind kind = FaultKind::Status;
    int value = 0;
    int pauseMs = 0;
    std::vector<ScriptPiece> script{};  // Script only
};

inline constexpr uint32_t DEFAULT_CARTRIDGE_BYTES = 4u << 20;

struct SimConfig {
    uint8_t machineType = q8::SUPPORTED_MACHINE_TYPE;
    uint8_t cardStatus = q8::STATUS_OK;
    uint32_t totalBytes = DEFAULT_CARTRIDGE_BYTES;
    uint32_t freeBytes = DEFAULT_CARTRIDGE_BYTES;
    bool lineRate = false;  // the Simulator's concern; the model ignores it
    std::vector<SimFile> files;
    uint32_t downloadBeginDelayMs = 0;  // erase time before the download-begin reply
    uint32_t formatDelayMs = 0;
    // Blocks with a nonzero upload status sent after the file's own ones run out.
    int extraUploadBlocks = 0;
    std::vector<Fault> faults;
    // Keep every frame and reply for WireLog / FramesFromHost. Tests want it;
    // a long-running q8sim does not, or it would grow with every block.
    bool keepHistory = true;
};

}  // namespace q8sim
