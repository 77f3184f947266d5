#pragma once
// The simulated device in memory behind the protocol's port, on a virtual
// clock: no pty and no waiting, and every deadline lands on the millisecond.
// The clock starts a few seconds before the 32-bit tick wraps, so every test
// also runs across the wrap.

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "RecordingStation.h"
#include "session/Station.h"
#include "sim/DeviceModel.h"
#include "sim/MemoryPort.h"
#include "sim/VirtualClock.h"

namespace q8test {

inline constexpr uint64_t VIRTUAL_START_MS = 0xFFFFFFFFull - 5000;

class MemoryDeviceFixture : public ::testing::Test {
  protected:
    // A new device with `config`; the line and the clock go on as they are.
    void StartDevice(q8sim::SimConfig config = {}) {
        device = q8sim::DeviceModel(std::move(config));
    }

    std::vector<std::vector<uint8_t>> Sent(uint8_t command) const {
        return device.FramesFromHost(command);
    }
    // Virtual milliseconds since the test began.
    uint64_t ElapsedMs() const { return clock.NowMs() - VIRTUAL_START_MS; }

    q8sim::DeviceModel device;
    q8sim::VirtualClock clock{VIRTUAL_START_MS};
    q8sim::MemoryPort port{clock, q8sim::AnswerWith(device)};
    q8::Wire wire{port, clock};
    q8::CartridgeModel model;
    RecordingView view;
    RecordingMessages messages;
    q8::Station station{wire, model, view};
};

}  // namespace q8test
