#pragma once
// Many devices at once: the same job on every port the command line names or
// finds, each device on its own thread with its own session; with a watch,
// also on each device plugged in later, until a stop signal. Ctrl-C cancels
// every device as a one-device run is cancelled. A summary ends every run.
// Thread: the main thread.

#include <string>

#include "CommandLine.h"

namespace q8cli {

// The exit status: 0 when every device did the job (and at least one did),
// 1 when any failed or was cancelled, or none was found.
int RunFleet(const Options& options, const std::string& tracePath);

}  // namespace q8cli
