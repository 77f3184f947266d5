#pragma once
// The window's own fixed texts (UTF-8). They are part of the tool's
// interface: keep them byte for byte.

namespace q8ui {

// Three blanks after the first word.
inline constexpr const char* TXT_MAIN_CAPTION = "Halvern   J7下载工具--Portwise V1.1";
inline constexpr const char* TXT_HINT =
    "提示：1MBytes(兆字节)=8Mbits(兆位)； 1KBbytes(千字节)=8Kbits(千位)； 1Byte(字节)=8bits(位)。";
inline constexpr const char* TXT_ABOUT_ITEM = "关于 Linkwise(&A)...";
inline constexpr const char* TXT_PORT_SETTINGS_ITEM = "端口设置...";
inline constexpr const char* TXT_CARTRIDGE_LIST_HINT = "卡盒中的文件列表只能单选！";
inline constexpr const char* TXT_DOWNLOAD_LIST_HINT = "下载文件列表可以多选！";

}  // namespace q8ui
