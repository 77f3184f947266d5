#pragma once
// A folder of its own under /tmp (on Windows under the user's temporary
// folder) for one test's (or one session's) files, removed with everything in
// it when it goes. Paths are UTF-8, as the host files take them.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#endif

namespace q8test {

// A UTF-8 path as the file system library takes it: the narrow string is the
// system's code page on Windows, not UTF-8.
inline std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Makes "/tmp/<prefix>-XXXXXX" and returns its path, empty when it could not.
inline std::string MakeTempFolder(const std::string& prefix) {
#ifdef _WIN32
    // No mkdtemp: a name from the process and a counter, made only if it is
    // not there yet.
    constexpr int ATTEMPTS = 100;
    static unsigned counter = 0;
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    for (int attempt = 0; !error && attempt < ATTEMPTS; ++attempt) {
        const std::filesystem::path candidate =
            base / (prefix + "-" + std::to_string(_getpid()) + "-" + std::to_string(++counter));
        if (std::filesystem::create_directory(candidate, error)) {
            return Utf8Path(candidate);
        }
    }
    return std::string();
#else
    std::string pattern = "/tmp/" + prefix;
    pattern += "-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
#endif
}

class TempFolder {
  public:
    // "/tmp/<prefix>-XXXXXX"; Made() tells whether it could be made.
    explicit TempFolder(const std::string& prefix) : path_(MakeTempFolder(prefix)) {}
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() { Remove(); }

    bool Made() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

    // Removes the folder now; false when something in it could not go.
    bool Remove() {
        if (path_.empty()) {
            return true;
        }
        std::error_code error;
        std::filesystem::remove_all(FsPath(path_), error);
        path_.clear();
        return !error;
    }

  private:
    std::string path_;
};

}  // namespace q8test
