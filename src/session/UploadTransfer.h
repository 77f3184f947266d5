#pragma once
// Reading one cartridge file back into a host file.

#include <cstdint>

#include "host/HostFile.h"
#include "session/TransferRun.h"

namespace q8 {

// Results of UploadFile.
enum class UploadResult {
    Done = 0,
    NotStarted = 1,  // no row marked, target not chosen or not writable
    Stopped = 2      // failed, refused or cancelled
};

// The "上传" button: the marked cartridge row into a file the user chooses.
// The file is written beside the target and replaces it only when the device
// has sent all of it. Thread: the window thread.
UploadResult UploadFile(TransferContext& transfer);

// Receives entry `index` into `file`, writing at most the size the device
// announces, and commits the file at the end. Thread: the worker.
void UploadWorker(TransferContext& transfer, uint8_t index, ByteSink& file);

}  // namespace q8
