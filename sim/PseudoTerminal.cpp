#include "PseudoTerminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace q8sim {

bool PseudoTerminal::Fail(const char* step) {
    error_ = std::string(step) + ": " + std::strerror(errno);
    Close();
    return false;
}

bool PseudoTerminal::Open() {
    Close();
    error_.clear();
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        return Fail("posix_openpt");
    }
    if (grantpt(master_) != 0) {
        return Fail("grantpt");
    }
    if (unlockpt(master_) != 0) {
        return Fail("unlockpt");
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        return Fail("ptsname");
    }
    slavePath_ = name;
    // Non-blocking so that a host that stops reading cannot wedge the device
    // thread in a write.
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        return Fail("fcntl");
    }
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        return Fail("open slave");
    }
    termios settings{};
    if (tcgetattr(slave_, &settings) != 0) {
        return Fail("tcgetattr");
    }
    cfmakeraw(&settings);
    if (tcsetattr(slave_, TCSANOW, &settings) != 0) {
        return Fail("tcsetattr");
    }
    return true;
}

void PseudoTerminal::Close() {
    if (slave_ >= 0) {
        close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
    slavePath_.clear();
}

}  // namespace q8sim
