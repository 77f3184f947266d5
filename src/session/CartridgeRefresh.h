#pragma once
// Finding out what is in the device: greet it, check the model, read the
// cartridge's space and its directory into the cartridge list.
// Thread: whichever runs the operation (the window's own worker, the CLI's
// main thread), never while a transfer worker runs.

#include <cstdint>
#include <string>

#include "protocol/DirEntry.h"
#include "session/Station.h"

namespace q8 {

// Results of RefreshCartridge. A card-info status of 0x80 or more is returned
// as itself (128 to 255).
inline constexpr int REFRESH_OK = 0;
inline constexpr int REFRESH_NO_DEVICE = 2;
inline constexpr int REFRESH_WRONG_MACHINE = 3;
inline constexpr int REFRESH_BAD_HELLO = 4;
inline constexpr int REFRESH_NO_CARD_INFO = 5;
inline constexpr int REFRESH_BAD_DIRECTORY = 6;

// Card-info headers whose data did not follow are read again at most this
// many times; a device that keeps doing it is treated as sending bad data.
inline constexpr int MAX_CARD_INFO_ROUNDS = 4;

// Reads hello, card info and directory. Writes the model's file count, space
// figures and texts and its status text (never the error flag), and the rows.
int RefreshCartridge(Station& station);

// RefreshCartridge, then the error flag from its result, then the window's
// texts. Returns the same result.
int Refresh(Station& station);

// One directory entry as a row: GBK name, FormatSize, "%d-%d-%d %d:%d".
CartridgeRow MakeCartridgeRow(const DirEntry& entry);
void AddCartridgeRow(CartridgeView& view, const DirEntry& entry);

}  // namespace q8
