#include "protocol/DirEntry.h"

#include <algorithm>
#include <cstring>

#include "protocol/ByteOrder.h"

namespace q8 {

namespace {
constexpr size_t YEAR = 16, MONTH = 17, DAY = 18, HOUR = 19, MINUTE = 20, SECOND = 21;
constexpr size_t SIZE_FIELD = 28;
constexpr int YEAR_BASE = 1900;
}  // namespace

std::string DirEntry::NameBytes() const {
    size_t end = 0;
    while (end < DIR_NAME_BYTES && bytes[end] != DIR_FILL && bytes[end] != 0) {
        ++end;
    }
    return std::string(reinterpret_cast<const char*>(bytes.data()), end);
}

uint32_t DirEntry::Size() const {
    return GetLe32(&bytes[SIZE_FIELD]);
}

DirTime DirEntry::Time() const {
    return DirTime{bytes[YEAR] + YEAR_BASE, bytes[MONTH], bytes[DAY], bytes[HOUR],
                   bytes[MINUTE],           bytes[SECOND]};
}

DirEntry DirEntry::FromBytes(const uint8_t* raw) {
    DirEntry entry;
    std::memcpy(entry.bytes.data(), raw, DIR_ENTRY_SIZE);
    return entry;
}

std::string CutDirName(const std::string& gbkName) {
    if (gbkName.size() <= DIR_NAME_BYTES) {
        return gbkName;
    }
    return gbkName.substr(0, DIR_NAME_HEAD) + gbkName.substr(gbkName.size() - DIR_NAME_TAIL);
}

DirEntry DirEntry::Make(const std::string& gbkName, const DirTime& time, uint32_t size) {
    DirEntry entry;
    entry.bytes.fill(DIR_FILL);
    const std::string name = CutDirName(gbkName);
    std::copy(name.begin(), name.end(), entry.bytes.begin());
    entry.bytes[YEAR] = static_cast<uint8_t>(time.year - YEAR_BASE);
    entry.bytes[MONTH] = static_cast<uint8_t>(time.month);
    entry.bytes[DAY] = static_cast<uint8_t>(time.day);
    entry.bytes[HOUR] = static_cast<uint8_t>(time.hour);
    entry.bytes[MINUTE] = static_cast<uint8_t>(time.minute);
    entry.bytes[SECOND] = static_cast<uint8_t>(time.second);
    PutLe32(&entry.bytes[SIZE_FIELD], size);
    return entry;
}

}  // namespace q8
