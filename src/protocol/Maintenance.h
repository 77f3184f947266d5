#pragma once
// Changing the cartridge without moving a file: delete its last file, format
// it, erase the recorded voice. One frame, one 2-byte reply, the status line,
// and a refresh after a success.
// Thread: the window thread (or the CLI's); never while a transfer runs.

#include <cstdint>

#include "link/MessageSink.h"
#include "protocol/Station.h"

namespace q8 {

// Results of DeleteEntry.
inline constexpr int DELETE_OK = 0;
inline constexpr int DELETE_REFUSED = 1;   // status 0x81: the device restarted its download state
inline constexpr int DELETE_NO_REPLY = 2;  // missing, short or wrong reply

// Results of the three operations, for callers that want one (the CLI).
inline constexpr int MAINTENANCE_OK = 0;
inline constexpr int MAINTENANCE_FAILED = 1;

inline constexpr uint32_t DELETE_PAUSE_MS = 3000;  // before the refresh after a delete

// The delete exchange for entry `index`. Writes the status text on results 1
// and 2; touches neither the error flag nor the window.
int DeleteEntry(Wire& wire, StatusLine& status, uint8_t index);

// The cartridge group's "删除": only the marked row, and only when it is the
// last one. MAINTENANCE_OK when the file was deleted and the refresh after it
// succeeded.
int DeleteLastFile(Station& station, MessageSink& messages);

// "格式化" and "擦除编辑语音". MAINTENANCE_OK when the error flag ends cleared.
int FormatCartridge(Station& station);
int EraseVoice(Station& station);

}  // namespace q8
