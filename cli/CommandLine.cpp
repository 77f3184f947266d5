#include "CommandLine.h"

#include <algorithm>
#include <cstdlib>

#include "PortSearch.h"

namespace q8cli {

namespace {

constexpr const char* VERIFY_OPTION = "--verify";
constexpr int MAX_INDEX = 255;
constexpr size_t MAX_INDEX_DIGITS = 3;

bool ParseIndex(const std::string& text) {
    return !text.empty() && text.size() <= MAX_INDEX_DIGITS &&
           text.find_first_not_of("0123456789") == std::string::npos &&
           std::atoi(text.c_str()) <= MAX_INDEX;
}

// The commands that run on every device of a many-device call.
bool RunsOnManyDevices(const std::string& command) {
    return command == "list" || command == "download" || command == "delete" ||
           command == "erase-voice" || command == "format";
}

bool ParseArguments(Options& options) {
    const std::string& c = options.command;
    const size_t n = options.args.size();
    if (options.watch && options.ports.empty()) {
        options.ports.push_back(ALL_PORTS);
    }
    if (options.ManyDevices() && !RunsOnManyDevices(c)) {
        return false;
    }
    if (c == "list" || c == "delete" || c == "erase-voice" || c == "format") {
        return n == 0;
    }
    if (c == "ports") {
        return n == 0 || (n == 1 && options.args[0] == "--all");
    }
    if (c == "download") {
        options.verify = n >= 1 && options.args[0] == VERIFY_OPTION;
        if (options.verify) {
            options.args.erase(options.args.begin());
        }
        return !options.args.empty();
    }
    if (c == "upload") {
        return n == 2 && ParseIndex(options.args[0]);
    }
    return false;
}

}  // namespace

bool Options::ManyDevices() const {
    return watch || ports.size() > 1 ||
           std::any_of(ports.begin(), ports.end(), [](const std::string& port) {
               return PortNameKindOf(port) != PortNameKind::Name;
           });
}

bool ParseOptions(const std::vector<std::string>& args, Options& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!options.command.empty()) {
            options.args.push_back(arg);
        } else if (arg == "--watch") {
            options.watch = true;
        } else if (arg == "--port" || arg == "--trace") {
            // An empty port name would read as no --port at all.
            if (i + 1 >= args.size() || (arg == "--port" && args[i + 1].empty())) {
                return false;
            }
            if (arg == "--trace") {
                options.trace = args[i + 1];
            } else if (std::find(options.ports.begin(), options.ports.end(), args[i + 1]) ==
                       options.ports.end()) {
                options.ports.push_back(args[i + 1]);
            }
            ++i;
        } else {
            options.command = arg;
        }
    }
    return ParseArguments(options);
}

const char* const USAGE =
    "usage: q8loader-cli [--port PORT]... [--watch] [--trace FILE] COMMAND [ARGS]\n"
    "\n"
    "  list                show the cartridge's files, its total and free space\n"
    "  download [--verify] FILE...\n"
    "                      send up to six files to the cartridge, in this order;\n"
    "                      --verify reads each back and compares it byte for byte\n"
    "  upload INDEX FILE   read cartridge file INDEX (0 = first) into FILE\n"
    "  delete              delete the cartridge's last file\n"
    "  erase-voice         erase the recorded voice\n"
    "  format              format the cartridge\n"
    "  ports [--all]       list the serial ports present (--all: also empty UART slots)\n"
    "\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "PORT is COM1, COM2 or a device path. Without --port the tool opens COM1 and\n"
    "falls back to COM2. On Linux COM1 and COM2 are the devices named by\n"
    "Q8LOADER_COM1 and Q8LOADER_COM2 (default /dev/ttyS0 and /dev/ttyS1).\n"
    "\n"
    "Many devices at once (list, download, delete, erase-voice, format): give\n"
    "--port several times, a pattern (--port '/dev/ttyUSB*'), or --port all for\n"
    "every port the ports command lists that this user can open. Ports found by\n"
    "a pattern or by all are used only when their device answers the greeting;\n"
    "the others are skipped. --watch keeps going and runs the command on each\n"
    "device plugged in later (on any port when no --port is given), until\n"
    "Ctrl-C. Each device shows one line, and a summary ends the run.\n"
    "\n"
    "During a transfer a progress line is shown when stderr is a terminal, and\n"
    "Ctrl-C cancels it and the files still to come. Exit status: 0 done (on\n"
    "every device), 1 failed or refused or cancelled (on any device), 2 usage.\n"
    "\n"
    "--trace FILE (or Q8LOADER_TRACE=FILE) writes every frame and reply, with\n"
    "times and expired deadlines, to FILE: send it with a bug report. With many\n"
    "devices each gets its own file, FILE with the port's name appended.\n";

}  // namespace q8cli
