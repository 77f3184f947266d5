#pragma once
// Changing the cartridge without moving a file: delete its last file, format
// it, erase the recorded voice. One frame, one 2-byte reply, the status line,
// and a refresh after a success.
// Thread: whichever runs the operation (the window's own worker, the CLI's
// main thread); never while a transfer runs.

#include <cstdint>

#include "session/MessageSink.h"
#include "session/Station.h"

namespace q8 {

enum class DeleteResult {
    Ok = 0,
    Refused = 1,  // status 0x81: the device restarted its download state
    NoReply = 2,  // missing, short or wrong reply
};

// How the three operations ended, for callers that want to know (the CLI).
enum class MaintenanceResult {
    Ok = 0,
    Failed = 1,
};

inline constexpr milliseconds DELETE_PAUSE{3000};  // before the refresh after a delete

// The delete exchange for entry `index`. Writes the status text unless Ok;
// touches neither the error flag nor the window.
DeleteResult DeleteEntry(Wire& wire, StatusLine& status, uint8_t index);

// The cartridge group's "删除": only the marked row, and only when it is the
// last one. Ok when the file was deleted and the refresh after it succeeded.
MaintenanceResult DeleteLastFile(Station& station, MessageSink& messages);
// The same with `mark` (-1: none) standing for the list's marked row.
MaintenanceResult DeleteLastFile(Station& station, MessageSink& messages, int mark);

// "格式化" and "擦除编辑语音". Ok when the error flag ends cleared.
MaintenanceResult FormatCartridge(Station& station);
MaintenanceResult EraseVoice(Station& station);

}  // namespace q8
