#pragma once
// A simulated device on a pty with the real SerialLink opened on it as COM1,
// and the window's side of a refresh recorded.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "RecordingStation.h"
#include "link/SerialLink.h"
#include "protocol/LinkPort.h"
#include "session/Station.h"
#include "sim/Simulator.h"

namespace q8test {

class DeviceFixture : public ::testing::Test {
  protected:
    void StartDevice(q8sim::SimConfig config = {}) {
        sim = std::make_unique<q8sim::Simulator>(std::move(config));
        ASSERT_TRUE(sim->Start()) << sim->Error();
        setenv("Q8LOADER_COM1", sim->DevicePath().c_str(), 1);
        ASSERT_TRUE(link.Open(0).Opened());
    }
    void TearDown() override { unsetenv("Q8LOADER_COM1"); }

    std::vector<std::vector<uint8_t>> Sent(uint8_t command) const {
        return sim->FramesFromHost(command);
    }

    std::unique_ptr<q8sim::Simulator> sim;
    q8::SerialLink link;
    q8::LinkPort port{link};
    q8::Wire wire{port, q8::SystemClock()};
    q8::CartridgeModel model;
    RecordingView view;
    RecordingMessages messages;
    q8::Station station{wire, model, view};
};

}  // namespace q8test
