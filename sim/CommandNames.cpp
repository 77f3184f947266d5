#include "CommandNames.h"

#include <cstdlib>

#include "protocol/Frames.h"

namespace q8sim {

namespace {

struct CommandNameEntry {
    uint8_t code;
    const char* name;
};

constexpr CommandNameEntry COMMAND_NAMES[] = {
    {q8::CMD_HELLO, "hello"},
    {q8::CMD_CARD_INFO, "card-info"},
    {q8::CMD_DIR_ENTRY, "dir-entry"},
    {q8::CMD_FORMAT, "format"},
    {q8::CMD_DOWNLOAD_BEGIN, "download-begin"},
    {q8::CMD_DOWNLOAD_BLOCK, "download-block"},
    {q8::CMD_DOWNLOAD_ENTRY, "download-entry"},
    {q8::CMD_DELETE, "delete"},
    {q8::CMD_UPLOAD_BEGIN, "upload-begin"},
    {q8::CMD_UPLOAD_NEXT, "upload-next"},
    {q8::CMD_ERASE_VOICE, "erase-voice"},
    {q8::CMD_BATCH_END, "batch-end"},
};

struct FaultKindName {
    FaultKind kind;
    const char* name;
};

constexpr FaultKindName FAULT_KIND_NAMES[] = {
    {FaultKind::Status, "status"},        {FaultKind::NoReply, "no-reply"},
    {FaultKind::WrongCode, "wrong-code"}, {FaultKind::Truncate, "truncate"},
    {FaultKind::Split, "split"},          {FaultKind::Delay, "delay"},
    {FaultKind::LateData, "late-data"},
};

}  // namespace

const char* CommandName(uint8_t command) {
    for (const CommandNameEntry& entry : COMMAND_NAMES) {
        if (entry.code == command) {
            return entry.name;
        }
    }
    return nullptr;
}

bool ParseCommand(const std::string& text, uint8_t& command) {
    for (const CommandNameEntry& entry : COMMAND_NAMES) {
        if (text == entry.name) {
            command = entry.code;
            return true;
        }
    }
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0' || number > UINT8_MAX ||
        CommandName(static_cast<uint8_t>(number)) == nullptr) {
        return false;
    }
    command = static_cast<uint8_t>(number);
    return true;
}

bool ParseFaultKind(const std::string& text, FaultKind& kind) {
    for (const FaultKindName& entry : FAULT_KIND_NAMES) {
        if (text == entry.name) {
            kind = entry.kind;
            return true;
        }
    }
    return false;
}

}  // namespace q8sim
