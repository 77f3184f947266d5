#pragma once
// Host files as the transfers use them: a file read block by block at an
// offset, and a file written beside its target and put in its place only once
// it is complete. Paths are UTF-8. POSIX and Win32 backends.
// Thread: one thread at a time per object.

#include <cstdint>
#include <string>

#include "protocol/DirEntry.h"

namespace q8 {

// The separator paths are joined with, and every one they are split at:
// Windows and its dialogs take and give '/' as well.
#ifdef _WIN32
inline constexpr char PATH_SEPARATOR = '\\';
inline constexpr const char* PATH_SEPARATORS = "\\/";
#else
inline constexpr char PATH_SEPARATOR = '/';
inline constexpr const char* PATH_SEPARATORS = "/";
#endif

// folder + separator + name.
std::string JoinPath(const std::string& folder, const std::string& name);
// Splits at the last separator: the folder without a trailing separator and
// the name. A path without a separator has an empty folder.
void SplitPath(const std::string& path, std::string& folder, std::string& name);
// The path made absolute against the current folder, without touching the
// file. UTF-8 in and out (through UTF-16 on Windows); the path itself when
// the system cannot tell.
std::string AbsolutePath(const std::string& path);

// A file open for reading while other writers are kept out (advisory on
// POSIX).
class SourceFile {
  public:
    SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    virtual ~SourceFile() { Close(); }

    // False when the file cannot be opened or is not a regular file.
    bool Open(const std::string& path);
    bool IsOpen() const;
    // Size and last-write time (local time) as they were at Open.
    uint64_t Size() const { return size_; }
    const DirTime& Modified() const { return modified_; }
    // Reads up to `count` bytes at `offset`: the bytes read (fewer only at the
    // end of the file), or -1 on an error. Virtual so that a test can make it
    // fail the way a failing disk would.
    virtual int64_t ReadAt(uint64_t offset, uint8_t* buffer, uint32_t count);
    void Close();

  private:
    intptr_t handle_ = -1;
    uint64_t size_ = 0;
    DirTime modified_{};
};

// Where received bytes go: a file that replaces its target, or memory.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Writes all `count` bytes or returns false.
    virtual bool Write(const uint8_t* data, uint32_t count) = 0;
    // Every byte is in: make them count. False when that fails.
    virtual bool Commit() = 0;
};

struct TempFile;

// A new file written under a temporary name in the target's folder. Commit
// renames it over the target; Discard (or destruction without Commit) removes
// it, so a failed or cancelled transfer leaves an existing target untouched.
class ReplacingFile : public ByteSink {
  public:
    ReplacingFile() = default;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;
    ~ReplacingFile() { Discard(); }

    // False when the target could not be written: its folder does not take a
    // new file, or the target exists but is not a writable regular file. A
    // symbolic link is followed: the file it names is replaced, the link stays.
    bool Create(const std::string& targetPath);
    bool IsOpen() const;
    // Writes all `count` bytes or returns false.
    bool Write(const uint8_t* data, uint32_t count) override;
    // Closes the temporary and renames it over the target. False when either
    // fails; the temporary is then removed.
    bool Commit() override;
    // Closes and removes the temporary, if there is one.
    void Discard();
    const std::string& TempPath() const { return tempPath_; }

  private:
    // Takes over the created temporary that is to replace `targetPath`.
    void Adopt(TempFile& temp, const std::string& targetPath);

    intptr_t handle_ = -1;
    std::string targetPath_;
    std::string tempPath_;
};

}  // namespace q8
