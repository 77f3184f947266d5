#pragma once
// Small file lookups the Linux port list and port diagnosis share (sysfs,
// /dev and /proc entries). Internal to the link's Linux sources.
// Thread: any.

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

namespace q8::linux_files {

// The first line of a file; empty when it cannot be read.
inline std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

inline bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// The path with every link and dot resolved; empty when it does not resolve.
inline std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

}  // namespace q8::linux_files
