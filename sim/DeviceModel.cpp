#include "DeviceModel.h"

#include <algorithm>
#include <utility>

#include "protocol/ByteOrder.h"
#include "protocol/DirEntry.h"
#include "protocol/Frames.h"

namespace q8sim {

namespace {

// Offsets inside the host frames.
constexpr size_t ARGUMENT_OFFSET = 1;
constexpr size_t BLOCK_COUNT_OFFSET = 2;
constexpr size_t BLOCK_DATA_OFFSET = 2;
constexpr size_t ENTRY_OFFSET = 2;

Reply StatusReply(uint8_t replyCode, uint8_t status) {
    return Reply{{replyCode, status}};
}

void AppendLe32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    q8::PutLe32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

}  // namespace

DeviceModel::DeviceModel(SimConfig config) : config_(std::move(config)) {}

void DeviceModel::SetFiles(std::vector<SimFile> files) {
    config_.files = std::move(files);
    EndTransfers();
}

std::vector<std::vector<uint8_t>> DeviceModel::FramesFromHost(uint8_t command) const {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& frame : frames_) {
        if (frame[0] == command) {
            out.push_back(frame);
        }
    }
    return out;
}

std::vector<Exchange> DeviceModel::Feed(const uint8_t* data, size_t length) {
    pending_.insert(pending_.end(), data, data + length);
    std::vector<Exchange> out;
    size_t start = 0;
    while (start < pending_.size()) {
        const uint32_t frameLength = q8::FrameLength(pending_[start]);
        if (frameLength == 0) {
            Exchange dropped;
            dropped.frame = {pending_[start]};
            dropped.dropped = true;
            out.push_back(std::move(dropped));
            ++droppedBytes_;
            ++start;
            continue;
        }
        if (pending_.size() - start < frameLength) {
            break;
        }
        Exchange exchange;
        exchange.frame.assign(pending_.begin() + start, pending_.begin() + start + frameLength);
        start += frameLength;
        exchange.actions = Answer(exchange.frame);
        out.push_back(std::move(exchange));
    }
    pending_.erase(pending_.begin(), pending_.begin() + start);
    return out;
}

std::vector<Action> DeviceModel::Answer(const std::vector<uint8_t>& frame) {
    const uint8_t command = frame[0];
    const int occurrence = ++occurrences_[command];
    if (config_.keepHistory) {
        frames_.push_back(frame);
    }

    std::vector<Fault> hits;
    std::optional<uint8_t> forced;
    std::vector<uint8_t> corrupted;
    for (const Fault& fault : config_.faults) {
        if (fault.command != command ||
            (fault.occurrence != EVERY_OCCURRENCE && fault.occurrence != occurrence)) {
            continue;
        }
        hits.push_back(fault);
        if (fault.kind == FaultKind::Status) {
            forced = static_cast<uint8_t>(fault.value);
        }
        // A cartridge that stores a byte wrong and still says all is well.
        const size_t at = BLOCK_DATA_OFFSET + static_cast<size_t>(fault.value);
        if (fault.kind == FaultKind::Corrupt && fault.value >= 0 && at < frame.size()) {
            corrupted = corrupted.empty() ? frame : corrupted;
            corrupted[at] = static_cast<uint8_t>(~corrupted[at]);
        }
    }
    return ShapeReply(Respond(corrupted.empty() ? frame : corrupted, forced), hits);
}

Reply DeviceModel::Respond(const std::vector<uint8_t>& frame, std::optional<uint8_t> forced) {
    switch (frame[0]) {
        case q8::CMD_HELLO:
            return Hello(forced);
        case q8::CMD_CARD_INFO:
            return CardInfo(forced);
        case q8::CMD_DIR_ENTRY:
            return DirEntryAt(frame[ARGUMENT_OFFSET]);
        case q8::CMD_FORMAT:
            return Format(forced);
        case q8::CMD_DOWNLOAD_BEGIN:
            return DownloadBegin(frame, forced);
        case q8::CMD_DOWNLOAD_BLOCK:
            return DownloadBlock(frame, forced);
        case q8::CMD_DOWNLOAD_ENTRY:
            return DownloadEntry(frame, forced);
        case q8::CMD_DELETE:
            return Delete(frame[ARGUMENT_OFFSET], forced);
        case q8::CMD_UPLOAD_BEGIN:
            return UploadBegin(frame[ARGUMENT_OFFSET], forced);
        case q8::CMD_UPLOAD_NEXT:
            return UploadNext(forced);
        case q8::CMD_ERASE_VOICE:
            return EraseVoice(forced);
        default:  // batch end, and anything else with a length but no answer
            return {};
    }
}

