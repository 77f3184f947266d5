#pragma once
// Writing host files to the cartridge: the batch over the download list and
// the worker that sends one file.

#include <string>
#include <vector>

#include "host/HostFile.h"
#include "protocol/Frames.h"
#include "session/TransferRun.h"

namespace q8 {

// The cartridge takes new files only while it holds fewer than this many.
inline constexpr int MAX_CARTRIDGE_FILES = 6;

// One row of the download list (UTF-8).
struct DownloadRow {
    std::string name;    // file name with its extension
    std::string folder;  // without a trailing separator
};

// Results of DownloadBatch.
enum class BatchResult {
    Done = 0,           // every row sent, batch end written
    Empty = 1,          // no rows
    RefreshFailed = 2,  // a refresh before a row or the batch end
    Full = 3,           // the cartridge holds six files
    // A row failed, was refused or cancelled, or the user stopped the batch.
    Stopped = 4
};

// The "下载" button: refresh, then each row in order with its progress window,
// a refresh after each, and CMD_BATCH_END once every row is done.
// Thread: the window thread.
BatchResult DownloadBatch(TransferContext& transfer, const std::vector<DownloadRow>& rows);

// Sends one file. Reports through the transfer state, its own message boxes
// and the caption of the progress window; subtracts the file's footprint from
// the cartridge's free bytes. Thread: the worker.
void DownloadWorker(TransferContext& transfer, const DownloadRow& row);
// The same through a given, unopened file object (a test's failing reader).
void DownloadWorker(TransferContext& transfer, const DownloadRow& row, SourceFile& file);

// The 2-byte CMD_BATCH_END; nothing is read back.
void SendBatchEnd(Wire& wire);

// "卡盒空间<free>*8bits；文件大小<footprint>*8bits。空间不够，不能下载!"
std::string NotEnoughSpaceText(uint32_t freeBytes, uint64_t footprint);

}  // namespace q8
