#pragma once
// The version line the programs print for --version.
// Thread: any; pure.

#include <string>

namespace q8version {

// "PROGRAM VERSION (git DESCRIBE)\n", or "PROGRAM VERSION\n" without a describe.
std::string VersionLine(const std::string& program, const std::string& version,
                        const std::string& describe);

// The line for this build: the CMake project's version and the checkout's
// `git describe` at build time.
std::string VersionLine(const std::string& program);

}  // namespace q8version
