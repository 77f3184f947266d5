#pragma once
// The CLI's command line: the options before the command, the command and its
// arguments, checked before anything is opened.

#include <string>
#include <vector>

namespace q8cli {

struct Options {
    // Each --port: COM1, COM2, a device path, a pattern (* and ?) or "all".
    // None: COM1, falling back to COM2.
    std::vector<std::string> ports;
    std::string trace;    // empty: no wire trace
    bool verify = false;  // download: read every file back and compare
    bool watch = false;   // run the job on every device plugged in until stopped
    std::string command;
    std::vector<std::string> args;

    // Several devices at once: more than one port, ports found by a pattern
    // or by "all", or a watch.
    bool ManyDevices() const;
};

// False for a usage error.
bool ParseOptions(const std::vector<std::string>& args, Options& options);

extern const char* const USAGE;

}  // namespace q8cli
