#pragma once
// The words of a many-device run: each device's state on its line and in
// the log, the summary's heads and its count line.

namespace q8cli {

inline constexpr const char* TXT_WAITING = "等待";
inline constexpr const char* TXT_LISTING = "读取";
inline constexpr const char* TXT_DELETING = "删除";
inline constexpr const char* TXT_ERASING_VOICE = "擦除编辑语音";
inline constexpr const char* TXT_FORMATTING = "格式化";
inline constexpr const char* TXT_ERASING_ROOM = "擦除";
inline constexpr const char* TXT_SENDING = "发送";
inline constexpr const char* TXT_SENT = "已发送";
inline constexpr const char* TXT_VERIFYING = "校验";
inline constexpr const char* TXT_DONE = "完成";
inline constexpr const char* TXT_FAILED = "失败";
inline constexpr const char* TXT_SKIPPED = "跳过";
inline constexpr const char* TXT_CANCELLED = "已取消";
inline constexpr const char* TXT_UNPLUG = "可以拔下";
inline constexpr const char* TXT_REASON_SEPARATOR = "：";
inline constexpr const char* TXT_LIST_SEPARATOR = "，";

inline constexpr const char* TXT_HEAD_PORT = "端口";
inline constexpr const char* TXT_HEAD_RESULT = "结果";
inline constexpr const char* TXT_HEAD_SENT = "已发送";
inline constexpr const char* TXT_HEAD_TIME = "用时";
inline constexpr const char* TXT_SECONDS = "%.1f 秒";

// "8 个设备：7 个完成，1 个失败", then "，2 个端口跳过" when any were.
inline constexpr const char* TXT_COUNT = "%d 个设备：%d 个完成，%d 个失败";
inline constexpr const char* TXT_COUNT_SKIPPED = "，%d 个端口跳过";

inline constexpr const char* TXT_NO_PORTS = "没有找到端口。";
inline constexpr const char* TXT_WATCHING = "等待设备接入……（Ctrl-C 结束）";

}  // namespace q8cli
