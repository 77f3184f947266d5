// Path helpers shared by both host-file backends.

#include "protocol/HostFile.h"

#include <algorithm>

namespace q8 {

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder + PATH_SEPARATOR + name;
}

bool IsPathSeparator(char c) {
    return c == '/' || c == PATH_SEPARATOR;
}

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const auto last = std::find_if(path.rbegin(), path.rend(), IsPathSeparator);
    const size_t cut =
        last == path.rend() ? std::string::npos : static_cast<size_t>(path.rend() - last) - 1;
    if (cut == std::string::npos) {
        folder.clear();
        name = path;
        return;
    }
    folder = path.substr(0, cut);
    name = path.substr(cut + 1);
}

}  // namespace q8
