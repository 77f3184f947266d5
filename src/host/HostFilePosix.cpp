// The POSIX half of the host files: plain descriptors, an advisory shared
// lock on sources, and rename(2) to put a finished upload in place.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <string>
#include <utility>

#include "host/HostFile.h"
#include "host/TempPath.h"

namespace q8 {

namespace {

constexpr intptr_t CLOSED = -1;
// A new temporary's permissions before the umask, as any program's new file;
// one that replaces a file takes that file's own afterwards.
constexpr mode_t NEW_FILE_MODE = 0666;
// What of a file's mode fchmod takes: permissions, setuid, setgid, sticky.
constexpr mode_t PERMISSION_BITS = 07777;
// One pread/write call at a time stays well inside ssize_t.
constexpr size_t LARGEST_CALL = size_t{1} << 30;

int Fd(intptr_t handle) {
    return static_cast<int>(handle);
}

DirTime ToDirTime(time_t when) {
    struct tm local {};
    DirTime out;
    if (localtime_r(&when, &local) == nullptr) {
        return out;
    }
    out.year = local.tm_year + 1900;
    out.month = local.tm_mon + 1;
    out.day = local.tm_mday;
    out.hour = local.tm_hour;
    out.minute = local.tm_min;
    out.second = local.tm_sec;
    return out;
}

// Longest chain of symbolic links followed, as the kernel's own limit.
constexpr int MAX_LINK_HOPS = 40;

// The file a path names once symbolic links in its last part are followed,
// so that an upload replaces the file a link points to and the link stays.
// The result need not exist (a dangling link names the file to create); a
// loop, or a link that cannot be read, leaves the path as it was.
std::string FollowLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return current;
        }
        char target[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), target, sizeof(target) - 1);
        if (length <= 0) {
            return path;
        }
        const std::string next(target, static_cast<size_t>(length));
        const size_t cut = current.rfind(PATH_SEPARATOR);
        const bool relative = next[0] != PATH_SEPARATOR && cut != std::string::npos;
        current = relative ? current.substr(0, cut + 1) + next : next;
    }
    return path;
}

}  // namespace

TempCreate CreateExclusive(const std::string& path, intptr_t& handle) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NEW_FILE_MODE);
    if (fd >= 0) {
        handle = fd;
        return TempCreate::Created;
    }
    // An interrupted open goes on under the next name, as a taken one does.
    return errno == EEXIST || errno == EINTR ? TempCreate::TryAnotherName : TempCreate::Failed;
}

unsigned long CurrentProcessId() {
    return static_cast<unsigned long>(getpid());
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path[0] == PATH_SEPARATOR) {
        return path;
    }
    char folder[PATH_MAX];
    if (getcwd(folder, sizeof(folder)) == nullptr) {
        return path;
    }
    return JoinPath(folder, path);
}

bool SourceFile::Open(const std::string& path) {
    Close();
    // O_NONBLOCK so that a FIFO cannot hang the open; regular files ignore it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    // Advisory only: a writer that does not lock is not kept out, and a lock
    // we cannot get does not stop the download either.
    (void)flock(fd, LOCK_SH | LOCK_NB);
    handle_ = fd;
    size_ = static_cast<uint64_t>(info.st_size);
    modified_ = ToDirTime(info.st_mtime);
    return true;
}

bool SourceFile::IsOpen() const {
    return handle_ != CLOSED;
}

int64_t SourceFile::ReadAt(uint64_t offset, uint8_t* buffer, uint32_t count) {
    if (handle_ == CLOSED || offset > static_cast<uint64_t>(INT64_MAX) - count) {
        return -1;
    }
    size_t done = 0;
    while (done < count) {
        const size_t want = std::min<size_t>(count - done, LARGEST_CALL);
        const ssize_t n =
            pread(Fd(handle_), buffer + done, want, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

void SourceFile::Close() {
    if (handle_ != CLOSED) {
        close(Fd(handle_));
        handle_ = CLOSED;
    }
}

bool ReplacingFile::Create(const std::string& linkOrTarget) {
    Discard();
    const std::string targetPath = FollowLinks(linkOrTarget);
    struct stat target {};
    const bool exists = stat(targetPath.c_str(), &target) == 0;
    // A loop of links or an unreadable folder is no place to write.
    if (!exists && errno != ENOENT) {
        return false;
    }
    if (exists) {
        if (!S_ISREG(target.st_mode)) {
            return false;
        }
        // The rename would succeed over a read-only file; the user would not
        // expect that.
        const int probe = open(targetPath.c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0) {
            return false;
        }
        close(probe);
    }
    TempFile temp = CreateTempBeside(targetPath);
    if (!temp.created) {
        return false;
    }
    if (exists) {
        (void)fchmod(Fd(temp.handle), target.st_mode & PERMISSION_BITS);
    }
    Adopt(temp, targetPath);
    return true;
}

bool ReplacingFile::Write(const uint8_t* data, uint32_t count) {
    if (handle_ == CLOSED) {
        return false;
    }
    size_t done = 0;
    while (done < count) {
        const size_t want = std::min<size_t>(count - done, LARGEST_CALL);
        const ssize_t n = write(Fd(handle_), data + done, want);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool CloseFile(intptr_t handle) {
    return close(Fd(handle)) == 0;
}

bool RenameOver(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) {
    unlink(path.c_str());
}

}  // namespace q8
