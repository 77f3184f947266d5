#include "session/CartridgeRefresh.h"

#include <cstdio>

#include "host/GbkText.h"
#include "protocol/ByteOrder.h"
#include "session/FormatSize.h"
#include "session/Texts.h"

namespace q8 {

namespace {

std::string NoDeviceText(const std::string& portName) {
    return std::string(TXT_NO_DEVICE_PREFIX) + portName + TXT_NO_DEVICE_SUFFIX;
}

int Fail(CartridgeModel& model, std::string text, int result) {
    model.status.text = std::move(text);
    return result;
}

// Greets the device and checks its model: REFRESH_OK or a failure result.
int Greet(Station& s) {
    Wire& wire = s.wire;
    wire.SendShort(CMD_HELLO, HELLO_ARGUMENT);
    switch (wire.ReceiveReply(CMD_HELLO, HELLO_DEADLINE)) {
        case ReplyCheck::Missing:
            return Fail(s.model, NoDeviceText(s.model.portName), REFRESH_NO_DEVICE);
        case ReplyCheck::WrongCode:
            return Fail(s.model, TXT_DATA_ERROR, REFRESH_BAD_HELLO);
        case ReplyCheck::Ok:
            break;
    }
    if (wire.reply[1] != SUPPORTED_MACHINE_TYPE) {
        return Fail(s.model, TXT_WRONG_MACHINE, REFRESH_WRONG_MACHINE);
    }
    return REFRESH_OK;
}

// Reads the cartridge's total and free space. When the header came but its
// data did not, whatever arrives next is judged as a new header; a device
// that keeps doing that is given up on after a few rounds.
int ReadCardInfo(Station& s) {
    Wire& wire = s.wire;
    CartridgeInfo& info = s.model.info;
    wire.SendShort(CMD_CARD_INFO, 0);
    for (int round = 1;; ++round) {
        switch (wire.ReceiveReply(CMD_CARD_INFO, CARD_INFO_DEADLINE)) {
            case ReplyCheck::Missing:
                return Fail(s.model, TXT_NOT_LINKED, REFRESH_NO_CARD_INFO);
            case ReplyCheck::WrongCode:
                return Fail(s.model, TXT_DATA_ERROR, REFRESH_NO_CARD_INFO);
            case ReplyCheck::Ok:
                break;
        }
        const uint8_t status = wire.reply[1];
        if (status >= STATUS_CARD_ERROR_MIN) {
            return Fail(
                s.model,
                status == STATUS_NOT_RECOGNISED ? TXT_CARD_NOT_RECOGNISED : TXT_CARD_NOT_FORMATTED,
                status);
        }
        if (wire.Receive(CARD_INFO_DATA_LENGTH, CARD_INFO_DEADLINE) == ReadResult::Ok) {
            info.totalBytes = GetLe32(&wire.reply[0]);
            info.freeBytes = GetLe32(&wire.reply[4]);
            info.totalText = std::string(TXT_TOTAL_SPACE) + FormatSize(info.totalBytes);
            info.freeText = std::string(TXT_FREE_SPACE) + FormatSize(info.freeBytes);
            return REFRESH_OK;
        }
        if (round >= MAX_CARD_INFO_ROUNDS) {
            return Fail(s.model, TXT_DATA_ERROR, REFRESH_NO_CARD_INFO);
        }
    }
}

int ReadDirectory(Station& s) {
    Wire& wire = s.wire;
    for (uint32_t index = 0; index < MAX_DIR_ENTRIES; ++index) {
        wire.SendShort(CMD_DIR_ENTRY, static_cast<uint8_t>(index));
        if (wire.Receive(DIR_ENTRY_SIZE, DIR_ENTRY_DEADLINE) != ReadResult::Ok) {
            return Fail(s.model, TXT_DATA_ERROR, REFRESH_BAD_DIRECTORY);
        }
        const DirEntry entry = DirEntry::FromBytes(wire.reply.data());
        if (entry.IsEndMarker()) {
            s.model.status.text = index > 0 ? "" : TXT_NO_FILE_DATA;
            return REFRESH_OK;
        }
        AddCartridgeRow(s.view, entry);
        ++s.model.info.fileCount;
    }
    // A full directory without an end marker leaves the status text alone.
    return REFRESH_OK;
}

}  // namespace

CartridgeRow MakeCartridgeRow(const DirEntry& entry) {
    const DirTime t = entry.Time();
    char date[64];
    std::snprintf(date, sizeof date, "%d-%d-%d %d:%d", t.year, t.month, t.day, t.hour, t.minute);
    return CartridgeRow{GbkToUtf8(entry.NameBytes()), FormatSize(entry.Size()), date};
}

void AddCartridgeRow(CartridgeView& view, const DirEntry& entry) {
    view.AppendRow(MakeCartridgeRow(entry));
}

int RefreshCartridge(Station& s) {
    s.model.info.fileCount = 0;
    s.model.info.totalText.clear();
    s.model.info.freeText.clear();
    s.view.DeleteAllRows();
    s.wire.Purge();

    int result = Greet(s);
    if (result == REFRESH_OK) {
        result = ReadCardInfo(s);
    }
    if (result == REFRESH_OK) {
        result = ReadDirectory(s);
    }
    return result;
}

int Refresh(Station& s) {
    const int result = RefreshCartridge(s);
    s.model.status.error = result != REFRESH_OK;
    s.view.UpdateTexts(s.model);
    return result;
}

}  // namespace q8
