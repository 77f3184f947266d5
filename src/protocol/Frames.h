#pragma once
// The device's command set: codes, frame lengths, deadlines and pauses, and
// the two frame buffers every exchange goes through.
//
// Thread: the buffers follow the link's rule, one thread at a time.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace q8 {

inline constexpr uint32_t BLOCK_SIZE = 512;

// Command codes; every reply code is the command code + 0x20.
inline constexpr uint8_t CMD_HELLO = 0x80;
inline constexpr uint8_t CMD_CARD_INFO = 0x82;
inline constexpr uint8_t CMD_DIR_ENTRY = 0x83;
inline constexpr uint8_t CMD_FORMAT = 0x85;
inline constexpr uint8_t CMD_DOWNLOAD_BEGIN = 0x87;
inline constexpr uint8_t CMD_DOWNLOAD_BLOCK = 0x88;
inline constexpr uint8_t CMD_DOWNLOAD_ENTRY = 0x89;
inline constexpr uint8_t CMD_DELETE = 0x8A;
inline constexpr uint8_t CMD_UPLOAD_BEGIN = 0x8B;
inline constexpr uint8_t CMD_UPLOAD_NEXT = 0x8C;
inline constexpr uint8_t CMD_ERASE_VOICE = 0x8E;
inline constexpr uint8_t CMD_BATCH_END = 0x8F;

inline constexpr uint8_t REPLY_OFFSET = 0x20;
inline constexpr uint8_t ReplyCode(uint8_t command) {
    return static_cast<uint8_t>(command + REPLY_OFFSET);
}

inline constexpr uint8_t RPL_HELLO = ReplyCode(CMD_HELLO);
inline constexpr uint8_t RPL_CARD_INFO = ReplyCode(CMD_CARD_INFO);
inline constexpr uint8_t RPL_FORMAT = ReplyCode(CMD_FORMAT);
inline constexpr uint8_t RPL_DOWNLOAD_BEGIN = ReplyCode(CMD_DOWNLOAD_BEGIN);
inline constexpr uint8_t RPL_DOWNLOAD_BLOCK = ReplyCode(CMD_DOWNLOAD_BLOCK);
inline constexpr uint8_t RPL_DOWNLOAD_ENTRY = ReplyCode(CMD_DOWNLOAD_ENTRY);
inline constexpr uint8_t RPL_DELETE = ReplyCode(CMD_DELETE);
inline constexpr uint8_t RPL_UPLOAD_BEGIN = ReplyCode(CMD_UPLOAD_BEGIN);
inline constexpr uint8_t RPL_UPLOAD_NEXT = ReplyCode(CMD_UPLOAD_NEXT);
inline constexpr uint8_t RPL_ERASE_VOICE = ReplyCode(CMD_ERASE_VOICE);

// Fixed arguments.
inline constexpr uint8_t HELLO_ARGUMENT = 1;
inline constexpr uint8_t DOWNLOAD_BLOCK_ARGUMENT = BLOCK_SIZE >> 4;  // 0x20

// Frame lengths in bytes.
inline constexpr uint32_t SHORT_FRAME_LENGTH = 2;  // code + argument
inline constexpr uint32_t FORMAT_FRAME_LENGTH = 4;
inline constexpr uint32_t DOWNLOAD_BEGIN_FRAME_LENGTH = 6;
inline constexpr uint32_t DOWNLOAD_BLOCK_FRAME_LENGTH = BLOCK_SIZE + 4;  // 516
inline constexpr uint32_t DIR_ENTRY_SIZE = 32;
inline constexpr uint32_t DOWNLOAD_ENTRY_FRAME_LENGTH = 2 + DIR_ENTRY_SIZE;  // 34

// Reply lengths in bytes.
inline constexpr uint32_t REPLY_HEADER_LENGTH = 2;
inline constexpr uint32_t CARD_INFO_DATA_LENGTH = 8;
inline constexpr uint32_t UPLOAD_SIZE_LENGTH = 4;

