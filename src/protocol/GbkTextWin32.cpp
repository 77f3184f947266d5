// Code page 936 conversion through the Windows code page API.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "protocol/GbkText.h"

namespace q8 {

namespace {

constexpr UINT CODE_PAGE_936 = 936;

std::wstring ToWide(UINT codePage, const std::string& in) {
    if (in.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(in.size());
    const int n = MultiByteToWideChar(codePage, 0, in.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        MultiByteToWideChar(codePage, 0, in.data(), size, wide.data(), n);
    }
    return wide;
}

std::string FromWide(UINT codePage, const std::wstring& wide, const char* defaultChar) {
    if (wide.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(wide.size());
    const int n =
        WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, defaultChar, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(codePage, 0, wide.data(), size, out.data(), n, defaultChar, nullptr);
    }
    return out;
}

}  // namespace

// Invalid code page 936 bytes come back from the system as U+FFFD.
std::string GbkToUtf8(const std::string& gbk) {
    return FromWide(CP_UTF8, ToWide(CODE_PAGE_936, gbk), nullptr);
}

std::string Utf8ToGbk(const std::string& utf8) {
    return FromWide(CODE_PAGE_936, ToWide(CP_UTF8, utf8), "?");
}

}  // namespace q8
