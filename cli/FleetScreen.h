#pragma once
// What a many-device run shows while it runs. On a terminal that takes
// escapes: one line per device at the bottom, redrawn in place, with the
// messages and results that must stay printed above it. Otherwise: one line
// per event, "PORT: text", in the order the devices posted them, for a log.
// A listing's lines go to stdout as "PORT<TAB>line" either way.
//
// Thread: Post from any thread (it only queues); Draw and Close on the main
// thread, which alone writes.

#include <mutex>
#include <string>
#include <vector>

#include "DeviceRun.h"

namespace q8cli {

class FleetScreen : public LineSink {
  public:
    // `live`: draw the device lines in place; `columns`: the terminal's width
    // (0 when unknown), so that no line wraps and breaks the redraw.
    FleetScreen(bool live, size_t columns);

    void Post(const std::string& port, LineKind kind, const std::string& text) override;

    // Writes what was posted since, then (live) the device lines below it.
    void Draw(const std::vector<std::string>& deviceLines);
    // Takes the device lines away and writes what is still queued.
    void Close();

  private:
    struct Posted {
        std::string port;
        LineKind kind;
        std::string text;
    };
    std::vector<Posted> Take();
    void Write(const std::vector<Posted>& posted);
    void Erase();

    const bool live_;
    const size_t columns_;
    std::mutex mutex_;
    std::vector<Posted> queue_;
    std::vector<std::string> drawn_;  // the device lines on screen (live)
};

}  // namespace q8cli
