#include "protocol/UploadTransfer.h"

#include <algorithm>
#include <string>

#include "link/Tick.h"
#include "protocol/ByteOrder.h"
#include "protocol/ProgressTick.h"
#include "protocol/Texts.h"

namespace q8 {

namespace {

void AskForNextBlock(Wire& wire) {
    wire.command[0] = CMD_UPLOAD_NEXT;
    wire.command[1] = 0;
    wire.Send(SHORT_FRAME_LENGTH);
}

void Fail(TransferContext& t) {
    t.ui.Show(TXT_TRANSFER_ERROR);
    t.state.SetOutcome(OUTCOME_FAILED);
}

}  // namespace

void UploadWorker(TransferContext& t, uint8_t index, ByteSink& file) {
    Wire& wire = t.station.wire;
    TransferState& state = t.state;
    wire.link.Purge();
    wire.command[0] = CMD_UPLOAD_BEGIN;
    wire.command[1] = index;
    wire.Send(SHORT_FRAME_LENGTH);
    state.SetDone(0);

    bool blockPhase = false;
    for (;;) {
        if (!state.KeepRunning()) {
            return;  // cancelled: no message, no traffic, the outcome stays running
        }
        if (!blockPhase) {
            if (wire.Receive(REPLY_HEADER_LENGTH, UPLOAD_DEADLINE_MS) != READ_OK ||
                wire.reply[0] != RPL_UPLOAD_BEGIN) {
                return Fail(t);
            }
            if (wire.reply[1] != STATUS_OK) {
                // Refused: the outcome stays running, so the window is ended
                // here, once the message has been read.
                t.ui.Show(wire.reply[1] == STATUS_CARD_UNKNOWN ? TXT_CARTRIDGE_UNKNOWN
                                                               : TXT_NO_SUCH_FILE);
                t.ui.EndProgress(PROGRESS_FAILED);
                return;
            }
            if (wire.Receive(UPLOAD_SIZE_LENGTH, UPLOAD_DEADLINE_MS) != READ_OK) {
                return Fail(t);
            }
            state.SetTotal(GetLe32(wire.reply.data()));
            AskForNextBlock(wire);
            state.SetStartTick(TickMs());
            blockPhase = true;
            continue;
        }

        if (wire.Receive(REPLY_HEADER_LENGTH, UPLOAD_DEADLINE_MS) != READ_OK ||
            wire.reply[0] != RPL_UPLOAD_NEXT) {
            return Fail(t);
        }
        if (wire.reply[1] == STATUS_OK) {
            // An end before the announced size is a broken transfer, not a
            // shorter file: the old target must not be replaced by it.
            if (state.Done() < state.Total()) {
                return Fail(t);
            }
            // End of file: only now does the new file take the target's place.
            if (!file.Commit()) {
                return Fail(t);
            }
            state.SetOutcome(OUTCOME_DONE);
            return;
        }
        if (wire.Receive(BLOCK_SIZE, UPLOAD_DEADLINE_MS) != READ_OK) {
            return Fail(t);
        }
        // Never past the announced size, however many blocks the device sends.
        const uint32_t done = state.Done();
        const uint32_t total = state.Total();
        const uint32_t count = done < total ? std::min(BLOCK_SIZE, total - done) : 0;
        if (count > 0 && !file.Write(wire.reply.data(), count)) {
            return Fail(t);
        }
        state.AddDone(BLOCK_SIZE);
        AskForNextBlock(wire);
    }
}

int UploadFile(TransferContext& t) {
    Station& station = t.station;
    const int mark = station.view.SelectionMark();
    if (mark < 0) {
        station.model.status.text = TXT_CHOOSE_FILE;
        station.view.UpdateTexts(station.model);
        return UPLOAD_NOT_STARTED;
    }
    const uint8_t index = static_cast<uint8_t>(mark);
    std::string path;
    if (!t.ui.ChooseUploadTarget(path)) {
        return UPLOAD_NOT_STARTED;
    }
    ReplacingFile file;
    if (!file.Create(path)) {
        station.model.status.text = TXT_CANNOT_SAVE;
        station.view.UpdateTexts(station.model);
        return UPLOAD_NOT_STARTED;
    }
    const int result =
        RunTransfer(t, TXT_UPLOADING, path, [&t, index, &file] { UploadWorker(t, index, file); });
    // The worker has ended; a file it did not commit is removed here.
    file.Discard();
    return result == PROGRESS_DONE ? UPLOAD_DONE : UPLOAD_STOPPED;
}

}  // namespace q8
