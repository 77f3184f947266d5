#pragma once
// What an operation on the device works with: the link and its frame
// buffers, the texts and counts the window shows, and the window's list of
// cartridge files. The window and the CLI each provide one.
//
// Thread: the window thread (or the CLI's main thread); a transfer worker
// uses the wire only while its progress window is up.

#include <cstdint>
#include <string>

#include "link/SerialLink.h"
#include "protocol/DirEntry.h"
#include "protocol/Frames.h"
#include "protocol/WireTrace.h"

namespace q8 {

// The link with the one pair of frame buffers.
struct Wire {
    SerialLink& link;
    CommandBuffer command;
    ReplyBuffer reply;
    // Every frame and reply is written here while it is set.
    WireTrace* trace = nullptr;

    explicit Wire(SerialLink& l) : link(l) {}

    // Writes the first `length` bytes of the command buffer. Callers never
    // look at the result: a frame that did not go out shows as a missing reply.
    void Send(uint32_t length) {
        if (trace != nullptr) {
            trace->Sent(command.data(), length);
        }
        link.Write(command.data(), length);
    }
    // Reads `count` bytes into the reply buffer from byte 0; the link's result.
    uint32_t Receive(uint32_t count, uint32_t timeoutMs) {
        uint32_t received = 0;
        const uint32_t result = link.Read(reply.data(), count, received, timeoutMs);
        if (trace != nullptr) {
            trace->Received(reply.data(), count, received, result, timeoutMs);
        }
        return result;
    }
};

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

// One row of the cartridge list, as shown.
struct CartridgeRow {
    std::string name;      // UTF-8
    std::string size;      // FormatSize
    std::string modified;  // "%d-%d-%d %d:%d"
};

// The window's side: the cartridge list and the copy of the model's texts
// into the controls.
class CartridgeView {
  public:
    virtual ~CartridgeView() = default;
    virtual void DeleteAllRows() = 0;
    virtual void AppendRow(const CartridgeRow& row) = 0;
    virtual int RowCount() const = 0;
    // Index of the marked row, -1 when none is; the list marks one row at most.
    virtual int SelectionMark() const = 0;
    // Copy the status text and the two space texts (and the status colour)
    // into the controls at once.
    virtual void UpdateTexts(const CartridgeModel& model) = 0;
};

struct Station {
    Wire& wire;
    CartridgeModel& model;
    CartridgeView& view;
};

}  // namespace q8
