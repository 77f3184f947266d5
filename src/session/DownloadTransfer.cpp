#include "session/DownloadTransfer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "host/GbkText.h"
#include "host/HostFile.h"
#include "protocol/ByteOrder.h"
#include "protocol/DirEntry.h"
#include "session/CartridgeRefresh.h"
#include "session/ProgressTick.h"
#include "session/Texts.h"

namespace q8 {

namespace {

constexpr size_t BLOCK_COUNT_OFFSET = 2;
constexpr size_t PAYLOAD_OFFSET = 2;

// How a step that may repeat ended.
enum class Flow {
    Again,    // the same step once more
    Onward,   // on to the next step
    Stopped,  // failed; the message is shown and the outcome set
};

// Sends one host file; owns the file for the worker's whole life. The steps
// run in a straight line with the keep-running check before each.
class FileSender {
  public:
    FileSender(TransferContext& transfer, const DownloadRow& row, SourceFile& file)
        : t_(transfer), wire_(transfer.station.wire), row_(row), file_(file) {}

    void Run();

  private:
    bool Going();
    bool Prepare();
    void SendBegin();
    bool AwaitErase();
    bool SendFirstBlock();
    Flow AnswerBlock();
    Flow AnswerEntry();
    bool Repeat(Flow (FileSender::*step)());
    bool SendBlock(uint32_t offset);
    void SendEntry();
    void Fail(const std::string& text);
    void Refuse(const std::string& text);

