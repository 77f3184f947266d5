// The Win32 half of the host files: sources opened sharing read access only,
// so no one writes them while they are sent, and MoveFileExW to put a finished
// upload in place.

#include "host/HostFile.h"
#include "host/TempPath.h"

#include "link/Win32Text.h"

#include <algorithm>
#include <string>
#include <utility>

namespace q8 {

namespace {

constexpr intptr_t CLOSED = -1;
// ReadFile and WriteFile take a DWORD count.
constexpr uint32_t LARGEST_CALL = 1u << 30;

HANDLE FileHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Local time with the daylight rule of that date, as localtime() gives it on
// POSIX; FileTimeToLocalFileTime would apply today's rule instead.
bool ToDirTime(const FILETIME& written, DirTime& out) {
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&written, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return false;
    }
    out.year = local.wYear;
    out.month = local.wMonth;
    out.day = local.wDay;
    out.hour = local.wHour;
    out.minute = local.wMinute;
    out.second = local.wSecond;
    return true;
}

}  // namespace

TempCreate CreateExclusive(const std::string& path, intptr_t& handle) {
    // Not FILE_ATTRIBUTE_HIDDEN: the attribute would move with the file.
    const HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        handle = reinterpret_cast<intptr_t>(file);
        return TempCreate::Created;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? TempCreate::TryAnotherName
                                                                       : TempCreate::Failed;
}

unsigned long CurrentProcessId() {
    return GetCurrentProcessId();
}

std::string AbsolutePath(const std::string& path) {
    const std::wstring wide = Utf8ToWide(path);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (path.empty() || needed == 0) {
        return path;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return path;
    }
    full.resize(length);
    return WideToUtf8(full);
}

bool SourceFile::Open(const std::string& path) {
    Close();
    const HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Folders do not open without backup semantics; devices and pipes do.
    LARGE_INTEGER size{};
    FILETIME written{};
    DirTime modified;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size) ||
        !GetFileTime(file, nullptr, nullptr, &written) || !ToDirTime(written, modified)) {
        CloseHandle(file);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    size_ = static_cast<uint64_t>(size.QuadPart);
    modified_ = modified;
    return true;
}

bool SourceFile::IsOpen() const {
    return handle_ != CLOSED;
}

int64_t SourceFile::ReadAt(uint64_t offset, uint8_t* buffer, uint32_t count) {
    if (handle_ == CLOSED) {
        return -1;
    }
    uint32_t done = 0;
    while (done < count) {
        const uint64_t at = offset + done;
        OVERLAPPED place{};
        place.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        place.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        const DWORD want = std::min(count - done, LARGEST_CALL);
        if (!ReadFile(FileHandle(handle_), buffer + done, want, &got, &place)) {
            if (GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return static_cast<int64_t>(done);
}

void SourceFile::Close() {
    if (handle_ != CLOSED) {
        CloseHandle(FileHandle(handle_));
        handle_ = CLOSED;
    }
}

bool ReplacingFile::Create(const std::string& targetPath) {
    Discard();
    const std::wstring target = Utf8ToWide(targetPath);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return false;
        }
        // Fails for read-only files and ones another program holds open without
        // sharing write access.
        const HANDLE probe = CreateFileW(target.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool isFile = GetFileType(probe) == FILE_TYPE_DISK;
        CloseHandle(probe);
        if (!isFile) {
            return false;
        }
    }
    TempFile temp = CreateTempBeside(targetPath);
    if (!temp.created) {
        return false;
    }
    Adopt(temp, targetPath);
    return true;
}

bool ReplacingFile::Write(const uint8_t* data, uint32_t count) {
    if (handle_ == CLOSED) {
        return false;
    }
    uint32_t done = 0;
    while (done < count) {
        DWORD put = 0;
        const DWORD want = std::min(count - done, LARGEST_CALL);
        if (!WriteFile(FileHandle(handle_), data + done, want, &put, nullptr) || put == 0) {
            return false;
        }
        done += put;
    }
    return true;
}

bool CloseFile(intptr_t handle) {
    return CloseHandle(FileHandle(handle)) != 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != 0;
}

void RemoveFile(const std::string& path) {
    DeleteFileW(Utf8ToWide(path).c_str());
}

}  // namespace q8
