#pragma once
// q8sim as a child process, so that the cartridge's files it holds in memory
// never count towards the bench's own peak resident size.
// Thread: the bench's main thread only.

#include <sys/types.h>

#include <string>
#include <vector>

namespace q8bench {

class SimProcess {
  public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { Stop(); }

    // Starts `program` with `args` and waits for the device path on its first
    // stdout line. False with Error() set when either fails.
    bool Start(const std::string& program, const std::vector<std::string>& args);
    // SIGTERM and reap. True when it had been running and exited with 0.
    bool Stop();

    const std::string& DevicePath() const { return devicePath_; }
    const std::string& Error() const { return error_; }

  private:
    pid_t pid_ = -1;
    std::string devicePath_;
    std::string error_;
};

}  // namespace q8bench
