#pragma once
// The window's own strings and figures that the operations write: what the
// last refresh learnt, the status line and the port in use.
// Thread: the window thread (or the CLI's); a download worker writes the free
// bytes while its progress window is up, when nothing else reads them.

#include <cstdint>
#include <string>

namespace q8 {

// What the last refresh learnt about the cartridge.
struct CartridgeInfo {
    int32_t fileCount = 0;
    int32_t totalBytes = 0;
    int32_t freeBytes = 0;
    std::string totalText;  // "空间共计:" + FormatSize(total)
    std::string freeText;   // "空闲空间:" + FormatSize(free)
};

// The status line; while `error` is set the text is drawn in red.
struct StatusLine {
    std::string text;
    bool error = false;
};

// The window's own strings that the operations write (UTF-8).
struct CartridgeModel {
    CartridgeInfo info;
    StatusLine status;
    int portIndex = 0;  // 0 = COM1, 1 = COM2
};

}  // namespace q8
