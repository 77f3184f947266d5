// Linux: holders from /proc/*/fd, groups from the device node's mode.

#include <dirent.h>
#include <grp.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "link/LinuxFiles.h"
#include "link/PortDiagnosis.h"

namespace q8 {

namespace {

constexpr const char* PROC_ROOT = "/proc";

bool IsNumber(const char* text) {
    if (*text == '\0') {
        return false;
    }
    for (; *text != '\0'; ++text) {
        if (!std::isdigit(static_cast<unsigned char>(*text))) {
            return false;
        }
    }
    return true;
}

// Whether any of the process's descriptors is `target`. A process of
// another user cannot be looked into; it is passed over.
bool HoldsFile(const std::string& fdDir, const std::string& target) {
    DIR* dir = opendir(fdDir.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool holds = false;
    while (const dirent* entry = readdir(dir)) {
        char link[PATH_MAX];
        const std::string path = fdDir + "/" + entry->d_name;
        const ssize_t length = readlink(path.c_str(), link, sizeof(link) - 1);
        if (length > 0 && std::string(link, static_cast<size_t>(length)) == target) {
            holds = true;
            break;
        }
    }
    closedir(dir);
    return holds;
}

}  // namespace

std::vector<PortHolder> FindHolders(const std::string& device) {
    std::vector<PortHolder> holders;
    const std::string resolved = linux_files::RealPath(device);
    const std::string& target = resolved.empty() ? device : resolved;
    DIR* dir = opendir(PROC_ROOT);
    if (dir == nullptr) {
        return holders;
    }
    while (const dirent* entry = readdir(dir)) {
        if (!IsNumber(entry->d_name) || std::atoi(entry->d_name) == getpid()) {
            continue;
        }
        const std::string processDir = std::string(PROC_ROOT) + "/" + entry->d_name;
        if (HoldsFile(processDir + "/fd", target)) {
            holders.push_back(
                {std::atoi(entry->d_name), linux_files::ReadLine(processDir + "/comm")});
        }
    }
    closedir(dir);
    return holders;
}

std::string DeviceGroup(const std::string& device) {
    struct stat info {};
    if (stat(device.c_str(), &info) != 0 || (info.st_mode & S_IRWXG) == 0) {
        return std::string();
    }
    const group* owner = getgrgid(info.st_gid);
    return owner != nullptr ? std::string(owner->gr_name) : std::to_string(info.st_gid);
}

std::string AccessText(const std::string& device) {
    if (!linux_files::Exists(device)) {
        return "no device node";
    }
    if (access(device.c_str(), R_OK | W_OK) != 0) {
        const std::string group = DeviceGroup(device);
        return group.empty() ? "permission denied" : "permission denied (group " + group + ")";
    }
    const std::vector<PortHolder> holders = FindHolders(device);
    if (!holders.empty()) {
        return "busy (" + holders[0].program + ", pid " + std::to_string(holders[0].pid) + ")";
    }
    return "ok";
}

std::string SystemErrorText(int systemError) {
    return std::strerror(systemError);
}

}  // namespace q8
