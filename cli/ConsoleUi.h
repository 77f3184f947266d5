#pragma once
// The CLI's side of the core's interfaces: messages go to stderr, cartridge
// rows are collected for printing. Thread: the CLI's main thread.

#include <string>
#include <vector>

#include "session/MessageSink.h"
#include "session/Station.h"

namespace q8cli {

class StderrMessages : public q8::MessageSink {
  public:
    void Show(const std::string& text) override;
    // The text, then what the system says behind it, on the next lines.
    void ShowWithDetail(const std::string& text, const std::string& detail) override;
};

class CollectedRows : public q8::CartridgeView {
  public:
    void DeleteAllRows() override {
        rows_.clear();
        mark_ = -1;
    }
    void AppendRow(const q8::CartridgeRow& row) override { rows_.push_back(row); }
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    int SelectionMark() const override { return mark_; }
    void SetMark(int row) { mark_ = row; }
    void UpdateTexts(const q8::CartridgeModel&) override {}
    const std::vector<q8::CartridgeRow>& Rows() const { return rows_; }

  private:
    std::vector<q8::CartridgeRow> rows_;
    int mark_ = -1;
};

}  // namespace q8cli
