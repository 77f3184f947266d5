// The trace file on POSIX, where a UTF-8 path is the system's own.

#include "protocol/WireTrace.h"

namespace q8 {

FILE* WireTrace::OpenFile(const std::string& path) {
    return std::fopen(path.c_str(), "w");
}

}  // namespace q8
