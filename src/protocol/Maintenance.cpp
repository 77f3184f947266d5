#include "protocol/Maintenance.h"

#include "link/Tick.h"
#include "protocol/CartridgeRefresh.h"
#include "protocol/Texts.h"

namespace q8 {

namespace {

// Writes the frame already built in the command buffer and reads the 2-byte
// reply. The purge comes before the write and never after it, so a reply
// that arrives during the pause is still there for the read. True when both
// bytes arrived before the deadline.
bool Exchange(Wire& wire, uint32_t length, uint32_t pauseMs, uint32_t deadlineMs) {
    wire.Send(length);
    if (pauseMs > 0) {
        SleepMs(pauseMs);
    }
    return wire.Receive(REPLY_HEADER_LENGTH, deadlineMs) == READ_OK;
}

// The last step of format and erase: their text replaces whatever a refresh
// left, and the flag tells whether everything went well.
int Finish(Station& s, const char* text, bool success) {
    s.model.status.text = text;
    s.model.status.error = !success;
    s.view.UpdateTexts(s.model);
    return success ? MAINTENANCE_OK : MAINTENANCE_FAILED;
}

}  // namespace

int DeleteEntry(Wire& wire, StatusLine& status, uint8_t index) {
    wire.link.Purge();
    wire.command[0] = CMD_DELETE;
    wire.command[1] = index;
    if (!Exchange(wire, SHORT_FRAME_LENGTH, 0, DELETE_DEADLINE_MS)) {
        status.text = TXT_NOT_LINKED;
        return DELETE_NO_REPLY;
    }
    if (wire.reply[0] != RPL_DELETE) {
        status.text = TXT_DATA_ERROR;
        return DELETE_NO_REPLY;
    }
    // Any status but 0x81 means the file is gone, zero or not.
    if (wire.reply[1] == STATUS_NOT_RECOGNISED) {
        status.text = TXT_DOWNLOAD_STATE_AGAIN;
        return DELETE_REFUSED;
    }
    return DELETE_OK;
}

int DeleteLastFile(Station& s, MessageSink& messages) {
    const int rowCount = s.view.RowCount();
    const int mark = s.view.SelectionMark();
    if (mark < 0) {
        s.model.status.text = TXT_CHOOSE_FILE;
        s.view.UpdateTexts(s.model);
        return MAINTENANCE_FAILED;
    }
    s.model.status.text.clear();
    // The cartridge gives up its files from the end only.
    if (mark != rowCount - 1) {
        s.view.UpdateTexts(s.model);
        messages.Show(TXT_DELETE_FROM_LAST);
        return MAINTENANCE_FAILED;
    }
    if (DeleteEntry(s.wire, s.model.status, static_cast<uint8_t>(mark)) != DELETE_OK) {
        s.model.status.error = true;
        s.view.UpdateTexts(s.model);
        return MAINTENANCE_FAILED;
    }
    // Give the device time to rewrite its directory before it is asked again.
    SleepMs(DELETE_PAUSE_MS);
    return Refresh(s) == REFRESH_OK ? MAINTENANCE_OK : MAINTENANCE_FAILED;
}

int FormatCartridge(Station& s) {
    Wire& wire = s.wire;
    wire.link.Purge();
    wire.command[0] = CMD_FORMAT;
    wire.command[1] = 0;
    wire.command[2] = 0;
    wire.command[3] = 0;
    // Formatting takes the device a while; its reply is not looked for sooner.
    if (!Exchange(wire, FORMAT_FRAME_LENGTH, FORMAT_PAUSE_MS, FORMAT_DEADLINE_MS) ||
        wire.reply[0] != RPL_FORMAT) {
        return Finish(s, TXT_LINE_DOWN, false);
    }
    switch (wire.reply[1]) {
        case STATUS_OK:
            return Finish(s, TXT_FORMAT_DONE, RefreshCartridge(s) == REFRESH_OK);
        case STATUS_NOT_RECOGNISED:
            return Finish(s, TXT_NO_INITIAL_FORMAT, false);
        default:
            return Finish(s, TXT_FORMAT_ERROR, false);
    }
}

int EraseVoice(Station& s) {
    Wire& wire = s.wire;
    wire.link.Purge();
    wire.command[0] = CMD_ERASE_VOICE;
    wire.command[1] = 0;
    if (!Exchange(wire, SHORT_FRAME_LENGTH, 0, ERASE_VOICE_DEADLINE_MS) ||
        wire.reply[0] != RPL_ERASE_VOICE) {
        return Finish(s, TXT_LINE_DOWN, false);
    }
    if (wire.reply[1] != STATUS_OK) {
        return Finish(s, TXT_DOWNLOAD_STATE_AGAIN, false);
    }
    return Finish(s, TXT_ERASE_DONE, RefreshCartridge(s) == REFRESH_OK);
}

}  // namespace q8
