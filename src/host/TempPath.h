#pragma once
// The temporary an upload is written to beside its target: one naming rule
// and one search for a free name for both host-file backends, which give only
// their own exclusive create and process id. Thread: any; the serial that
// tells one run's names apart is shared by all threads.

#include <cstdint>
#include <string>

namespace q8 {

// What one exclusive create of a temporary did.
enum class TempCreate {
    Created,
    TryAnotherName,  // the name is taken, or the call was interrupted
    Failed,          // the folder takes no new file: another name would not help
};

// The handle of no open file (-1 is also INVALID_HANDLE_VALUE).
inline constexpr intptr_t CLOSED_FILE = -1;

struct TempFile {
    bool created = false;
    intptr_t handle = CLOSED_FILE;
    std::string path;
};

// Tries temporary names in the target's folder until one is created for
// writing; not created when every name is taken or the folder refuses.
TempFile CreateTempBeside(const std::string& target);

// Each backend's own half. Creates `path` for writing only when nothing has
// that name yet, and puts the open file in `handle`.
TempCreate CreateExclusive(const std::string& path, intptr_t& handle);
// This process's id, which keeps two runs' temporaries apart.
unsigned long CurrentProcessId();
// Closes an open file; false when the close reports an error (a delayed write
// error shows up here). The handle is gone either way.
bool CloseFile(intptr_t handle);
// Renames `from` over `to`, replacing it.
bool RenameOver(const std::string& from, const std::string& to);
void RemoveFile(const std::string& path);

}  // namespace q8
