#pragma once
// The 32-byte cartridge directory record: the whole reply to CMD_DIR_ENTRY
// and the payload of CMD_DOWNLOAD_ENTRY.
//
//   0-15  name, code page 936 bytes, 0xFF filled, not terminated
//   16    year - 1900      19  hour
//   17    month 1-12       20  minute
//   18    day of month     21  second
//   22-27 reserved, 0xFF   28-31 size in bytes, little-endian
//
// Thread: any; plain values.

#include <array>
#include <cstdint>
#include <string>

#include "protocol/Frames.h"

namespace q8 {

inline constexpr size_t DIR_NAME_BYTES = 16;
inline constexpr size_t DIR_NAME_HEAD = 12;  // a long name keeps its first 12 bytes
inline constexpr size_t DIR_NAME_TAIL = 4;   // ... and its last 4 (".bin")
inline constexpr uint8_t DIR_FILL = 0xFF;

struct DirTime {
    int year = 1900;  // full year
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct DirEntry {
    std::array<uint8_t, DIR_ENTRY_SIZE> bytes{};

    // Byte 0 = 0xFF: no file at this index. Only byte 0 counts.
    bool IsEndMarker() const { return bytes[0] == DIR_END_MARKER; }
    // The shown name: bytes before the first 0xFF (at most 16), ended early by
    // a zero byte. Still code page 936.
    std::string NameBytes() const;
    uint32_t Size() const;
    // Year (+1900), month, day, hour, minute and second as stored.
    DirTime Time() const;

    static DirEntry FromBytes(const uint8_t* raw);
    // An entry as the download writes it: 0xFF everywhere, the name cut to
    // 12 + 4 bytes when longer than 16, the time fields and the size.
    static DirEntry Make(const std::string& gbkName, const DirTime& time, uint32_t size);
};

// A name longer than 16 bytes becomes its first 12 bytes and its last 4. The
// cut counts bytes, so a double-byte character may be split.
std::string CutDirName(const std::string& gbkName);

}  // namespace q8
