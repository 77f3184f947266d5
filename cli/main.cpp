// q8loader-cli: the command-line companion. It drives the same core as the
// window, for scripting and headless use.
//
//   q8loader-cli [--port COM1|COM2|PATH] list

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ConsoleUi.h"
#include "link/SerialLink.h"
#include "protocol/CartridgeRefresh.h"
#include "protocol/PortSelection.h"

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

constexpr const char* USAGE =
    "usage: q8loader-cli [--port COM1|COM2|PATH] list\n"
    "\n"
    "  list    show the cartridge's files, its total and free space\n"
    "\n"
    "Without --port the tool opens COM1 and falls back to COM2. On Linux COM1 and\n"
    "COM2 are the devices named by Q8LOADER_COM1 and Q8LOADER_COM2 (default\n"
    "/dev/ttyS0 and /dev/ttyS1).\n";

struct Options {
    std::string port;  // empty: COM1, falling back to COM2
    std::string command;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--port") {
            if (i + 1 >= args.size()) {
                return false;
            }
            options.port = args[++i];
        } else if (options.command.empty()) {
            options.command = args[i];
        } else {
            return false;
        }
    }
    return options.command == "list";
}

// Opens the port as the window's start-up does, unless --port names one.
bool OpenPort(const Options& options, q8::SerialLink& link, q8::CartridgeModel& model,
              q8::MessageSink& messages) {
    if (options.port.empty()) {
        return q8::OpenStartupPort(link, model, messages);
    }
    if (options.port == "COM1" || options.port == "COM2") {
        model.portIndex = options.port == "COM1" ? 0 : 1;
        return link.Open(model.portIndex, messages) == 1;
    }
    model.portIndex = 0;
    return link.OpenDevice(options.port, messages) == 1;
}

void PrintLine(const std::string& text) {
    if (!text.empty()) {
        std::printf("%s\n", text.c_str());
    }
}

int List(q8::Station& station, const q8cli::CollectedRows& rows) {
    const int result = q8::Refresh(station);
    for (const q8::CartridgeRow& row : rows.Rows()) {
        std::printf("%s\t%s\t%s\n", row.name.c_str(), row.size.c_str(), row.modified.c_str());
    }
    PrintLine(station.model.info.totalText);
    PrintLine(station.model.info.freeText);
    std::fflush(stdout);
    if (result != q8::REFRESH_OK) {
        std::fprintf(stderr, "%s\n", station.model.status.text.c_str());
        return EXIT_FAILED;
    }
    PrintLine(station.model.status.text);
    return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(USAGE, stdout);
        return EXIT_OK;
    }
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(USAGE, stderr);
        return EXIT_USAGE;
    }

    q8cli::StderrMessages messages;
    q8::SerialLink link;
    q8::Wire wire(link);
    q8::CartridgeModel model;
    q8cli::CollectedRows rows;
    q8::Station station{wire, model, rows};

    if (!OpenPort(options, link, model, messages)) {
        return EXIT_FAILED;
    }
    return List(station, rows);
}
