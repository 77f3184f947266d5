#pragma once
// The CLI's cartridge list: the rows are collected for printing, and the
// file a command names stands for the row a window user marks.
// Thread: the CLI's main thread.

#include <string>
#include <vector>

#include "session/Station.h"

namespace q8cli {

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
