// Ports from sysfs: every /sys/class/tty entry with a device behind it. USB
// details come from the first parent directory that has a USB vendor id;
// stable names from the /dev/serial/by-id links.

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "link/LinuxFiles.h"
#include "link/PortList.h"

namespace q8 {

namespace {

// Port type 0 in sysfs: the driver knows of no UART in this slot.
constexpr const char* UNKNOWN_UART_TYPE = "0";

using linux_files::Exists;
using linux_files::ReadLine;
using linux_files::RealPath;

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

PortKind KindOfName(const std::string& name) {
    if (StartsWith(name, "ttyUSB")) {
        return PortKind::UsbSerial;
    }
    if (StartsWith(name, "ttyACM")) {
        return PortKind::UsbModem;
    }
    return PortKind::BuiltIn;
}

// The USB device a tty hangs off: the nearest parent with an idVendor.
void ReadUsbParent(const std::string& deviceDir, PortInfo& port) {
    std::string dir = RealPath(deviceDir);
    while (!dir.empty() && dir != "/") {
        if (Exists(dir + "/idVendor")) {
            port.vendorId = ReadLine(dir + "/idVendor");
            port.productId = ReadLine(dir + "/idProduct");
            port.manufacturer = ReadLine(dir + "/manufacturer");
            port.product = ReadLine(dir + "/product");
            port.serial = ReadLine(dir + "/serial");
            return;
        }
        dir.resize(dir.rfind('/'));
    }
}

std::string StableName(const std::string& devRoot, const std::string& devicePath) {
    const std::string byId = devRoot + "/serial/by-id";
    const std::string target = RealPath(devicePath);
    for (const std::string& name : Entries(byId)) {
        const std::string link = byId + "/" + name;
        if (!target.empty() && RealPath(link) == target) {
            return link;
        }
    }
    return std::string();
}

}  // namespace

std::vector<PortInfo> ListPorts(bool all, const PortSystem& system) {
    std::vector<PortInfo> ports;
    const std::string classDir = system.sysRoot + "/class/tty";
    for (const std::string& name : Entries(classDir)) {
        const std::string entry = classDir + "/" + name;
        // Consoles and pseudo-terminals have no device behind them.
        if (!Exists(entry + "/device")) {
            continue;
        }
        PortInfo port;
        port.path = system.devRoot + "/" + name;
        port.kind = KindOfName(name);
        if (port.kind == PortKind::BuiltIn && !all &&
            ReadLine(entry + "/type") == UNKNOWN_UART_TYPE) {
            continue;
        }
        if (port.kind != PortKind::BuiltIn) {
            ReadUsbParent(entry + "/device", port);
        }
        port.stableName = StableName(system.devRoot, port.path);
        ports.push_back(port);
    }
    return ports;
}

}  // namespace q8
