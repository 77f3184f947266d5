// Linux: groups from the device node's mode, holders from PortHolders.

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/LinuxFiles.h"
#include "session/PortDiagnosis.h"

namespace q8 {

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
