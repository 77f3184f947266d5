// The platform-independent half of SerialLink: port names, the open sequence
// and the read loop. The backends supply Configure,
// ReadSome, Write, Purge and Close.

#include "link/SerialLink.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "link/Tick.h"

namespace q8 {

namespace {
constexpr uint8_t BYTE_SIZE = 8;
constexpr const char* PARITY_NONE = "NONE";
constexpr const char* ONE_STOP_BIT = "1";
}  // namespace

const char* PortName(int portIndex) {
    return portIndex == 0 ? "COM1" : "COM2";
}

SerialLink::SerialLink() = default;

SerialLink::~SerialLink() {
    Close();
}

bool SerialLink::IsOpen() const {
    return handle_ != LINK_CLOSED;
}

bool SerialLink::Failed(OpenFailure failure, int systemError) {
    opened_.failure = failure;
    opened_.systemError = systemError;
    return false;
}

bool SerialLink::NotAPort(NodeKind kind, int systemError) {
    Close();
    opened_.kind = kind;
    return Failed(OpenFailure::NotASerialPort, systemError);
}

OpenResult SerialLink::Open(int portIndex) {
    const std::string name = PortName(portIndex);
    const std::string path = PortDevicePath(name);
    // A chosen port is reported as the user chose it ("COM9"), not by the
    // system's path for it ("\\.\COM9").
    const std::string chosen = ChosenPortDevice(name);
    const bool byChoice = EnvironmentPortDevice(name).empty() && !chosen.empty();
    return OpenPath(byChoice ? chosen : path, path);
}

OpenResult SerialLink::OpenPath(const std::string& device, const std::string& path) {
    Close();
    opened_ = OpenResult{};
    opened_.device = device;
    // Refused by the system's lock or flag rather than by our own search.
    if (!Configure(path, LINK_BIT_RATE, BYTE_SIZE, PARITY_NONE, ONE_STOP_BIT) &&
        opened_.failure == OpenFailure::Busy && opened_.holders.empty()) {
        opened_.holders = FindHolders(path);
    }
    return opened_;
}

namespace {

std::map<std::string, std::string>& ChosenDevices() {
    static std::map<std::string, std::string> chosen;
    return chosen;
}

}  // namespace

void ChoosePortDevice(const std::string& portName, const std::string& device) {
    if (device.empty()) {
        ChosenDevices().erase(portName);
    } else {
        ChosenDevices()[portName] = device;
    }
}

std::string ChosenPortDevice(const std::string& portName) {
    const auto found = ChosenDevices().find(portName);
    return found == ChosenDevices().end() ? std::string() : found->second;
}

// The environment first, then the user's choice, then the default. A chosen
// port goes through the system's path for it (COM7 behind "COM1" needs the
// device namespace on Windows from COM10 on); the default COM1 and COM2 stay
// bare names there.
std::string PortDevicePath(const std::string& portName) {
    const std::string environment = EnvironmentPortDevice(portName);
    if (!environment.empty()) {
        return environment;
    }
    const std::string chosen = ChosenPortDevice(portName);
    return chosen.empty() ? DefaultPortDevice(portName) : DeviceSystemPath(chosen);
}

std::string WithDeviceNamespace(const std::string& device) {
    constexpr const char* COM_PREFIX = "COM";
    constexpr size_t COM_PREFIX_LENGTH = 3;
    const bool com = device.size() > COM_PREFIX_LENGTH &&
                     std::equal(device.begin(), device.begin() + COM_PREFIX_LENGTH, COM_PREFIX,
                                [](char a, char b) {
                                    return std::toupper(static_cast<unsigned char>(a)) == b;
                                }) &&
                     device.find_first_not_of("0123456789", COM_PREFIX_LENGTH) == std::string::npos;
    return com ? "\\\\.\\" + device : device;
}

OpenResult SerialLink::OpenDevice(const std::string& device) {
    return OpenPath(device, DeviceSystemPath(device));
}

uint32_t SerialLink::Read(uint8_t* buffer, uint32_t count, uint32_t& received, uint32_t timeoutMs) {
    const uint32_t deadline = TickMs() + timeoutMs;
    received = 0;
    for (;;) {
        const long got = ReadSome(buffer + received, count - received);
        if (got < 0) {
            return READ_PORT_ERROR;
        }
        received += static_cast<uint32_t>(got);
        // A complete reply counts even when it finished after the deadline.
        if (received == count) {
            return READ_OK;
        }
        if (TickPassed(TickMs(), deadline)) {
            return READ_TIMEOUT;
        }
    }
}

}  // namespace q8
