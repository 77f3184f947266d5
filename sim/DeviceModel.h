#pragma once
// The simulated device's protocol logic without any I/O: bytes from the host
// go in, complete frames are answered with writes and pauses, and the
// cartridge changes as the commands say.
// Thread: no lock; one thread at a time (the Simulator guards it with a mutex).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "DeviceActions.h"
#include "ReplyShape.h"
#include "SimConfig.h"

namespace q8sim {

// Statuses the device picks itself where the host only tells zero from
// nonzero.
inline constexpr uint8_t STATUS_NO_SUCH_FILE = 0x02;   // upload begin, empty index
inline constexpr uint8_t STATUS_BLOCK_FOLLOWS = 0x01;  // upload next
inline constexpr uint8_t STATUS_OUT_OF_ORDER = 0x02;   // download block/entry without a begin
// Fill of the blocks sent past a file's end (extraUploadBlocks); not zero so
// that a host writing them out shows.
inline constexpr uint8_t PAST_END_FILL = 0xEE;

class DeviceModel {
  public:
    explicit DeviceModel(SimConfig config = {});

    // Takes bytes as they come off the line; frames may be split across calls.
    // Returns one Exchange per complete frame or dropped byte, in order.
    std::vector<Exchange> Feed(const uint8_t* data, size_t length);

    void AddFault(const Fault& fault) { config_.faults.push_back(fault); }
    void ClearFaults() { config_.faults.clear(); }

    void SetMachineType(uint8_t type) { config_.machineType = type; }
    void SetCardStatus(uint8_t status) { config_.cardStatus = status; }
    void SetTotalBytes(uint32_t bytes) { config_.totalBytes = bytes; }
    void SetFreeBytes(uint32_t bytes) { config_.freeBytes = bytes; }
    // Also ends any upload or download under way.
    void SetFiles(std::vector<SimFile> files);
    void SetExtraUploadBlocks(int blocks) { config_.extraUploadBlocks = blocks; }
    void SetDownloadBeginDelayMs(uint32_t ms) { config_.downloadBeginDelayMs = ms; }
    void SetFormatDelayMs(uint32_t ms) { config_.formatDelayMs = ms; }

    const std::vector<SimFile>& Files() const { return config_.files; }
    uint32_t TotalBytes() const { return config_.totalBytes; }
    uint32_t FreeBytes() const { return config_.freeBytes; }
    // Frames with this code since the start; what fault occurrences count.
    int Occurrences(uint8_t command) const { return occurrences_[command]; }
    // Complete host frames with this code, oldest first.
    std::vector<std::vector<uint8_t>> FramesFromHost(uint8_t command) const;
    // Forgets the recorded frames; occurrence counts go on.
    void ClearFrames() { frames_.clear(); }
    size_t DroppedBytes() const { return droppedBytes_; }
    // Bytes of a frame still waiting for the rest of it.
    size_t PendingBytes() const { return pending_.size(); }

  private:
    std::vector<Action> Answer(const std::vector<uint8_t>& frame);
    Reply Respond(const std::vector<uint8_t>& frame, std::optional<uint8_t> forced);

    Reply Hello(std::optional<uint8_t> forced) const;
    Reply CardInfo(std::optional<uint8_t> forced) const;
    Reply DirEntryAt(uint8_t index) const;
    Reply Format(std::optional<uint8_t> forced);
    Reply DownloadBegin(const std::vector<uint8_t>& frame, std::optional<uint8_t> forced);
    Reply DownloadBlock(const std::vector<uint8_t>& frame, std::optional<uint8_t> forced);
    Reply DownloadEntry(const std::vector<uint8_t>& frame, std::optional<uint8_t> forced);
    Reply Delete(uint8_t index, std::optional<uint8_t> forced);
    Reply UploadBegin(uint8_t index, std::optional<uint8_t> forced);
    Reply UploadNext(std::optional<uint8_t> forced);
    Reply EraseVoice(std::optional<uint8_t> forced) const;

    void EndTransfers();

    SimConfig config_;
    std::vector<uint8_t> pending_;
    std::array<int, 256> occurrences_{};
    std::vector<std::vector<uint8_t>> frames_;
    size_t droppedBytes_ = 0;

    bool receiving_ = false;
    uint32_t announcedBlocks_ = 0;
    uint32_t receivedBlocks_ = 0;
    std::vector<uint8_t> received_;

    bool sending_ = false;
    std::vector<uint8_t> sendData_;
    size_t sendOffset_ = 0;
    int extraBlocksLeft_ = 0;
};

}  // namespace q8sim
