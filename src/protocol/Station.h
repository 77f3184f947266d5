#pragma once
// What an operation on the device works with: the wire, the window's strings
// and its cartridge list. The window and the CLI each provide one.
//
// Thread: the window thread (or the CLI's main thread); a transfer worker
// uses it only while its progress window is up.

#include "protocol/CartridgeModel.h"
#include "protocol/CartridgeView.h"
#include "protocol/Wire.h"

namespace q8 {

struct Station {
    Wire& wire;
    CartridgeModel& model;
    CartridgeView& view;
};

}  // namespace q8
