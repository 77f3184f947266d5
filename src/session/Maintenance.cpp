#include "session/Maintenance.h"

#include "session/CartridgeRefresh.h"
#include "session/Texts.h"

namespace q8 {

namespace {

// The last step of format and erase: their text replaces whatever a refresh
// left, and the flag tells whether everything went well.
MaintenanceResult Finish(Station& s, const char* text, bool success) {
    s.model.status.text = text;
    s.model.status.error = !success;
    s.view.UpdateTexts(s.model);
    return success ? MaintenanceResult::Ok : MaintenanceResult::Failed;
}

}  // namespace

DeleteResult DeleteEntry(Wire& wire, StatusLine& status, uint8_t index) {
    wire.Purge();
    wire.SendShort(CMD_DELETE, index);
    switch (wire.ReceiveReply(CMD_DELETE, DELETE_DEADLINE)) {
        case ReplyCheck::Missing:
            status.text = TXT_NOT_LINKED;
            return DeleteResult::NoReply;
        case ReplyCheck::WrongCode:
            status.text = TXT_DATA_ERROR;
            return DeleteResult::NoReply;
        case ReplyCheck::Ok:
            break;
    }
    // Any status but 0x81 means the file is gone, zero or not.
    if (wire.reply[1] == STATUS_NOT_RECOGNISED) {
        status.text = TXT_DOWNLOAD_STATE_AGAIN;
        return DeleteResult::Refused;
    }
    return DeleteResult::Ok;
}

MaintenanceResult DeleteLastFile(Station& s, MessageSink& messages) {
    return DeleteLastFile(s, messages, s.view.SelectionMark());
}

MaintenanceResult DeleteLastFile(Station& s, MessageSink& messages, int mark) {
    const int rowCount = s.view.RowCount();
    if (mark < 0) {
        s.model.status.text = TXT_CHOOSE_FILE;
        s.view.UpdateTexts(s.model);
        return MaintenanceResult::Failed;
    }
    s.model.status.text.clear();
    // The cartridge gives up its files from the end only.
    if (mark != rowCount - 1) {
        s.view.UpdateTexts(s.model);
        messages.Show(TXT_DELETE_FROM_LAST);
        return MaintenanceResult::Failed;
    }
    if (DeleteEntry(s.wire, s.model.status, static_cast<uint8_t>(mark)) != DeleteResult::Ok) {
        s.model.status.error = true;
        s.view.UpdateTexts(s.model);
        return MaintenanceResult::Failed;
    }
    // Give the device time to rewrite its directory before it is asked again.
    s.wire.Pause(DELETE_PAUSE);
    return Refresh(s).Ok() ? MaintenanceResult::Ok : MaintenanceResult::Failed;
}

MaintenanceResult FormatCartridge(Station& s) {
    Wire& wire = s.wire;
    wire.Purge();
    wire.command[0] = CMD_FORMAT;
    wire.command[1] = 0;
    wire.command[2] = 0;
    wire.command[3] = 0;
    wire.Send(FORMAT_FRAME_LENGTH);
    // Formatting takes the device a while; its reply is not looked for
    // sooner. The purge came before the write and never after it, so a reply
    // that arrives during the pause is still there for the read.
    wire.Pause(FORMAT_PAUSE);
    if (wire.ReceiveReply(CMD_FORMAT, FORMAT_DEADLINE) != ReplyCheck::Ok) {
        return Finish(s, TXT_LINE_DOWN, false);
    }
    switch (wire.reply[1]) {
        case STATUS_OK:
            return Finish(s, TXT_FORMAT_DONE, RefreshCartridge(s).Ok());
        case STATUS_NOT_RECOGNISED:
            return Finish(s, TXT_NO_INITIAL_FORMAT, false);
        default:
            return Finish(s, TXT_FORMAT_ERROR, false);
    }
}

MaintenanceResult EraseVoice(Station& s) {
    Wire& wire = s.wire;
    wire.Purge();
    wire.SendShort(CMD_ERASE_VOICE, 0);
    if (wire.ReceiveReply(CMD_ERASE_VOICE, ERASE_VOICE_DEADLINE) != ReplyCheck::Ok) {
        return Finish(s, TXT_LINE_DOWN, false);
    }
    if (wire.reply[1] != STATUS_OK) {
        return Finish(s, TXT_DOWNLOAD_STATE_AGAIN, false);
    }
    return Finish(s, TXT_ERASE_DONE, RefreshCartridge(s).Ok());
}

}  // namespace q8
