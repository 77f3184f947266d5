#pragma once
// The link's user-visible texts (UTF-8).

#include <string>

namespace q8 {

inline constexpr const char* TXT_OPEN_COM1_ERROR = "打开COM1错误，请检查COM1出错或者被占用！";
inline constexpr const char* TXT_OPEN_COM2_ERROR = "打开COM2错误，请检查COM2出错或者被占用！";
inline constexpr const char* TXT_GET_COMM_STATE_FAILED = "GetCommState Failed";

// The open-failure text for a device named directly, built like the COM texts.
inline std::string OpenErrorText(const std::string& device) {
    return "打开" + device + "错误，请检查" + device + "出错或者被占用！";
}

}  // namespace q8
