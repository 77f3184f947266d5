#pragma once
// Which other processes have a port open: the link refuses a port another
// program already uses (two programs on one line garble each other's
// frames), and the busy explanation names them. Looks at the system only;
// never opens the port. Thread: any.

#include <string>
#include <vector>

namespace q8 {

// A process that has the port open.
struct PortHolder {
    int pid = 0;
    std::string program;
};

// Processes other than this one that this user may look into and that hold
// `device` (Linux: /proc/*/fd; Windows refuses a second open by itself, so
// none are found there). On a pseudo-terminal the process holding its master
// side is the device at the other end, not a competitor, and is left out
// even when it keeps the slave open too.
std::vector<PortHolder> FindHolders(const std::string& device);

}  // namespace q8
