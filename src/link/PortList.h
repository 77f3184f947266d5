#pragma once
// The serial ports present on this machine, for the CLI's `ports`, the
// window's port choice and for telling a user which ports exist when the one
// asked for does not. Linux reads sysfs; Windows asks SetupAPI. Never opens a
// port. Thread: any.

#include <string>
#include <vector>

namespace q8 {

enum class PortKind {
    BuiltIn,    // a UART on the machine itself
    UsbSerial,  // a USB serial adapter
    UsbModem,   // a USB modem-class (CDC ACM) device
    Other,
};

struct PortInfo {
    std::string path;        // what to open: /dev/ttyUSB0, COM3
    std::string stableName;  // a name that survives replugging; empty when none
    PortKind kind = PortKind::Other;
    std::string vendorId;   // USB: four hex digits
    std::string productId;  // USB: four hex digits
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::string description;  // the system's own name for it (Windows)
};

// Where the enumerator looks; tests point it at a fake tree.
struct PortSystem {
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
};

// The ports, sorted by path. Built-in UART slots with no hardware behind
// them (Linux reports their port type as unknown) only with `all`.
std::vector<PortInfo> ListPorts(bool all, const PortSystem& system = {});

// "built-in UART", "USB adapter", "USB modem", "other": the CLI's port
// table, read by scripts as well as people.
const char* PortKindName(PortKind kind);
// The same in Chinese, for the window and the open-failure details.
const char* PortKindText(PortKind kind);

// One line in Chinese, as the window shows it: path, kind, maker and product
// or the system's name, USB ids.
std::string DescribePort(const PortInfo& port);

}  // namespace q8