// Machine type that the hello reply must carry.
inline constexpr uint8_t SUPPORTED_MACHINE_TYPE = 1;

// Status bytes.
inline constexpr uint8_t STATUS_OK = 0x00;
inline constexpr uint8_t STATUS_RESEND = 0x01;          // download block / entry
inline constexpr uint8_t STATUS_CARD_UNKNOWN = 0x01;    // upload begin
inline constexpr uint8_t STATUS_CARD_ERROR_MIN = 0x80;  // card info: no data follow
inline constexpr uint8_t STATUS_NOT_RECOGNISED = 0x81;  // card info, format, delete
inline constexpr uint8_t DIR_END_MARKER = 0xFF;         // byte 0 of a DirEntry reply

// Deadlines of the reply reads.
using std::chrono::milliseconds;
inline constexpr milliseconds HELLO_DEADLINE{500};
inline constexpr milliseconds CARD_INFO_DEADLINE{400};
inline constexpr milliseconds DIR_ENTRY_DEADLINE{400};
inline constexpr milliseconds FORMAT_DEADLINE{4000};
inline constexpr milliseconds DOWNLOAD_BEGIN_DEADLINE{8000};
inline constexpr milliseconds DOWNLOAD_BLOCK_DEADLINE{800};
inline constexpr milliseconds DOWNLOAD_ENTRY_DEADLINE{800};
inline constexpr milliseconds DELETE_DEADLINE{2500};
inline constexpr milliseconds UPLOAD_DEADLINE{2500};
inline constexpr milliseconds ERASE_VOICE_DEADLINE{2500};

// Pauses between writing a frame and reading its reply.
inline constexpr milliseconds FORMAT_PAUSE{3000};
inline constexpr milliseconds DOWNLOAD_BEGIN_PAUSE{2000};

// The directory is read up to this many entries; a 14th is never asked for.
inline constexpr uint32_t MAX_DIR_ENTRIES = 13;

// Length of the frame that starts with `command`, or 0 for an unknown code.
uint32_t FrameLength(uint8_t command);

// Blocks announced for a file: size / BLOCK_SIZE, a remainder counting as one
// more block.
inline constexpr uint32_t BlockCount(uint32_t size) {
    const uint32_t rest = size & (BLOCK_SIZE - 1);
    return (size - rest) / BLOCK_SIZE + (rest != 0 ? 1 : 0);
}

// Cartridge space a file takes: its size rounded up to 16384 bytes. Worked in
// 64 bits, so a file too large for the cartridge cannot wrap round to a
// small figure.
inline constexpr uint32_t CARTRIDGE_UNIT = 16384;
inline constexpr uint64_t CartridgeFootprint(uint64_t size) {
    const uint64_t rest = size % CARTRIDGE_UNIT;
    return rest == 0 ? size : size - rest + CARTRIDGE_UNIT;
}

// The one outgoing frame buffer. A frame is built in place and writes only the
// bytes it names; every other byte keeps what an earlier frame left.
struct CommandBuffer {
    std::array<uint8_t, DOWNLOAD_BLOCK_FRAME_LENGTH> bytes{};
    uint8_t* data() { return bytes.data(); }
    const uint8_t* data() const { return bytes.data(); }
    uint8_t& operator[](std::size_t i) { return bytes[i]; }
    uint8_t operator[](std::size_t i) const { return bytes[i]; }
};

// The one incoming buffer; every read fills it from byte 0.
struct ReplyBuffer {
    std::array<uint8_t, BLOCK_SIZE> bytes{};
    uint8_t* data() { return bytes.data(); }
    const uint8_t* data() const { return bytes.data(); }
    uint8_t& operator[](std::size_t i) { return bytes[i]; }
    uint8_t operator[](std::size_t i) const { return bytes[i]; }
};

}  // namespace q8
