#include "protocol/CommandNames.h"

#include "protocol/Frames.h"

namespace q8 {

namespace {

struct CommandNameEntry {
    uint8_t code;
    const char* name;
};

constexpr CommandNameEntry COMMAND_NAMES[] = {
    {CMD_HELLO, "hello"},
    {CMD_CARD_INFO, "card-info"},
    {CMD_DIR_ENTRY, "dir-entry"},
    {CMD_FORMAT, "format"},
    {CMD_DOWNLOAD_BEGIN, "download-begin"},
    {CMD_DOWNLOAD_BLOCK, "download-block"},
    {CMD_DOWNLOAD_ENTRY, "download-entry"},
    {CMD_DELETE, "delete"},
    {CMD_UPLOAD_BEGIN, "upload-begin"},
    {CMD_UPLOAD_NEXT, "upload-next"},
    {CMD_ERASE_VOICE, "erase-voice"},
    {CMD_BATCH_END, "batch-end"},
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

const char* ReplyName(uint8_t reply) {
    return reply >= REPLY_OFFSET ? CommandName(static_cast<uint8_t>(reply - REPLY_OFFSET))
                                 : nullptr;
}

}  // namespace q8
