#pragma once
// The fixed texts the core shows in the status line and in message boxes
// (UTF-8). They are part of the tool's interface: keep them byte for byte.

namespace q8 {

// Cartridge refresh.
inline constexpr const char* TXT_NO_DEVICE_ON_COM = "没有在COM%d上找到设备！";
inline constexpr const char* TXT_WRONG_MACHINE = "机器不匹配！请用Q8！";
inline constexpr const char* TXT_DATA_ERROR = "数据错误！请重试！";
inline constexpr const char* TXT_NOT_LINKED = "机器没有连线或没有进入下载状态！";
inline constexpr const char* TXT_CARD_NOT_RECOGNISED = "卡盒不能识别";
inline constexpr const char* TXT_CARD_NOT_FORMATTED = "卡盒没有格式化";
inline constexpr const char* TXT_NO_FILE_DATA = "没有文件数据！";
inline constexpr const char* TXT_TOTAL_SPACE = "空间共计:";
inline constexpr const char* TXT_FREE_SPACE = "空闲空间:";

// Start-up and port buttons.
inline constexpr const char* TXT_CANNOT_OPEN_PORTS = "不能打开COM1或COM2！";
inline constexpr const char* TXT_OPEN_COM1_OK = "打开COM1成功！";
inline constexpr const char* TXT_OPEN_COM1_FAILED = "打开COM1失败！";
inline constexpr const char* TXT_OPEN_COM2_OK = "打开COM2成功！";
inline constexpr const char* TXT_OPEN_COM2_FAILED = "打开COM2失败！";

}  // namespace q8
