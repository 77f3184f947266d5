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

RefreshResult Fail(CartridgeModel& model, std::string text, RefreshStatus status) {
    model.status.text = std::move(text);
    return RefreshResult{status};
}

// Greets the device and checks its model.
RefreshResult Greet(Station& s) {
    Wire& wire = s.wire;
    wire.SendShort(CMD_HELLO, HELLO_ARGUMENT);
    switch (wire.ReceiveReply(CMD_HELLO, HELLO_DEADLINE)) {
        case ReplyCheck::Missing:
            return Fail(s.model, NoDeviceText(s.model.portName), RefreshStatus::NoDevice);
        case ReplyCheck::WrongCode:
            return Fail(s.model, TXT_DATA_ERROR, RefreshStatus::BadHello);
        case ReplyCheck::Ok:
            break;
    }
    if (wire.reply[1] != SUPPORTED_MACHINE_TYPE) {
        return Fail(s.model, TXT_WRONG_MACHINE, RefreshStatus::WrongMachine);
    }
    return RefreshResult{};
}

// Reads the cartridge's total and free space. When the header came but its
// data did not, whatever arrives next is judged as a new header; a device
// that keeps doing that is given up on after a few rounds.
RefreshResult ReadCardInfo(Station& s) {
    Wire& wire = s.wire;
    CartridgeInfo& info = s.model.info;
    wire.SendShort(CMD_CARD_INFO, 0);
    for (int round = 1;; ++round) {
        switch (wire.ReceiveReply(CMD_CARD_INFO, CARD_INFO_DEADLINE)) {
            case ReplyCheck::Missing:
                return Fail(s.model, TXT_NOT_LINKED, RefreshStatus::NoCardInfo);
            case ReplyCheck::WrongCode:
                return Fail(s.model, TXT_DATA_ERROR, RefreshStatus::NoCardInfo);
            case ReplyCheck::Ok:
                break;
        }
        const uint8_t status = wire.reply[1];
        if (status >= STATUS_CARD_ERROR_MIN) {
            s.model.status.text =
                status == STATUS_NOT_RECOGNISED ? TXT_CARD_NOT_RECOGNISED : TXT_CARD_NOT_FORMATTED;
            return RefreshResult{RefreshStatus::CardStatus, status};
        }
        if (wire.Receive(CARD_INFO_DATA_LENGTH, CARD_INFO_DEADLINE) == ReadResult::Ok) {
            info.totalBytes = GetLe32(&wire.reply[0]);
            info.freeBytes = GetLe32(&wire.reply[4]);
            info.totalText = std::string(TXT_TOTAL_SPACE) + FormatSize(info.totalBytes);
            info.freeText = std::string(TXT_FREE_SPACE) + FormatSize(info.freeBytes);
            return RefreshResult{};
        }
        if (round >= MAX_CARD_INFO_ROUNDS) {
            return Fail(s.model, TXT_DATA_ERROR, RefreshStatus::NoCardInfo);
        }
    }
}

RefreshResult ReadDirectory(Station& s) {
    Wire& wire = s.wire;
    for (uint32_t index = 0; index < MAX_DIR_ENTRIES; ++index) {
        wire.SendShort(CMD_DIR_ENTRY, static_cast<uint8_t>(index));
        if (wire.Receive(DIR_ENTRY_SIZE, DIR_ENTRY_DEADLINE) != ReadResult::Ok) {
            return Fail(s.model, TXT_DATA_ERROR, RefreshStatus::BadDirectory);
        }
        const DirEntry entry = DirEntry::FromBytes(wire.reply.data());
        if (entry.IsEndMarker()) {
            s.model.status.text = index > 0 ? "" : TXT_NO_FILE_DATA;
            return RefreshResult{};
        }
        AddCartridgeRow(s.view, entry);
        ++s.model.info.fileCount;
    }
    // A full directory without an end marker leaves the status text alone.
    return RefreshResult{};
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

RefreshResult GreetDevice(Station& s) {
    s.wire.Purge();
    return Greet(s);
}

RefreshResult RefreshCartridge(Station& s) {
    s.model.info.fileCount = 0;
    s.model.info.totalText.clear();
    s.model.info.freeText.clear();
    s.view.DeleteAllRows();
    s.wire.Purge();

    RefreshResult result = Greet(s);
    if (result.Ok()) {
        result = ReadCardInfo(s);
    }
    if (result.Ok()) {
        result = ReadDirectory(s);
    }
    return result;
}

RefreshResult Refresh(Station& s) {
    const RefreshResult result = RefreshCartridge(s);
    s.model.status.error = !result.Ok();
    s.view.UpdateTexts(s.model);
    return result;
}

}  // namespace q8
