#pragma once
// The window's side of an operation, recorded: its message boxes, its
// cartridge list and what it was last told to show; and a cartridge file for
// the simulated device.

#include <string>
#include <vector>

#include "session/CartridgeView.h"
#include "session/MessageSink.h"
#include "sim/SimConfig.h"

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

}  // namespace q8test
