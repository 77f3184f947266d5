// Path helpers shared by both host-file backends.

#include "host/HostFile.h"

namespace q8 {

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

}  // namespace q8
