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

// How RefreshCartridge ended.
enum class RefreshStatus {
    Ok = 0,
    NoDevice = 2,
    WrongMachine = 3,
    BadHello = 4,
    NoCardInfo = 5,
    BadDirectory = 6,
    CardStatus = 7  // the card-info status byte was 0x80 or more: see cardStatus
};

// A refused card's status byte travels beside the result, so a caller can
// tell "not recognised" from "not formatted" without reading the status text.
struct RefreshResult {
    RefreshStatus status = RefreshStatus::Ok;
    uint8_t cardStatus = 0;  // with CardStatus: the device's byte (0x80..0xFF)
    bool Ok() const { return status == RefreshStatus::Ok; }
};

// Card-info headers whose data did not follow are read again at most this
// many times; a device that keeps doing it is treated as sending bad data.
inline constexpr int MAX_CARD_INFO_ROUNDS = 4;

// Drops what the line holds, greets the device and checks its model; nothing
// more is sent. Writes the status text when it fails.
RefreshResult GreetDevice(Station& station);

// Reads hello, card info and directory. Writes the model's file count, space
// figures and texts and its status text (never the error flag), and the rows.
RefreshResult RefreshCartridge(Station& station);

// RefreshCartridge, then the error flag from its result, then the window's
// texts. Returns the same result.
RefreshResult Refresh(Station& station);

// One directory entry as a row: GBK name, FormatSize, "%d-%d-%d %d:%d".
CartridgeRow MakeCartridgeRow(const DirEntry& entry);
void AddCartridgeRow(CartridgeView& view, const DirEntry& entry);

}  // namespace q8
