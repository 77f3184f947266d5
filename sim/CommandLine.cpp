#include "CommandLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "CommandNames.h"

namespace q8sim {

namespace {

// Whole text as a number within [0, max]; base prefixes 0x and 0 allowed.
bool ParseNumber(const std::string& text, unsigned long long max, unsigned long long& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value > max) {
        return false;
    }
    out = value;
    return true;
}

template <typename T>
bool ParseAs(const std::string& text, unsigned long long max, T& out) {
    unsigned long long value = 0;
    if (!ParseNumber(text, max, value)) {
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

std::vector<std::string> SplitColons(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) {
            return parts;
        }
        start = colon + 1;
    }
}

bool ParseFileSource(const std::string& text, FileSource& source) {
    const size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        return false;
    }
    source.name = text.substr(0, equals);
    return ParseAs(text.substr(equals + 1), UINT32_MAX, source.size);
}

// How one option keeps what it was given; false when the value does not
// parse, and then nothing is kept. A flag ignores any "=value".
using StoreOption = bool (*)(const std::string& value, SimOptions& options);

// Every option complains the same way, by its own name: the loop below says
// "needs a value" or "bad value for" for each of them.
struct OptionRule {
    const char* name;
    bool takesValue;
    StoreOption store;
};

constexpr bool FLAG = false;
constexpr bool VALUE = true;

// A flag of SimOptions itself, set by naming it.
template <bool SimOptions::*flag>
bool SetFlag(const std::string&, SimOptions& options) {
    options.*flag = true;
    return true;
}

// One more of a repeatable option, parsed onto the end of its list.
template <typename T>
bool Append(bool (*parse)(const std::string&, T&), const std::string& value, std::vector<T>& list) {
    T item;
    if (!parse(value, item)) {
        return false;
    }
    list.push_back(item);
    return true;
}

constexpr OptionRule OPTIONS[] = {
    {"--help", FLAG, SetFlag<&SimOptions::help>},
    {"-h", FLAG, SetFlag<&SimOptions::help>},
    {"--version", FLAG, SetFlag<&SimOptions::version>},
    {"--log", FLAG, SetFlag<&SimOptions::log>},
    {"--line-rate", FLAG,
     [](const std::string&, SimOptions& options) {
         options.config.lineRate = true;
         return true;
     }},
    {"--folder", VALUE,
     [](const std::string& value, SimOptions& options) {
         options.sources.push_back(FileSource{value, {}, 0});
         return true;
     }},
    {"--file", VALUE,
     [](const std::string& value, SimOptions& options) {
         return Append(ParseFileSource, value, options.sources);
     }},
    {"--machine-type", VALUE,
     [](const std::string& value, SimOptions& options) {
         return ParseAs(value, UINT8_MAX, options.config.machineType);
     }},
    {"--card-status", VALUE,
     [](const std::string& value, SimOptions& options) {
         return ParseAs(value, UINT8_MAX, options.config.cardStatus);
     }},
    {"--total", VALUE,
     [](const std::string& value, SimOptions& options) {
         return ParseAs(value, UINT32_MAX, options.config.totalBytes);
     }},
    {"--free", VALUE,
     [](const std::string& value, SimOptions& options) {
         if (!ParseAs(value, UINT32_MAX, options.config.freeBytes)) {
             return false;
         }
         options.freeGiven = true;
         return true;
     }},
    {"--fault", VALUE,
     [](const std::string& value, SimOptions& options) {
         return Append(ParseFault, value, options.config.faults);
     }},
    {"--link", VALUE,
     [](const std::string& value, SimOptions& options) {
         options.linkPath = value;
         return true;
     }},
};

const OptionRule* FindOption(const std::string& name) {
    for (const OptionRule& rule : OPTIONS) {
        if (name == rule.name) {
            return &rule;
        }
    }
    return nullptr;
}

}  // namespace

bool ParseFault(const std::string& text, Fault& fault) {
    const std::vector<std::string> parts = SplitColons(text);
    if (parts.size() < 3 || parts.size() > 5) {
        return false;
    }
    Fault parsed;
    if (!ParseCommand(parts[0], parsed.command) || !ParseAs(parts[1], INT_MAX, parsed.occurrence) ||
        !ParseFaultKind(parts[2], parsed.kind)) {
        return false;
    }
    if (parts.size() > 3 && !ParseAs(parts[3], INT_MAX, parsed.value)) {
        return false;
    }
    if (parts.size() > 4 && !ParseAs(parts[4], INT_MAX, parsed.pauseMs)) {
        return false;
    }
    fault = parsed;
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, SimOptions& options,
                      std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::string value;
        bool hasValue = false;
        const size_t equals = option.find('=');
        if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
            hasValue = true;
        }
        const OptionRule* rule = FindOption(option);
        if (rule == nullptr) {
            error = "unknown option: " + args[i];
            return false;
        }
        if (rule->takesValue && !hasValue) {
            if (i + 1 >= args.size()) {
                error = option + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!rule->store(value, options)) {
            error = "bad value for " + option + ": " + value;
            return false;
        }
    }
    return true;
}

const char* UsageText() {
    return "usage: q8sim [options]\n"
           "A simulated Q8 device on a pseudo-terminal. Prints the device path (for\n"
           "Q8LOADER_COM1) on the first line, then runs until SIGINT or SIGTERM.\n"
           "\n"
           "  --folder DIR          cartridge files from the regular files in DIR\n"
           "  --file NAME=SIZE      a made-up file of SIZE bytes (repeatable)\n"
           "  --machine-type N      hello reply's machine type (default 1)\n"
           "  --card-status N       card-info status; 0x80 and up = cartridge error\n"
           "  --total BYTES         cartridge size (default 4194304)\n"
           "  --free BYTES          free space (default: total less the files)\n"
           "  --line-rate           take as long as 115200 bit/s would\n"
           "  --fault CMD:OCCURRENCE:KIND[:VALUE[:PAUSE_MS]]   (repeatable)\n"
           "        CMD: 0x88 or hello, card-info, dir-entry, format, download-begin,\n"
           "             download-block, download-entry, delete, upload-begin,\n"
           "             upload-next, erase-voice, batch-end\n"
           "        OCCURRENCE: the n-th such frame from 1; 0 = every one\n"
           "        KIND: status, no-reply, wrong-code, truncate, split, delay, late-data,\n"
           "              corrupt (VALUE: offset in a block whose byte is stored inverted)\n"
           "  --link PATH           symlink PATH to the device while running\n"
           "  --log                 print every frame and reply to stderr\n"
           "  --help                this text\n"
           "  --version             the version\n";
}

}  // namespace q8sim