Reply DeviceModel::Hello(std::optional<uint8_t> forced) const {
    return StatusReply(q8::RPL_HELLO, forced.value_or(config_.machineType));
}

Reply DeviceModel::CardInfo(std::optional<uint8_t> forced) const {
    const uint8_t status = forced.value_or(config_.cardStatus);
    Reply reply = StatusReply(q8::RPL_CARD_INFO, status);
    if (status < q8::STATUS_CARD_ERROR_MIN) {
        reply.dataOffset = reply.bytes.size();
        AppendLe32(reply.bytes, config_.totalBytes);
        AppendLe32(reply.bytes, config_.freeBytes);
    }
    return reply;
}

// The one reply without a header, so a status fault has nothing to change.
Reply DeviceModel::DirEntryAt(uint8_t index) const {
    if (index >= config_.files.size()) {
        return Reply{std::vector<uint8_t>(q8::DIR_ENTRY_SIZE, q8::DIR_END_MARKER)};
    }
    const SimFile& file = config_.files[index];
    const q8::DirEntry entry =
        q8::DirEntry::Make(file.nameGbk, file.time, static_cast<uint32_t>(file.data.size()));
    return Reply{{entry.bytes.begin(), entry.bytes.end()}};
}

Reply DeviceModel::Format(std::optional<uint8_t> forced) {
    const uint8_t status = forced.value_or(q8::STATUS_OK);
    if (status == q8::STATUS_OK) {
        config_.files.clear();
        config_.freeBytes = config_.totalBytes;
        EndTransfers();
    }
    Reply reply = StatusReply(q8::RPL_FORMAT, status);
    reply.delayMs = config_.formatDelayMs;
    return reply;
}

Reply DeviceModel::DownloadBegin(const std::vector<uint8_t>& frame, std::optional<uint8_t> forced) {
    const uint8_t status = forced.value_or(q8::STATUS_OK);
    EndTransfers();
    if (status == q8::STATUS_OK) {
        receiving_ = true;
        announcedBlocks_ = q8::GetLe32(frame.data() + BLOCK_COUNT_OFFSET);
    }
    Reply reply = StatusReply(q8::RPL_DOWNLOAD_BEGIN, status);
    reply.delayMs = config_.downloadBeginDelayMs;
    return reply;
}

// A block outside an announced download is refused, so that a host that skips
// the begin or sends too many blocks fails here instead of passing silently.
// An empty file announces no block but still sends one; that one is taken.
Reply DeviceModel::DownloadBlock(const std::vector<uint8_t>& frame, std::optional<uint8_t> forced) {
    const bool expected = receiving_ && receivedBlocks_ < std::max<uint32_t>(announcedBlocks_, 1);
    const uint8_t status = forced.value_or(expected ? q8::STATUS_OK : STATUS_OUT_OF_ORDER);
    if (status == q8::STATUS_OK) {
        const auto data = frame.begin() + BLOCK_DATA_OFFSET;
        received_.insert(received_.end(), data, data + q8::BLOCK_SIZE);
        ++receivedBlocks_;
    }
    return StatusReply(q8::RPL_DOWNLOAD_BLOCK, status);
}

Reply DeviceModel::DownloadEntry(const std::vector<uint8_t>& frame, std::optional<uint8_t> forced) {
    const q8::DirEntry entry = q8::DirEntry::FromBytes(frame.data() + ENTRY_OFFSET);
    const uint32_t size = entry.Size();
    const bool complete = receiving_ && size <= received_.size();
    const uint8_t status = forced.value_or(complete ? q8::STATUS_OK : STATUS_OUT_OF_ORDER);
    if (status == q8::STATUS_OK) {
        SimFile file{entry.NameBytes(), entry.Time(), std::move(received_)};
        file.data.resize(size);
        config_.files.push_back(std::move(file));
        config_.freeBytes -= static_cast<uint32_t>(
            std::min<uint64_t>(config_.freeBytes, q8::CartridgeFootprint(size)));
        EndTransfers();
    }
    return StatusReply(q8::RPL_DOWNLOAD_ENTRY, status);
}

