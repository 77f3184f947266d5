#pragma once
// Where the simulated cartridge's files come from: a folder on disk or a
// made-up file of a given size.
// Thread: any.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "SimConfig.h"

namespace q8sim {

// Time of every synthetic file, fixed so that listings can be compared.
inline constexpr q8::DirTime SYNTHETIC_FILE_TIME{2020, 1, 2, 3, 4, 5};

// Appends the regular files of `dir`, sorted by name, to `out`: the name
// converted to code page 936 and cut to 12 + 4 bytes, the modification time
// as local time, the contents. False when the folder or a file cannot be read;
// `out` is then left as it was.
bool LoadFolder(const std::string& dir, std::vector<SimFile>& out);

// `size` bytes of a pattern that differs from block to block, so that a block
// sent twice or out of order shows.
std::vector<uint8_t> SyntheticData(uint32_t size);

// A file named `utf8Name` holding SyntheticData(size).
SimFile SyntheticFile(const std::string& utf8Name, uint32_t size);

// Cartridge space the files take together.
uint32_t FilesFootprint(const std::vector<SimFile>& files);

q8::DirTime LocalDirTime(std::time_t when);

}  // namespace q8sim
