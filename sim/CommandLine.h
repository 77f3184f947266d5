#pragma once
// q8sim's options: parsed into a configuration without touching any file.
// Thread: any; pure.

#include <cstdint>
#include <string>
#include <vector>

#include "SimConfig.h"

namespace q8sim {

// Exit code of q8sim for a usage error.
inline constexpr int EXIT_USAGE = 2;

// One --folder or --file, kept in command-line order.
struct FileSource {
    std::string folder;  // set for --folder
    std::string name;    // set for --file (UTF-8)
    uint32_t size = 0;
};

struct SimOptions {
    SimConfig config;
    std::vector<FileSource> sources;
    bool freeGiven = false;  // else free = total less what the files take
    std::string linkPath;
    bool log = false;
    bool help = false;
    bool version = false;
};

// `args` without the program name. False with `error` set on a usage error.
bool ParseCommandLine(const std::vector<std::string>& args, SimOptions& options,
                      std::string& error);

// CMD:OCCURRENCE:KIND[:VALUE[:PAUSE_MS]]
bool ParseFault(const std::string& text, Fault& fault);

const char* UsageText();

}  // namespace q8sim
