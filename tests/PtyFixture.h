#pragma once
// A simulated device on a pty with the real SerialLink opened on it as COM1,
// and the window's side of a refresh recorded.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "link/SerialLink.h"
#include "protocol/LinkPort.h"
#include "protocol/Station.h"
#include "sim/Simulator.h"

namespace q8test {

class RecordingMessages : public q8::MessageSink {
  public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

class RecordingView : public q8::CartridgeView {
  public:
    void DeleteAllRows() override {
        rows.clear();
        mark = -1;
    }
    void AppendRow(const q8::CartridgeRow& row) override { rows.push_back(row); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    int SelectionMark() const override { return mark; }
    void UpdateTexts(const q8::CartridgeModel& model) override {
        ++updates;
        shownStatus = model.status.text;
        shownError = model.status.error;
    }
    std::vector<q8::CartridgeRow> rows;
    int mark = -1;
    int updates = 0;
    std::string shownStatus;
    bool shownError = false;
};

inline q8sim::SimFile MakeSimFile(const std::string& nameGbk, size_t size) {
    q8sim::SimFile f;
    f.nameGbk = nameGbk;
    f.time = q8::DirTime{2005, 3, 7, 9, 5, 0};
    f.data.assign(size, 0x5A);
    return f;
}

class DeviceFixture : public ::testing::Test {
  protected:
    void StartDevice(q8sim::SimConfig config = {}) {
        sim = std::make_unique<q8sim::Simulator>(std::move(config));
        ASSERT_TRUE(sim->Start()) << sim->Error();
        setenv("Q8LOADER_COM1", sim->DevicePath().c_str(), 1);
        ASSERT_EQ(link.Open(0, messages), 1);
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
