// The Win32 half of SerialLink: a COM port opened without sharing, with the
// driver's own time-outs bounding every read and write.

#include "link/SerialLink.h"

#include "link/Win32Text.h"

#include <algorithm>
#include <cstring>

#include "link/Tick.h"

namespace q8 {

namespace {

constexpr DWORD READ_INTERVAL_TIMEOUT = MAXDWORD;
constexpr DWORD READ_TOTAL_TIMEOUT_MULTIPLIER = 0;
constexpr WORD XON_LIMIT = 50;
constexpr WORD XOFF_LIMIT = 50;
constexpr char XON_CHAR = 0x11;
constexpr char XOFF_CHAR = 0x13;

// ReadSome returns a long, which is 32 bits here.
constexpr uint32_t LARGEST_READ = 0x7FFFFFFF;

HANDLE PortHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Unknown texts leave the setting as the port had it.
void SetParity(DCB& state, const char* parity) {
    if (std::strcmp(parity, "NONE") == 0) {
        state.Parity = NOPARITY;
    } else if (std::strcmp(parity, "ODD") == 0) {
        state.Parity = ODDPARITY;
    } else if (std::strcmp(parity, "EVEN") == 0) {
        state.Parity = EVENPARITY;
    }
}

void SetStopBits(DCB& state, const char* stopBits) {
    if (std::strcmp(stopBits, "1") == 0) {
        state.StopBits = ONESTOPBIT;
    } else if (std::strcmp(stopBits, "2") == 0) {
        state.StopBits = TWOSTOPBITS;
    }
}

// What a Win32 error from opening a port tells the user. A port another
// program holds answers "access denied": Windows ports have no permissions
// of their own.
OpenFailure FailureForError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return OpenFailure::NoDevice;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return OpenFailure::Busy;
        default:
            return OpenFailure::Other;
    }
}

// A path the user chose may name a folder, which CreateFileA would refuse as
// "access denied" and so pass for a busy port.
bool IsFolder(const std::string& name) {
    const DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

NodeKind KindOfFileType(DWORD type) {
    switch (type) {
        case FILE_TYPE_DISK:
            return NodeKind::RegularFile;
        case FILE_TYPE_PIPE:
            return NodeKind::Pipe;
        default:
            return NodeKind::Unknown;
    }
}

// Drops output only while the driver still holds it: what a timed-out write
// left behind is stale. Once the driver reports its queue empty the bytes
// are on their way (a USB adapter may still hold some), and purging then
// could throw away a last frame that nothing answers, the batch end.
void DropStaleOutput(HANDLE port) {
    DWORD lineErrors = 0;
    COMSTAT status{};
    if (ClearCommError(port, &lineErrors, &status) && status.cbOutQue > 0) {
        (void)PurgeComm(port, PURGE_TXCLEAR);
    }
}

}  // namespace

std::string DefaultPortDevice(const std::string& portName) {
    return portName;
}

std::string EnvironmentPortDevice(const std::string&) {
    return std::string();
}

std::string DeviceSystemPath(const std::string& device) {
    return WithDeviceNamespace(device);
}

bool SerialLink::Configure(const std::string& name, uint32_t bitRate, uint8_t byteSize,
                           const char* parity, const char* stopBits) {
    if (IsFolder(name)) {
        return NotAPort(NodeKind::Directory, ERROR_DIRECTORY);
    }
    const HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return Failed(FailureForError(error), static_cast<int>(error));
    }
    handle_ = reinterpret_cast<intptr_t>(port);
    // A file opened by mistake is closed before anything is written into it.
    const DWORD type = GetFileType(port);
    if (type != FILE_TYPE_CHAR) {
        return NotAPort(KindOfFileType(type), ERROR_INVALID_HANDLE);
    }

    (void)SetupComm(port, LINK_QUEUE_BYTES, LINK_QUEUE_BYTES);

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = READ_INTERVAL_TIMEOUT;
    timeouts.ReadTotalTimeoutMultiplier = READ_TOTAL_TIMEOUT_MULTIPLIER;
    timeouts.ReadTotalTimeoutConstant = LINK_READ_TIMEOUT_MS;
    timeouts.WriteTotalTimeoutMultiplier = LINK_WRITE_MS_PER_BYTE;
    timeouts.WriteTotalTimeoutConstant = LINK_WRITE_TIMEOUT_MS;
    (void)SetCommTimeouts(port, &timeouts);

    DCB state{};
    state.DCBlength = sizeof(state);
    if (!GetCommState(port, &state)) {
        const DWORD error = GetLastError();
        return Failed(OpenFailure::LineStateUnreadable, static_cast<int>(error));
    }
    state.fBinary = TRUE;
    state.fParity = TRUE;
    SetParity(state, parity);
    SetStopBits(state, stopBits);
    state.ByteSize = byteSize;
    state.BaudRate = bitRate;
    state.fOutxCtsFlow = FALSE;
    state.fOutX = FALSE;
    state.fInX = FALSE;
    state.fRtsControl = RTS_CONTROL_ENABLE;
    state.XonLim = XON_LIMIT;
    state.XoffLim = XOFF_LIMIT;
    state.XonChar = XON_CHAR;
    state.XoffChar = XOFF_CHAR;
    if (!SetCommState(port, &state)) {
        return Failed(OpenFailure::LineSettings, static_cast<int>(GetLastError()));
    }

    Purge();
    return true;
}

void SerialLink::Close() {
    if (!IsOpen()) {
        return;
    }
    const HANDLE port = PortHandle(handle_);
    handle_ = LINK_CLOSED;
    (void)CloseHandle(port);
}

long SerialLink::ReadSome(uint8_t* buffer, uint32_t count) {
    if (!IsOpen()) {
        return -1;
    }
    const HANDLE port = PortHandle(handle_);
    const uint32_t waitEnd = TickMs() + LINK_READ_WAIT_END_MS;
    DWORD got = 0;
    if (!ReadFile(port, buffer, std::min(count, LARGEST_READ), &got, nullptr)) {
        return -1;
    }
    if (got >= count) {
        return static_cast<long>(got);
    }
    // The driver's time-out may end on a coarse timer step, at or just before
    // 400 ms; a Read whose deadline began with this wait would then start a
    // second one. Wait out the rest, as the POSIX read does, and take what
    // arrived meanwhile, so both platforms judge a late reply alike.
    const uint32_t now = TickMs();
    if (TickPassed(waitEnd, now)) {
        SleepMs(waitEnd - now);
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(port, &errors, &status) && status.cbInQue > 0) {
        DWORD more = 0;
        const DWORD want = std::min<DWORD>(status.cbInQue, count - got);
        if (ReadFile(port, buffer + got, want, &more, nullptr)) {
            got += more;
        }
    }
    return static_cast<long>(got);
}

uint32_t SerialLink::Write(const uint8_t* buffer, uint32_t length) {
    if (!IsOpen()) {
        return WRITE_FAILED;
    }
    const HANDLE port = PortHandle(handle_);
    DropStaleOutput(port);
    // A write that the time-outs cut short still counts as sent; the missing
    // reply reports it.
    DWORD written = 0;
    if (!WriteFile(port, buffer, length, &written, nullptr)) {
        return WRITE_FAILED;
    }
    (void)FlushFileBuffers(port);
    return WRITE_OK;
}

void SerialLink::Purge() {
    if (!IsOpen()) {
        return;
    }
    const HANDLE port = PortHandle(handle_);
    // Clears a pending line error on its way.
    DropStaleOutput(port);
    (void)PurgeComm(port, PURGE_RXCLEAR);
}

}  // namespace q8
