// Linux: holders from /proc/*/fd; a pseudo-terminal's master side is known
// by the tty-index its /dev/ptmx descriptor shows in /proc/PID/fdinfo.

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

#include "link/LinuxFiles.h"
#include "link/PortHolders.h"

namespace q8 {

namespace {

constexpr const char* PROC_ROOT = "/proc";
constexpr const char* PTY_SLAVE_PREFIX = "/dev/pts/";
constexpr const char* PTY_MASTERS[] = {"/dev/ptmx", "/dev/pts/ptmx"};
constexpr const char* TTY_INDEX_KEY = "tty-index:";
constexpr int NOT_A_PTY = -1;

bool IsNumber(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The number N of /dev/pts/N, NOT_A_PTY for any other device.
int PtyIndex(const std::string& device) {
    const std::string prefix = PTY_SLAVE_PREFIX;
    if (device.compare(0, prefix.size(), prefix) != 0) {
        return NOT_A_PTY;
    }
    const std::string number = device.substr(prefix.size());
    return IsNumber(number) ? std::atoi(number.c_str()) : NOT_A_PTY;
}

bool IsPtyMaster(const std::string& link) {
    for (const char* master : PTY_MASTERS) {
        if (link == master) {
            return true;
        }
    }
    return false;
}

// The tty-index line of a master descriptor's fdinfo; NOT_A_PTY without one.
int MasterIndex(const std::string& fdinfo) {
    std::ifstream in(fdinfo);
    std::string key;
    while (in >> key) {
        if (key == TTY_INDEX_KEY) {
            int index = NOT_A_PTY;
            in >> index;
            return index;
        }
    }
    return NOT_A_PTY;
}

// What one process's descriptors say about the device.
struct Use {
    bool holdsDevice = false;
    bool holdsMaster = false;  // of the pseudo-terminal `ptyIndex`
};

// A process of another user cannot be looked into; it shows no use.
Use UseOf(const std::string& processDir, const std::string& target, int ptyIndex) {
    Use use;
    const std::string fdDir = processDir + "/fd";
    DIR* dir = opendir(fdDir.c_str());
    if (dir == nullptr) {
        return use;
    }
    while (const dirent* entry = readdir(dir)) {
        char link[PATH_MAX];
        const ssize_t length =
            readlink((fdDir + "/" + entry->d_name).c_str(), link, sizeof(link) - 1);
        if (length <= 0) {
            continue;
        }
        const std::string path(link, static_cast<size_t>(length));
        if (path == target) {
            use.holdsDevice = true;
        } else if (ptyIndex != NOT_A_PTY && IsPtyMaster(path) &&
                   MasterIndex(processDir + "/fdinfo/" + entry->d_name) == ptyIndex) {
            use.holdsMaster = true;
        }
    }
    closedir(dir);
    return use;
}

}  // namespace

std::vector<PortHolder> FindHolders(const std::string& device) {
    std::vector<PortHolder> holders;
    const std::string resolved = linux_files::RealPath(device);
    const std::string& target = resolved.empty() ? device : resolved;
    const int ptyIndex = PtyIndex(target);
    DIR* dir = opendir(PROC_ROOT);
    if (dir == nullptr) {
        return holders;
    }
    while (const dirent* entry = readdir(dir)) {
        if (!IsNumber(entry->d_name) || std::atoi(entry->d_name) == getpid()) {
            continue;
        }
        const std::string processDir = std::string(PROC_ROOT) + "/" + entry->d_name;
        const Use use = UseOf(processDir, target, ptyIndex);
        if (use.holdsDevice && !use.holdsMaster) {
            holders.push_back(
                {std::atoi(entry->d_name), linux_files::ReadLine(processDir + "/comm")});
        }
    }
    closedir(dir);
    return holders;
}

}  // namespace q8
