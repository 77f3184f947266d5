#pragma once
// The fixed texts the core shows in the status line and in message boxes
// (UTF-8). They are part of the tool's interface: keep them byte for byte.

#include <string>

namespace q8 {

// Cartridge refresh.
// "没有在" + the port's name + "上找到设备！"
inline constexpr const char* TXT_NO_DEVICE_PREFIX = "没有在";
inline constexpr const char* TXT_NO_DEVICE_SUFFIX = "上找到设备！";
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
// A port that would not open; a port whose line state cannot be read shows
// TXT_GET_COMM_STATE_FAILED before it.
inline constexpr const char* TXT_OPEN_COM1_ERROR = "打开COM1错误，请检查COM1出错或者被占用！";
inline constexpr const char* TXT_OPEN_COM2_ERROR = "打开COM2错误，请检查COM2出错或者被占用！";
inline constexpr const char* TXT_GET_COMM_STATE_FAILED = "GetCommState Failed";

// The open-failure text for a device named directly, built like the COM texts.
inline std::string OpenErrorText(const std::string& device) {
    return "打开" + device + "错误，请检查" + device + "出错或者被占用！";
}

// Download.
inline constexpr const char* TXT_NO_DOWNLOAD_FILES = "没有打开下载文件!";
inline constexpr const char* TXT_SIX_FILES_LIMIT = "下载文件已经不能超过6个！";
inline constexpr const char* TXT_ERASING = "擦除剩余空间...";
inline constexpr const char* TXT_DOWNLOADING = "下载文件...";
inline constexpr const char* TXT_OPEN_FILE_PREFIX = "打开文件（";
inline constexpr const char* TXT_OPEN_FILE_SUFFIX = "）失败!";
inline constexpr const char* TXT_SPACE_PREFIX = "卡盒空间";
inline constexpr const char* TXT_FILE_SIZE_PREFIX = "；文件大小";
inline constexpr const char* TXT_SPACE_SUFFIX = "。空间不够，不能下载!";
inline constexpr const char* TXT_BYTES_SUFFIX = "*8bits";
inline constexpr const char* TXT_DEVICE_GONE = "机器断线或退出下载状态！";
inline constexpr const char* TXT_TRANSFER_ABORTED = "传输数据错误，传输中止！";
inline constexpr const char* TXT_BLOCK_ERROR = "在下载中传输数据出错！请重试";
inline constexpr const char* TXT_ENTRY_ERROR = "在下载中传输数据出错！";

// Upload.
inline constexpr const char* TXT_UPLOADING = "上传文件...";
inline constexpr const char* TXT_CANNOT_SAVE = "不能保存为此文件！";
inline constexpr const char* TXT_TRANSFER_ERROR = "传输数据出错！";
inline constexpr const char* TXT_CARTRIDGE_UNKNOWN = "此卡盒不能识别！";
inline constexpr const char* TXT_NO_SUCH_FILE = "卡盒没有此文件，请刷新！";

// Upload and delete.
inline constexpr const char* TXT_CHOOSE_FILE = "请在卡盒文件列表中选择文件！";

// Maintenance.
inline constexpr const char* TXT_DELETE_FROM_LAST = "删除卡盒中文件从最后开始！";
inline constexpr const char* TXT_DOWNLOAD_STATE_AGAIN = "机器重新进入下载状态！请刷新！";
inline constexpr const char* TXT_LINE_DOWN = "传输数据出错！是否掉线或机器没有进入下载状态！";
inline constexpr const char* TXT_FORMAT_DONE = "格式化完成！";
inline constexpr const char* TXT_NO_INITIAL_FORMAT = "此卡没有原始格式化或原始格式出错！不能格式化";
inline constexpr const char* TXT_FORMAT_ERROR = "格式化出错！";
inline constexpr const char* TXT_ERASE_DONE = "擦除完成！";

// Progress.
inline constexpr const char* TXT_REMAINING = "剩余时间：%d分%d秒";

}  // namespace q8
