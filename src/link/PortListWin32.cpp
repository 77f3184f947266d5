// Ports from SetupAPI (the COM port interface class: friendly names, makers,
// USB ids), plus any COMn the system knows as a DOS device that SetupAPI did
// not list (virtual ports, Wine's mapped ones).

#include "link/Win32Text.h"
// After windows.h, which it needs.
#include <setupapi.h>

#include <algorithm>
#include <cwctype>

#include "link/PortList.h"

namespace q8 {

namespace {

// The COM port device interface class.
const GUID PORT_INTERFACE = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr DWORD TEXT_UNITS = 512;
constexpr DWORD DOS_NAMES_UNITS = 65536;
constexpr size_t ID_DIGITS = 4;

std::wstring Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[TEXT_UNITS] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(text), sizeof(text), nullptr)) {
        return std::wstring();
    }
    return text;
}

std::wstring PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    wchar_t name[TEXT_UNITS] = {};
    DWORD size = sizeof(name);
    DWORD type = 0;
    const LONG result =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::wstring(name) : std::wstring();
}

// "USB\VID_0403&PID_6001..." gives the two ids.
void ReadUsbIds(const std::wstring& hardwareId, PortInfo& port) {
    const std::string id = WideToUtf8(hardwareId);
    const size_t vid = id.find("VID_");
    const size_t pid = id.find("PID_");
    if (vid == std::string::npos || pid == std::string::npos) {
        return;
    }
    port.vendorId = id.substr(vid + 4, ID_DIGITS);
    port.productId = id.substr(pid + 4, ID_DIGITS);
    std::transform(port.vendorId.begin(), port.vendorId.end(), port.vendorId.begin(), ::tolower);
    std::transform(port.productId.begin(), port.productId.end(), port.productId.begin(), ::tolower);
}

void AddSetupPorts(std::vector<PortInfo>& ports) {
    HDEVINFO set = SetupDiGetClassDevsW(&PORT_INTERFACE, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        PortInfo port;
        port.path = WideToUtf8(PortName(set, device));
        if (port.path.empty()) {
            continue;
        }
        port.description = WideToUtf8(Property(set, device, SPDRP_FRIENDLYNAME));
        port.manufacturer = WideToUtf8(Property(set, device, SPDRP_MFG));
        const std::wstring hardwareId = Property(set, device, SPDRP_HARDWAREID);
        ReadUsbIds(hardwareId, port);
        const std::string bus = WideToUtf8(hardwareId.substr(0, hardwareId.find(L'\\')));
        port.kind = bus == "USB"    ? PortKind::UsbSerial
                    : bus == "ACPI" ? PortKind::BuiltIn
                                    : PortKind::Other;
        ports.push_back(port);
    }
    SetupDiDestroyDeviceInfoList(set);
}

bool IsComName(const std::wstring& name) {
    return name.size() > 3 && name.compare(0, 3, L"COM") == 0 &&
           std::all_of(name.begin() + 3, name.end(), [](wchar_t c) { return std::iswdigit(c); });
}

void AddDosPorts(std::vector<PortInfo>& ports) {
    std::wstring names(DOS_NAMES_UNITS, L'\0');
    const DWORD length = QueryDosDeviceW(nullptr, names.data(), DOS_NAMES_UNITS);
    for (size_t at = 0; at < length && names[at] != L'\0';) {
        const std::wstring name(names.c_str() + at);
        at += name.size() + 1;
        const std::string path = WideToUtf8(name);
        const bool listed = std::any_of(ports.begin(), ports.end(),
                                        [&path](const PortInfo& p) { return p.path == path; });
        if (IsComName(name) && !listed) {
            PortInfo port;
            port.path = path;
            ports.push_back(port);
        }
    }
}

// COM2 before COM10.
bool ComesBefore(const PortInfo& a, const PortInfo& b) {
    return a.path.size() != b.path.size() ? a.path.size() < b.path.size() : a.path < b.path;
}

}  // namespace

std::vector<PortInfo> ListPorts(bool, const PortSystem&) {
    std::vector<PortInfo> ports;
    AddSetupPorts(ports);
    AddDosPorts(ports);
    std::sort(ports.begin(), ports.end(), ComesBefore);
    return ports;
}

}  // namespace q8
