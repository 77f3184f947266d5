#include "version/Version.h"

// Generated in the build tree; the cross-platform syntax check skips this file.
#include "BuildVersion.h"

namespace q8version {

std::string VersionLine(const std::string& program, const std::string& version,
                        const std::string& describe) {
    std::string line = program + " " + version;
    if (!describe.empty()) {
        line += " (git " + describe + ")";
    }
    return line + "\n";
}

std::string VersionLine(const std::string& program) {
    return VersionLine(program, Q8_PROJECT_VERSION, Q8_GIT_DESCRIBE);
}

}  // namespace q8version
