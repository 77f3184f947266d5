#pragma once
// The window's side of the operations: the cartridge list and the copy of
// the model's texts into the controls.
// Thread: the thread that runs the operation; the window carries each call
// over to its own thread.

#include <string>

#include "session/CartridgeModel.h"

namespace q8 {

// One row of the cartridge list, as shown.
struct CartridgeRow {
    std::string name;      // UTF-8
    std::string size;      // FormatSize
    std::string modified;  // "%d-%d-%d %d:%d"
};

class CartridgeView {
  public:
    virtual ~CartridgeView() = default;
    virtual void DeleteAllRows() = 0;
    virtual void AppendRow(const CartridgeRow& row) = 0;
    virtual int RowCount() const = 0;
    // Index of the marked row, -1 when none is; the list marks one row at most.
    virtual int SelectionMark() const = 0;
    // Copy the status text and the two space texts (and the status colour)
    // into the controls at once.
    virtual void UpdateTexts(const CartridgeModel& model) = 0;
};

}  // namespace q8
