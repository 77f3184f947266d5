#include "protocol/Frames.h"

namespace q8 {

uint32_t FrameLength(uint8_t command) {
    switch (command) {
        case CMD_HELLO:
        case CMD_CARD_INFO:
        case CMD_DIR_ENTRY:
        case CMD_DELETE:
        case CMD_UPLOAD_BEGIN:
        case CMD_UPLOAD_NEXT:
        case CMD_ERASE_VOICE:
        case CMD_BATCH_END:
            return SHORT_FRAME_LENGTH;
        case CMD_FORMAT:
            return FORMAT_FRAME_LENGTH;
        case CMD_DOWNLOAD_BEGIN:
            return DOWNLOAD_BEGIN_FRAME_LENGTH;
        case CMD_DOWNLOAD_BLOCK:
            return DOWNLOAD_BLOCK_FRAME_LENGTH;
        case CMD_DOWNLOAD_ENTRY:
            return DOWNLOAD_ENTRY_FRAME_LENGTH;
        default:
            return 0;
    }
}

}  // namespace q8
