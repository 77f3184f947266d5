#pragma once
// A device whose every answer comes from the fuzzer's input. Each frame the
// host writes is answered by a few pieces, each after a pause that mostly
// sits on a boundary the host cares about (its deadline, the 401 ms waits of
// the line, the pause the host takes before reading), with bytes that are the
// well-formed reply with a fuzzed status and fuzzed data, that reply cut in
// two, raw bytes, or nothing. Now and then the port breaks for a frame. Once
// the input is used up the device is silent.

#include <cstdint>
#include <vector>

#include "Choices.h"
#include "sim/DeviceActions.h"
#include "sim/MemoryPort.h"

namespace q8fuzz {

class FuzzDevice {
  public:
    explicit FuzzDevice(Choices& in) : in_(in) {}

    // The port whose reads a broken frame fails; set once the port exists.
    void Attach(q8sim::MemoryPort& port) { port_ = &port; }

    std::vector<q8sim::Action> Answer(const uint8_t* frame, uint32_t length);
    q8sim::MemoryPort::Answerer Answerer() {
        return [this](const uint8_t* frame, uint32_t length) { return Answer(frame, length); };
    }

  private:
    uint32_t ChoosePause(uint8_t code);
    uint8_t ChooseStatus(uint8_t code);
    std::vector<uint8_t> Reply(uint8_t code);

    Choices& in_;
    q8sim::MemoryPort* port_ = nullptr;
    uint8_t code_ = 0;
};

}  // namespace q8fuzz
