#pragma once
// What a --port names: one port, every port the system lists, or the ports
// whose names match a pattern; and which of them are present now, for a
// many-device run and for each round of a watch.
// Thread: the main thread.

#include <string>
#include <vector>

namespace q8cli {

inline constexpr const char* ALL_PORTS = "all";

enum class PortNameKind {
    Name,     // COM1, COM2 or a device path, used as it is
    All,      // every port the system lists
    Pattern,  // the names in a folder that match * and ?
};

PortNameKind PortNameKindOf(const std::string& name);

// A port found now. Ports found by "all" or a pattern are skipped when they
// cannot be opened (no access, busy) or no device answers the greeting; a
// named port is the user's own choice, and a failure there is a failure.
struct FoundPort {
    std::string name;
    bool found = false;  // by "all" or a pattern
};

// The ports the --port names stand for now, each once, in the order given
// (and by name within "all" or a pattern). A named port is always there
// unless `presentOnly` asks whether its device node exists (a watch).
std::vector<FoundPort> FindPorts(const std::vector<std::string>& wanted, bool presentOnly);

// `text` matches `pattern`, where * stands for any run of characters and ?
// for any one (bytes; ASCII case folded on Windows, as its names are).
bool MatchesPattern(const std::string& pattern, const std::string& text);

}  // namespace q8cli
