#pragma once
// The one serial port to the device: open with the fixed line settings
// (115200 8N1, no flow control, RTS asserted), write a frame, read an exact
// byte count against a deadline, drop queued bytes.
//
// Thread: no lock. One thread uses the link at a time: the window thread (it
// opens the port), the worker it waits for during an exchange, or the
// transfer worker while its progress window is up.
//
// Port names: index 0 is "COM1", any other index "COM2". On POSIX systems the
// names map to the device path in Q8LOADER_COM1 / Q8LOADER_COM2 when set, else
// to a device the user chose, else to /dev/ttyS0 / /dev/ttyS1. On Windows a
// chosen device stands behind the name, else the name goes to the system as is.

#include <cstdint>
#include <string>
#include <vector>

#include "link/PortHolders.h"

namespace q8 {

// SerialLink::Read results.
inline constexpr uint32_t READ_OK = 0;
inline constexpr uint32_t READ_PORT_ERROR = 1;
inline constexpr uint32_t READ_TIMEOUT = 2;

// SerialLink::Write results.
inline constexpr uint32_t WRITE_OK = 0;
inline constexpr uint32_t WRITE_FAILED = 1;

inline constexpr uint32_t LINK_BIT_RATE = 115200;
inline constexpr uint32_t LINK_QUEUE_BYTES = 2048;
// One low-level read waits at most this long for the bytes it asks for.
inline constexpr uint32_t LINK_READ_TIMEOUT_MS = 400;
// A low-level wait that ran its full time ends strictly after it, so a Read
// whose deadline began with that wait has always passed it, on every
// platform, however the millisecond ticks fell.
inline constexpr uint32_t LINK_READ_WAIT_END_MS = LINK_READ_TIMEOUT_MS + 1;
// One low-level write may take this long plus LINK_WRITE_MS_PER_BYTE a byte.
inline constexpr uint32_t LINK_WRITE_TIMEOUT_MS = 400;
inline constexpr uint32_t LINK_WRITE_MS_PER_BYTE = 50;

// "COM1" for index 0, "COM2" for any other index.
const char* PortName(int portIndex);

// The device the system opens for a port name: the environment's (POSIX),
// else the one the user chose, else the default tty on POSIX and the name
// itself on Windows.
std::string PortDevicePath(const std::string& portName);

// The device the user chose for "COM1" or "COM2" (the window's port
// settings); an empty `device` forgets the choice. On POSIX the environment
// variables still come first. Thread: the window thread, like every open.
void ChoosePortDevice(const std::string& portName, const std::string& device);
// The chosen device, empty when there is none.
std::string ChosenPortDevice(const std::string& portName);
// The device a port name opens when neither the environment nor the user
// chose one: /dev/ttyS0 / /dev/ttyS1 on POSIX, the name itself on Windows.
std::string DefaultPortDevice(const std::string& portName);
// POSIX: the device Q8LOADER_COM1 / Q8LOADER_COM2 name, empty when unset;
// always empty on Windows.
std::string EnvironmentPortDevice(const std::string& portName);

// The path the system opens for a device named by the user (the CLI's --port):
// on Windows a "COMn" name gets the device-namespace prefix, which COM10 and
// above need; on POSIX the name as it is.
std::string DeviceSystemPath(const std::string& device);
// "COMn" (any case, any number) as "\\.\COMn"; every other name unchanged.
std::string WithDeviceNamespace(const std::string& device);

// Why the last open failed, as the system told it.
enum class OpenFailure {
    None,
    NoDevice,             // no such port
    NoPermission,         // this user may not open it
    Busy,                 // another program holds it
    NotASerialPort,       // a file, folder, pipe or other device: closed again
    LineStateUnreadable,  // a port, but its line settings cannot be read
    LineSettings,         // the line settings were refused
    Other,
};

// What a path that is not a serial port turned out to be.
enum class NodeKind {
    Unknown,
    RegularFile,
    Directory,
    Pipe,
    Socket,
    BlockDevice,
    CharacterDevice,  // a device, but no terminal (/dev/null, NUL)
};

// What an open did: failure None when the port is open and configured.
struct OpenResult {
    OpenFailure failure = OpenFailure::None;
    int systemError = 0;                // errno or GetLastError() of the failing call
    std::string device;                 // the path or name the system was asked to open
    NodeKind kind = NodeKind::Unknown;  // with NotASerialPort
    std::vector<PortHolder> holders;    // with Busy: who has the port, when known

    bool Opened() const { return failure == OpenFailure::None; }
};

class SerialLink {
  public:
    SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;
    virtual ~SerialLink();

    // Closes any open port, then opens COM1 (index 0) or COM2 and says what
    // happened; showing it is the caller's business. A port whose line state
    // cannot be read stays open although the open failed.
    OpenResult Open(int portIndex);

    // Same as Open, for a device named directly (the CLI's --port PATH).
    OpenResult OpenDevice(const std::string& device);

    // Drops unsent output, writes `length` bytes and waits until they have
    // left the port. 0 on success, 1 on failure.
    uint32_t Write(const uint8_t* buffer, uint32_t length);

    // Reads exactly `count` bytes into `buffer`. Returns 0 when all arrived,
    // 1 on a port error (or no port), 2 when the deadline passed first.
    // `received` always holds the number of bytes stored so far.
    uint32_t Read(uint8_t* buffer, uint32_t count, uint32_t& received, uint32_t timeoutMs);

    // Clears a pending line error and drops both queues.
    void Purge();

    bool IsOpen() const;

    // What the last Open / OpenDevice returned.
    const OpenResult& LastOpen() const { return opened_; }
    // Lets the port go (the adapter may then be unplugged); the next Open
    // opens it again.
    void Close();

  private:
    // Closes any open port and opens `path`; the result names `device`, the
    // name the user knows it by.
    OpenResult OpenPath(const std::string& device, const std::string& path);
    // False on failure, its reason in opened_. A serial port stays open when
    // the open itself succeeded, even if a later step failed; anything else
    // is closed.
    bool Configure(const std::string& name, uint32_t bitRate, uint8_t byteSize, const char* parity,
                   const char* stopBits);

    // One low-level read: gathers until all `count` bytes are in or
    // LINK_READ_TIMEOUT_MS has passed, and returns the bytes delivered
    // (possibly 0), or -1 on a port error.
    long ReadSome(uint8_t* buffer, uint32_t count);

    // The POSIX file descriptor or the Win32 HANDLE; LINK_CLOSED when closed
    // (-1 is also INVALID_HANDLE_VALUE).
    static constexpr intptr_t LINK_CLOSED = -1;
    intptr_t handle_ = LINK_CLOSED;
    OpenResult opened_;
    // Records why Configure is about to fail; returns false for it to return.
    bool Failed(OpenFailure failure, int systemError);
    // Something that is no serial port was named: it is closed again (or
    // never opened) so that no frame is ever written into it.
    bool NotAPort(NodeKind kind, int systemError);
};

}  // namespace q8
