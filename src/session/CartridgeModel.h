#pragma once
// The window's own strings and figures that the operations write: what the
// last refresh learnt, the status line and the port in use.
// Thread: the thread that runs the operation (the window's exchange worker
// while the window waits for it, the CLI's main thread); a download worker
// writes the free bytes while its progress window is up, when nothing else
// reads them.

#include <cstdint>
#include <string>

namespace q8 {

// What the last refresh learnt about the cartridge.
struct CartridgeInfo {
    int32_t fileCount = 0;
    // The device sends both as 32-bit unsigned: cartridges reach 4 GiB.
    uint32_t totalBytes = 0;
    uint32_t freeBytes = 0;
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
    // The port as the user knows it, for the texts: "COM1", "COM2", or the
    // device the CLI was given by name. Set by whoever opens the port.
    std::string portName = "COM1";
};

}  // namespace q8
