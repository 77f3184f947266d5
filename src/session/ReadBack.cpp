#include "session/ReadBack.h"

#include <algorithm>
#include <vector>

#include "host/HostFile.h"
#include "session/ProgressTick.h"
#include "session/Texts.h"
#include "session/UploadTransfer.h"

namespace q8 {

namespace {

// Bytes of the host file compared at a time.
constexpr uint32_t COMPARE_CHUNK = 64 * 1024;

class MemorySink : public ByteSink {
  public:
    bool Write(const uint8_t* data, uint32_t count) override {
        bytes.insert(bytes.end(), data, data + count);
        return true;
    }
    bool Commit() override { return true; }
    std::vector<uint8_t> bytes;
};

ReadBack Compare(SourceFile& source, const std::vector<uint8_t>& copy) {
    std::vector<uint8_t> chunk(COMPARE_CHUNK);
    const uint64_t common = std::min<uint64_t>(source.Size(), copy.size());
    for (uint64_t offset = 0; offset < common; offset += COMPARE_CHUNK) {
        const auto want = static_cast<uint32_t>(std::min<uint64_t>(COMPARE_CHUNK, common - offset));
        if (source.ReadAt(offset, chunk.data(), want) != want) {
            return {ReadBackResult::SourceUnreadable, offset};
        }
        const auto from = copy.begin() + static_cast<std::ptrdiff_t>(offset);
        const auto [mine, theirs] = std::mismatch(chunk.begin(), chunk.begin() + want, from);
        if (mine != chunk.begin() + want) {
            return {ReadBackResult::Differs, offset + static_cast<uint64_t>(mine - chunk.begin())};
        }
    }
    if (source.Size() != copy.size()) {
        return {ReadBackResult::Differs, common};
    }
    return {ReadBackResult::Same, 0};
}

}  // namespace

ReadBack ReadBackAndCompare(TransferContext& transfer, uint8_t index,
                            const std::string& sourcePath) {
    MemorySink copy;
    const ProgressResult result =
        RunTransfer(transfer, TXT_UPLOADING, sourcePath,
                    [&transfer, index, &copy] { UploadWorker(transfer, index, copy); });
    if (result != ProgressResult::Done) {
        return {ReadBackResult::UploadFailed, 0};
    }
    SourceFile source;
    if (!source.Open(sourcePath)) {
        return {ReadBackResult::SourceUnreadable, 0};
    }
    return Compare(source, copy.bytes);
}

}  // namespace q8
