#pragma once
// The simulated device on a pseudo-terminal: a thread reads what the host
// writes to DevicePath(), feeds it to a DeviceModel and plays back the answer,
// optionally at the real line's speed.
//
// Thread: Start, Stop, SetWireObserver and the destructor from the owning
// thread; every other member from any thread.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "DeviceModel.h"
#include "PseudoTerminal.h"
#include "SimConfig.h"
#include "WireRecorder.h"

namespace q8sim {

// A reply the host does not take off the line is given up after this long.
inline constexpr uint32_t WRITE_GIVE_UP_MS = 2000;

class Simulator {
  public:
    explicit Simulator(SimConfig config = {});
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    ~Simulator();

    // Opens the pty and starts the device thread. False with Error() set when
    // the pty cannot be had. Starting a running simulator does nothing.
    bool Start();
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // The pty slave to give the host (Q8LOADER_COM1); empty until Start.
    const std::string& DevicePath() const { return pty_.SlavePath(); }
    const std::string& Error() const { return error_; }

    void AddFault(const Fault& fault);
    void ClearFaults();

    // Set before Start; called on the device thread for every record.
    void SetWireObserver(WireRecorder::Observer observer) {
        wire_.SetObserver(std::move(observer));
    }
    std::vector<WireRecord> WireLog() const { return wire_.Records(); }
    // Also forgets the frames FramesFromHost returns; fault counts go on.
    void ClearWireLog();
    std::vector<std::vector<uint8_t>> FramesFromHost(uint8_t command) const;
    int Occurrences(uint8_t command) const;

    std::vector<SimFile> Files() const;
    uint32_t FreeBytes() const;
    size_t DroppedBytes() const;

    // Runs `use` on the device model under its lock: to look at the cartridge
    // or to change the device between exchanges (machine type, space, files).
    template <typename Use>
    auto WithModel(Use&& use) {
        std::lock_guard<std::mutex> lock(modelMutex_);
        return use(model_);
    }

  private:
    using Clock = std::chrono::steady_clock;

    void Run();
    bool Play(const std::vector<Action>& actions);
    bool WriteAll(const std::vector<uint8_t>& bytes);
    // Sleeps until `when`; false when Stop cut the wait short.
    bool WaitUntil(Clock::time_point when);

    const bool lineRate_;
    mutable std::mutex modelMutex_;
    DeviceModel model_;
    WireRecorder wire_;
    PseudoTerminal pty_;
    std::string error_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
};

}  // namespace q8sim
