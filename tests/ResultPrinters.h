#pragma once
// A failed expectation on an operation's result names the type and its number
// rather than dumping the enum's bytes.

#include <ostream>

#include "session/CartridgeRefresh.h"
#include "session/DownloadTransfer.h"
#include "session/UploadTransfer.h"

namespace q8 {

inline void PrintTo(RefreshStatus status, std::ostream* os) {
    *os << "RefreshStatus " << static_cast<int>(status);
}

inline void PrintTo(BatchResult result, std::ostream* os) {
    *os << "BatchResult " << static_cast<int>(result);
}

inline void PrintTo(UploadResult result, std::ostream* os) {
    *os << "UploadResult " << static_cast<int>(result);
}

}  // namespace q8
