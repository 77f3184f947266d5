#include "PortSearch.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "link/PortList.h"
#include "link/SerialLink.h"

namespace q8cli {

namespace {

namespace fs = std::filesystem;

// Windows names its ports without a folder (COM3), in any case.
#ifdef _WIN32
constexpr bool FOLD_CASE = true;
constexpr bool PORTS_BY_NAME = true;
#else
constexpr bool FOLD_CASE = false;
constexpr bool PORTS_BY_NAME = false;
#endif

bool SameChar(char a, char b) {
    if (FOLD_CASE) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    }
    return a == b;
}

// UTF-8 names in and out of the file system on every platform.
fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(PathOf(path), error);
}

// A port name without a folder (COM3) is looked up in the system's list;
// COM1 and COM2 on POSIX stand for the devices they map to.
bool NamedPortPresent(const std::string& name, const std::vector<q8::PortInfo>& listed) {
    const bool listedByName = std::any_of(listed.begin(), listed.end(), [&name](const auto& port) {
        return port.path.size() == name.size() &&
               std::equal(name.begin(), name.end(), port.path.begin(), SameChar);
    });
    return listedByName || Exists(q8::PortDevicePath(name)) || Exists(name);
}

// The folder entries matching the pattern's last part. On Windows a pattern
// without a folder (COM*) matches the listed ports instead: the current
// folder's files are no ports there.
std::vector<std::string> MatchingPorts(const std::string& pattern,
                                       const std::vector<q8::PortInfo>& listed) {
    std::vector<std::string> names;
    const fs::path path = PathOf(pattern);
    if (PORTS_BY_NAME && !path.has_parent_path()) {
        for (const q8::PortInfo& port : listed) {
            if (MatchesPattern(pattern, port.path)) {
                names.push_back(port.path);
            }
        }
        return names;
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const std::string leaf = Utf8Of(path.filename());
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = Utf8Of(it->path().filename());
        // Through a link to a device that has gone, the port has gone too.
        // Windows cannot look at a device through a path: listed is there.
        if (MatchesPattern(leaf, name) && (PORTS_BY_NAME || Exists(Utf8Of(it->path())))) {
            names.push_back(path.has_parent_path() ? Utf8Of(folder / it->path().filename()) : name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Add(std::vector<FoundPort>& ports, FoundPort port) {
    const bool known = std::any_of(ports.begin(), ports.end(),
                                   [&port](const FoundPort& p) { return p.name == port.name; });
    if (!known) {
        ports.push_back(std::move(port));
    }
}

}  // namespace

PortNameKind PortNameKindOf(const std::string& name) {
    if (name == ALL_PORTS) {
        return PortNameKind::All;
    }
    return name.find_first_of("*?") != std::string::npos ? PortNameKind::Pattern
                                                         : PortNameKind::Name;
}

std::vector<FoundPort> FindPorts(const std::vector<std::string>& wanted, bool presentOnly) {
    const std::vector<q8::PortInfo> listed = q8::ListPorts(false);
    std::vector<FoundPort> ports;
    for (const std::string& name : wanted) {
        switch (PortNameKindOf(name)) {
            case PortNameKind::Name:
                if (!presentOnly || NamedPortPresent(name, listed)) {
                    Add(ports, FoundPort{name, false});
                }
                break;
            case PortNameKind::All:
                for (const q8::PortInfo& port : listed) {
                    Add(ports, FoundPort{port.path, true});
                }
                break;
            case PortNameKind::Pattern:
                for (const std::string& match : MatchingPorts(name, listed)) {
                    Add(ports, FoundPort{match, true});
                }
                break;
        }
    }
    return ports;
}

bool MatchesPattern(const std::string& pattern, const std::string& text) {
    // The classic two-pointer walk: on a mismatch after a *, let the * take
    // one more character and try again from there.
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string::npos;
    size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || SameChar(pattern[p], text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace q8cli
