#pragma once
// Reading a file just sent back from the cartridge and comparing it byte for
// byte with the host file it came from: proof that what the cartridge stores
// is what was sent. Thread: the caller's (as UploadFile).

#include <cstdint>
#include <string>

#include "session/TransferRun.h"

namespace q8 {

enum class ReadBackResult {
    Same,
    Differs,       // at `firstDifference`; a shorter copy differs where it ends
    UploadFailed,  // the device did not send the file (its message was shown)
    SourceUnreadable,
};

struct ReadBack {
    ReadBackResult result = ReadBackResult::UploadFailed;
    uint64_t firstDifference = 0;
};

// Uploads cartridge entry `index` into memory and compares it with the host
// file at `sourcePath`.
ReadBack ReadBackAndCompare(TransferContext& transfer, uint8_t index,
                            const std::string& sourcePath);

}  // namespace q8
