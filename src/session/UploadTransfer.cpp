#include "session/UploadTransfer.h"

#include <algorithm>
#include <string>

#include "protocol/ByteOrder.h"
#include "session/ProgressTick.h"
#include "session/Texts.h"

namespace q8 {

namespace {

// Reads one cartridge file into a sink. The steps run in a straight line
// with the keep-running check before each; a cancelled transfer stops there
// without a message, no more traffic, and the outcome running.
class FileReceiver {
  public:
    FileReceiver(TransferContext& transfer, uint8_t index, ByteSink& file)
        : t_(transfer), wire_(transfer.station.wire), index_(index), file_(file) {}

    void Run();

  private:
    bool ReadSize();
    bool ReceiveBlocks();
    bool ReceiveBlock();
    bool Fail();
    void AskForNextBlock() { wire_.SendShort(CMD_UPLOAD_NEXT, 0); }

    TransferContext& t_;
    Wire& wire_;
    const uint8_t index_;
    ByteSink& file_;
};

bool FileReceiver::Fail() {
    t_.ui.Show(TXT_TRANSFER_ERROR);
    t_.state.SetOutcome(TransferOutcome::Failed);
    return false;
}

// The begin reply and the size it announces; then the first block is asked for.
bool FileReceiver::ReadSize() {
    TransferState& state = t_.state;
    if (wire_.ReceiveReply(CMD_UPLOAD_BEGIN, UPLOAD_DEADLINE) != ReplyCheck::Ok) {
        return Fail();
    }
    if (wire_.reply[1] != STATUS_OK) {
        // Refused: the outcome stays running, so the window is ended here,
        // once the message has been read.
        t_.ui.Show(wire_.reply[1] == STATUS_CARD_UNKNOWN ? TXT_CARTRIDGE_UNKNOWN
                                                         : TXT_NO_SUCH_FILE);
        t_.ui.EndProgress(ProgressResult::Failed);
        return false;
    }
    if (wire_.Receive(UPLOAD_SIZE_LENGTH, UPLOAD_DEADLINE) != ReadResult::Ok) {
        return Fail();
    }
    state.SetTotal(GetLe32(wire_.reply.data()));
    AskForNextBlock();
    state.SetStartTick(wire_.clock.TickMs());
    return true;
}

// One block and the request for the next.
bool FileReceiver::ReceiveBlock() {
    TransferState& state = t_.state;
    if (wire_.Receive(BLOCK_SIZE, UPLOAD_DEADLINE) != ReadResult::Ok) {
        return Fail();
    }
    // Never past the announced size, however many blocks the device sends.
    const uint32_t done = state.Done();
    const uint32_t total = state.Total();
    const uint32_t count = done < total ? std::min(BLOCK_SIZE, total - done) : 0;
    if (count > 0 && !file_.Write(wire_.reply.data(), count)) {
        return Fail();
    }
    state.AddDone(BLOCK_SIZE);
    AskForNextBlock();
    return true;
}

// Blocks until the device says the file is complete; true once it is
// committed.
bool FileReceiver::ReceiveBlocks() {
    TransferState& state = t_.state;
    for (;;) {
        if (!state.KeepRunning()) {
            return false;
        }
        if (wire_.ReceiveReply(CMD_UPLOAD_NEXT, UPLOAD_DEADLINE) != ReplyCheck::Ok) {
            return Fail();
        }
        if (wire_.reply[1] != STATUS_OK) {
            if (!ReceiveBlock()) {
                return false;
            }
            continue;
        }
        // An end before the announced size is a broken transfer, not a
        // shorter file: the old target must not be replaced by it. Only a
        // complete file takes the target's place.
        if (state.Done() < state.Total() || !file_.Commit()) {
            return Fail();
        }
        return true;
    }
}

void FileReceiver::Run() {
    wire_.Purge();
    wire_.SendShort(CMD_UPLOAD_BEGIN, index_);
    t_.state.SetDone(0);
    if (!t_.state.KeepRunning() || !ReadSize() || !ReceiveBlocks()) {
        return;
    }
    t_.state.SetOutcome(TransferOutcome::Done);
}

}  // namespace

void UploadWorker(TransferContext& t, uint8_t index, ByteSink& file) {
    FileReceiver(t, index, file).Run();
}

UploadResult UploadFile(TransferContext& t) {
    Station& station = t.station;
    const int mark = station.view.SelectionMark();
    if (mark < 0) {
        station.model.status.text = TXT_CHOOSE_FILE;
        station.view.UpdateTexts(station.model);
        return UploadResult::NotStarted;
    }
    const uint8_t index = static_cast<uint8_t>(mark);
    std::string path;
    if (!t.ui.ChooseUploadTarget(path)) {
        return UploadResult::NotStarted;
    }
    ReplacingFile file;
    if (!file.Create(path)) {
        station.model.status.text = TXT_CANNOT_SAVE;
        station.view.UpdateTexts(station.model);
        return UploadResult::NotStarted;
    }
    const ProgressResult result =
        RunTransfer(t, TXT_UPLOADING, path, [&t, index, &file] { UploadWorker(t, index, file); });
    // The worker has ended; a file it did not commit is removed here.
    file.Discard();
    return result == ProgressResult::Done ? UploadResult::Done : UploadResult::Stopped;
}

}  // namespace q8
