#include "ConsoleText.h"

#include "link/Win32Text.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>

#include "ConsoleWrite.h"
#include "session/PortDiagnosis.h"

namespace q8cli {

namespace {

HANDLE HandleOf(FILE* stream) {
    return GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
        args.push_back(q8::WideToUtf8(wide[i]));
    }
    LocalFree(wide);
    return args;
}

std::string Utf8Environment(const char* name) {
    const wchar_t* value = _wgetenv(q8::Utf8ToWide(name).c_str());
    return value != nullptr ? q8::WideToUtf8(value) : std::string();
}

std::string WriteToStream(FILE* stream, const std::string& text) {
    const HANDLE handle = HandleOf(stream);
    if (!IsConsole(handle)) {
        return WriteBuffered(stream, text);
    }
    // Whatever the stream still buffers goes first, in order.
    std::fflush(stream);
    const std::wstring wide = q8::Utf8ToWide(text);
    DWORD written = 0;
    if (!WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
        return q8::SystemErrorText(static_cast<int>(GetLastError()));
    }
    return std::string();
}

bool StderrTakesEscapes() {
    const HANDLE handle = HandleOf(stderr);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void EraseLinesAbove(size_t lines) {
    const HANDLE handle = HandleOf(stderr);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    std::fflush(stderr);
    if (!GetConsoleScreenBufferInfo(handle, &info)) {
        return;
    }
    const SHORT up = static_cast<SHORT>(std::min<size_t>(lines, info.dwCursorPosition.Y));
    const COORD start{0, static_cast<SHORT>(info.dwCursorPosition.Y - up)};
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(up + 1);
    DWORD written = 0;
    FillConsoleOutputCharacterW(handle, L' ', cells, start, &written);
    FillConsoleOutputAttribute(handle, info.wAttributes, cells, start, &written);
    SetConsoleCursorPosition(handle, start);
}

size_t StderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(HandleOf(stderr), &info)) {
        return 0;
    }
    return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

}  // namespace q8cli
