// Windows: no groups; whether a port opens now is found by opening it at
// once and closing it again.

#include "link/Win32Text.h"

#include "session/PortDiagnosis.h"

namespace q8 {

std::string DeviceGroup(const std::string&) {
    return std::string();
}

std::string AccessText(const std::string& device) {
    const std::string path = DeviceSystemPath(device);
    const HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return "ok";
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
               ? "busy"
               : "cannot open (" + SystemErrorText(static_cast<int>(error)) + ")";
}

std::string SystemErrorText(int systemError) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(systemError), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return "error " + std::to_string(systemError);
    }
    std::wstring wide(text, length);
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) {
        wide.pop_back();
    }
    return WideToUtf8(wide);
}

}  // namespace q8
