#pragma once
// A folder of its own under /tmp for one test's (or one session's) files,
// removed with everything in it when it goes.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace q8test {

class TempFolder {
  public:
    // "/tmp/<prefix>-XXXXXX"; Made() tells whether it could be made.
    explicit TempFolder(const std::string& prefix) {
        std::string pattern = "/tmp/" + prefix;
        pattern += "-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
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
        std::filesystem::remove_all(path_, error);
        path_.clear();
        return !error;
    }

  private:
    std::string path_;
};

}  // namespace q8test
