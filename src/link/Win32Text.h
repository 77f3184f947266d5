#pragma once
// Windows only: the system headers as every Win32 backend includes them, and
// UTF-8 (what the core speaks) to and from UTF-16 (what the wide Win32 calls
// take). Thread: any.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace q8 {

std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

}  // namespace q8
