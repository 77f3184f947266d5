// Path helpers and the temporary's name, shared by both host-file backends.

#include "host/HostFile.h"

#include <atomic>
#include <utility>

#include "host/TempPath.h"
#include "host/Utf8Sequence.h"

namespace q8 {

namespace {

// Another run may have left a temporary with the same process id behind.
constexpr int TEMP_NAME_ATTEMPTS = 100;
// Keeps "." + name + ".part-<pid>-<n>" under the 255-byte (POSIX) or
// 255-character (Windows) name limit.
constexpr size_t TEMP_BASE_BYTES = 200;

std::atomic<unsigned> tempSerial{0};

// The longest run of whole characters from the start that fits in
// `maxBytes`, so that a cut name stays valid UTF-8; a name that fits is kept
// as it is.
std::string CutAtCharacter(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    size_t end = 0;
    for (;;) {
        const size_t next = end + Utf8SequenceLength(static_cast<unsigned char>(text[end]));
        if (next > maxBytes) {
            return text.substr(0, end);
        }
        end = next;
    }
}

// The temporary sits in the target's folder so that the rename or move stays
// on one file system; a bare name stays relative to the current folder. On
// Windows a path typed by the user may use either slash.
std::string TempPathFor(const std::string& target, unsigned serial) {
    const size_t cut = target.find_last_of(PATH_SEPARATORS);
    const size_t baseStart = cut == std::string::npos ? 0 : cut + 1;
    return target.substr(0, baseStart) + "." +
           CutAtCharacter(target.substr(baseStart), TEMP_BASE_BYTES) + ".part-" +
           std::to_string(CurrentProcessId()) + "-" + std::to_string(serial);
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder + PATH_SEPARATOR + name;
}

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const size_t cut = path.find_last_of(PATH_SEPARATORS);
    if (cut == std::string::npos) {
        folder.clear();
        name = path;
        return;
    }
    folder = path.substr(0, cut);
    name = path.substr(cut + 1);
}

void ReplacingFile::Adopt(TempFile& temp, const std::string& targetPath) {
    handle_ = temp.handle;
    targetPath_ = targetPath;
    tempPath_ = std::move(temp.path);
}

bool ReplacingFile::IsOpen() const {
    return handle_ != CLOSED_FILE;
}

bool ReplacingFile::Commit() {
    if (handle_ == CLOSED_FILE || tempPath_.empty()) {
        Discard();
        return false;
    }
    // Delayed write errors (NFS, quotas) only show up at the close, and the
    // file is closed even when that fails.
    const bool closed = CloseFile(handle_);
    handle_ = CLOSED_FILE;
    if (!closed || !RenameOver(tempPath_, targetPath_)) {
        Discard();
        return false;
    }
    tempPath_.clear();
    return true;
}

void ReplacingFile::Discard() {
    if (handle_ != CLOSED_FILE) {
        (void)CloseFile(handle_);
        handle_ = CLOSED_FILE;
    }
    if (!tempPath_.empty()) {
        RemoveFile(tempPath_);
        tempPath_.clear();
    }
}

TempFile CreateTempBeside(const std::string& target) {
    TempFile temp;
    for (int attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        temp.path = TempPathFor(target, tempSerial.fetch_add(1));
        switch (CreateExclusive(temp.path, temp.handle)) {
            case TempCreate::Created:
                temp.created = true;
                return temp;
            case TempCreate::TryAnotherName:
                continue;
            case TempCreate::Failed:
                return {};
        }
    }
    return {};
}

}  // namespace q8