Reply DeviceModel::Delete(uint8_t index, std::optional<uint8_t> forced) {
    const bool exists = index < config_.files.size();
    const uint8_t status = forced.value_or(exists ? q8::STATUS_OK : q8::STATUS_NOT_RECOGNISED);
    if (status != q8::STATUS_NOT_RECOGNISED && exists) {
        const uint32_t size = static_cast<uint32_t>(config_.files[index].data.size());
        config_.freeBytes = static_cast<uint32_t>(std::min<uint64_t>(
            config_.totalBytes, config_.freeBytes + q8::CartridgeFootprint(size)));
        config_.files.erase(config_.files.begin() + index);
        EndTransfers();
    }
    return StatusReply(q8::RPL_DELETE, status);
}

Reply DeviceModel::UploadBegin(uint8_t index, std::optional<uint8_t> forced) {
    const bool exists = index < config_.files.size();
    uint8_t natural = exists ? q8::STATUS_OK : STATUS_NO_SUCH_FILE;
    if (config_.cardStatus >= q8::STATUS_CARD_ERROR_MIN) {
        natural = q8::STATUS_CARD_UNKNOWN;
    }
    const uint8_t status = forced.value_or(natural);
    EndTransfers();
    Reply reply = StatusReply(q8::RPL_UPLOAD_BEGIN, status);
    if (status == q8::STATUS_OK) {
        sending_ = true;
        if (exists) {
            sendData_ = config_.files[index].data;
        }
        extraBlocksLeft_ = config_.extraUploadBlocks;
        reply.dataOffset = reply.bytes.size();
        AppendLe32(reply.bytes, static_cast<uint32_t>(sendData_.size()));
    }
    return reply;
}

Reply DeviceModel::UploadNext(std::optional<uint8_t> forced) {
    const bool fileLeft = sending_ && sendOffset_ < sendData_.size();
    const bool extraLeft = sending_ && extraBlocksLeft_ > 0;
    const uint8_t status =
        forced.value_or(fileLeft || extraLeft ? STATUS_BLOCK_FOLLOWS : q8::STATUS_OK);
    Reply reply = StatusReply(q8::RPL_UPLOAD_NEXT, status);
    if (status == q8::STATUS_OK) {
        EndTransfers();
        return reply;
    }
    reply.dataOffset = reply.bytes.size();
    // Room for the block up front: growing the 2-byte header in steps trips a
    // false -Warray-bounds in GCC 12's optimised builds.
    reply.bytes.reserve(reply.dataOffset + q8::BLOCK_SIZE);
    if (fileLeft) {
        const size_t count = std::min<size_t>(q8::BLOCK_SIZE, sendData_.size() - sendOffset_);
        const auto from = sendData_.begin() + static_cast<std::ptrdiff_t>(sendOffset_);
        reply.bytes.insert(reply.bytes.end(), from, from + static_cast<std::ptrdiff_t>(count));
        reply.bytes.resize(reply.dataOffset + q8::BLOCK_SIZE, 0);
        sendOffset_ += count;
    } else {
        reply.bytes.resize(reply.dataOffset + q8::BLOCK_SIZE, PAST_END_FILL);
        extraBlocksLeft_ = std::max(0, extraBlocksLeft_ - 1);
    }
    return reply;
}

Reply DeviceModel::EraseVoice(std::optional<uint8_t> forced) const {
    return StatusReply(q8::RPL_ERASE_VOICE, forced.value_or(q8::STATUS_OK));
}

void DeviceModel::EndTransfers() {
    receiving_ = false;
    announcedBlocks_ = 0;
    receivedBlocks_ = 0;
    received_.clear();
    sending_ = false;
    sendData_.clear();
    sendOffset_ = 0;
    extraBlocksLeft_ = 0;
}

}  // namespace q8sim