    TransferContext& t_;
    Wire& wire_;
    const DownloadRow& row_;
    SourceFile& file_;
    uint32_t size_ = 0;
};

// Cancelled: no message, no more traffic, the outcome stays running.
bool FileSender::Going() {
    if (t_.state.KeepRunning()) {
        return true;
    }
    file_.Close();
    return false;
}

void FileSender::Fail(const std::string& text) {
    file_.Close();
    t_.ui.Show(text);
    t_.state.SetOutcome(TransferOutcome::Failed);
}

void FileSender::Refuse(const std::string& text) {
    file_.Close();
    t_.ui.Show(text);
    t_.state.SetOutcome(TransferOutcome::Refused);
}

bool FileSender::Prepare() {
    const std::string path = JoinPath(row_.folder, row_.name);
    if (!file_.Open(path)) {
        Refuse(std::string(TXT_OPEN_FILE_PREFIX) + path + TXT_OPEN_FILE_SUFFIX);
        return false;
    }
    // Compared in 64 bits: a file of 4 GiB or more would otherwise pass the
    // space check with a wrapped footprint and go out with a truncated size.
    const uint64_t size = file_.Size();
    size_ = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
    t_.state.SetTotal(size_);
    const uint64_t footprint = CartridgeFootprint(size);
    uint32_t& freeBytes = t_.station.model.info.freeBytes;
    if (freeBytes < footprint) {
        Refuse(NotEnoughSpaceText(freeBytes, footprint));
        return false;
    }
    freeBytes -= static_cast<uint32_t>(footprint);
    wire_.Purge();
    return true;
}

// The device erases room for the file before it answers.
void FileSender::SendBegin() {
    wire_.command[0] = CMD_DOWNLOAD_BEGIN;
    wire_.command[1] = 0;
    PutLe32(wire_.command.data() + BLOCK_COUNT_OFFSET, BlockCount(size_));
    wire_.Send(DOWNLOAD_BEGIN_FRAME_LENGTH);
    wire_.Pause(DOWNLOAD_BEGIN_PAUSE);
}

bool FileSender::AwaitErase() {
    switch (wire_.ReceiveReply(CMD_DOWNLOAD_BEGIN, DOWNLOAD_BEGIN_DEADLINE)) {
        case ReplyCheck::Missing:
            Fail(TXT_DEVICE_GONE);
            return false;
        case ReplyCheck::WrongCode:
            Fail(TXT_DATA_ERROR);
            return false;
        case ReplyCheck::Ok:
            break;
    }
    if (wire_.reply[1] != STATUS_OK) {
        Fail(TXT_TRANSFER_ABORTED);
        return false;
    }
    t_.ui.ChangeCaption(TXT_DOWNLOADING);
    return true;
}

bool FileSender::SendFirstBlock() {
    t_.state.SetDone(0);
    t_.state.SetStartTick(wire_.clock.TickMs());
    return SendBlock(0);
}

// Reads the block at `offset` straight into the frame. Only the announced
// size is read, and the rest of a last block is zeros, never whatever an
// earlier frame left in the buffer. A file that comes up short of the size
// announced (cut while it was sent) is a read error, not zeros on the
// cartridge; bytes a growing file gained are not sent.
bool FileSender::SendBlock(uint32_t offset) {
    uint8_t* payload = wire_.command.data() + PAYLOAD_OFFSET;
    const uint32_t want = offset < size_ ? std::min(BLOCK_SIZE, size_ - offset) : 0;
    const int64_t got = file_.ReadAt(offset, payload, want);
    if (got != static_cast<int64_t>(want)) {
        Fail(TXT_BLOCK_ERROR);
        return false;
    }
    std::memset(payload + want, 0, BLOCK_SIZE - want);
    wire_.command[0] = CMD_DOWNLOAD_BLOCK;
    wire_.command[1] = DOWNLOAD_BLOCK_ARGUMENT;
    wire_.command[PAYLOAD_OFFSET + BLOCK_SIZE] = 0;
    wire_.command[PAYLOAD_OFFSET + BLOCK_SIZE + 1] = 0;
    wire_.Send(DOWNLOAD_BLOCK_FRAME_LENGTH);
    t_.state.AddDone(BLOCK_SIZE);
    return true;
}

// Each block's reply asks for the next block, the same one again, or (after
// the last) for the file's entry.
Flow FileSender::AnswerBlock() {
    TransferState& state = t_.state;
    if (wire_.ReceiveReply(CMD_DOWNLOAD_BLOCK, DOWNLOAD_BLOCK_DEADLINE) != ReplyCheck::Ok) {
        Fail(TXT_BLOCK_ERROR);
        return Flow::Stopped;
    }
    const uint8_t status = wire_.reply[1];
    if (status == STATUS_OK && state.Done() >= size_) {
        SendEntry();
        return Flow::Onward;
    }
    if (status == STATUS_RESEND) {
        state.SetDone(state.Done() - BLOCK_SIZE);
    } else if (status != STATUS_OK) {
        Fail(TXT_BLOCK_ERROR);
        return Flow::Stopped;
    }
    return SendBlock(state.Done()) ? Flow::Again : Flow::Stopped;
}

void FileSender::SendEntry() {
    const DirEntry entry = DirEntry::Make(Utf8ToGbk(row_.name), file_.Modified(), size_);
    wire_.command[0] = CMD_DOWNLOAD_ENTRY;
    wire_.command[1] = 0;
    std::memcpy(wire_.command.data() + PAYLOAD_OFFSET, entry.bytes.data(), DIR_ENTRY_SIZE);
    wire_.Send(DOWNLOAD_ENTRY_FRAME_LENGTH);
}

Flow FileSender::AnswerEntry() {
    switch (wire_.ReceiveReply(CMD_DOWNLOAD_ENTRY, DOWNLOAD_ENTRY_DEADLINE)) {
        case ReplyCheck::Missing:
            Fail(TXT_DEVICE_GONE);
            return Flow::Stopped;
        case ReplyCheck::WrongCode:
            Fail(TXT_DATA_ERROR);
            return Flow::Stopped;
        case ReplyCheck::Ok:
            break;
    }
    if (wire_.reply[1] == STATUS_OK) {
        return Flow::Onward;
    }
    if (wire_.reply[1] != STATUS_RESEND) {
        Fail(TXT_ENTRY_ERROR);
        return Flow::Stopped;
    }
    wire_.Send(DOWNLOAD_ENTRY_FRAME_LENGTH);  // the same 34 bytes again
    return Flow::Again;
}

// Runs `step` until it goes onward; false when it stopped or was cancelled.
bool FileSender::Repeat(Flow (FileSender::*step)()) {
    for (;;) {
        if (!Going()) {
            return false;
        }
        switch ((this->*step)()) {
            case Flow::Again:
                break;
            case Flow::Onward:
                return true;
            case Flow::Stopped:
                return false;
        }
    }
}

void FileSender::Run() {
    if (!Prepare() || !Going()) {
        return;
    }
    SendBegin();
    if (!Going() || !AwaitErase()) {
        return;
    }
    if (!Going() || !SendFirstBlock()) {
        return;
    }
    if (!Repeat(&FileSender::AnswerBlock) || !Repeat(&FileSender::AnswerEntry)) {
        return;
    }
    file_.Close();
    t_.state.SetOutcome(TransferOutcome::Done);
}

}  // namespace

std::string NotEnoughSpaceText(uint32_t freeBytes, uint64_t footprint) {
    return std::string(TXT_SPACE_PREFIX) + std::to_string(freeBytes) + TXT_BYTES_SUFFIX +
           TXT_FILE_SIZE_PREFIX + std::to_string(footprint) + TXT_BYTES_SUFFIX + TXT_SPACE_SUFFIX;
}

void DownloadWorker(TransferContext& transfer, const DownloadRow& row) {
    SourceFile file;
    DownloadWorker(transfer, row, file);
}

void DownloadWorker(TransferContext& transfer, const DownloadRow& row, SourceFile& file) {
    FileSender(transfer, row, file).Run();
}

void SendBatchEnd(Wire& wire) {
    wire.SendShort(CMD_BATCH_END, 0);
}

BatchResult DownloadBatch(TransferContext& transfer, const std::vector<DownloadRow>& rows) {
    Station& station = transfer.station;
    if (rows.empty()) {
        transfer.ui.Show(TXT_NO_DOWNLOAD_FILES);
        return BatchResult::Empty;
    }
    if (!Refresh(station).Ok()) {
        return BatchResult::RefreshFailed;
    }
    for (const DownloadRow& row : rows) {
        if (transfer.ui.StopRequested()) {
            return BatchResult::Stopped;
        }
        // The count the latest refresh left, so a batch cannot push the
        // cartridge past six files.
        if (station.model.info.fileCount >= MAX_CARTRIDGE_FILES) {
            transfer.ui.Show(TXT_SIX_FILES_LIMIT);
            return BatchResult::Full;
        }
        const ProgressResult result =
            RunTransfer(transfer, TXT_ERASING, JoinPath(row.folder, row.name),
                        [&transfer, &row] { DownloadWorker(transfer, row); });
        if (result != ProgressResult::Done || transfer.ui.StopRequested()) {
            return BatchResult::Stopped;
        }
        // A failed refresh leaves the file count at 0; going on would let the
        // next row past the six-file check.
        if (!Refresh(station).Ok()) {
            return BatchResult::RefreshFailed;
        }
    }
    if (transfer.ui.StopRequested()) {
        return BatchResult::Stopped;
    }
    SendBatchEnd(station.wire);
    return BatchResult::Done;
}

}  // namespace q8
