#pragma once
// What an operation on the device works with: the wire, the window's strings
// and its cartridge list. The window and the CLI each provide one.
//
// Thread: one at a time: the thread that runs the operation (the CLI's main
// thread, or a worker the window waits for while it keeps painting); a
// transfer worker uses it only while its progress window is up.

#include "protocol/Wire.h"
#include "session/CartridgeModel.h"
#include "session/CartridgeView.h"

namespace q8 {

struct Station {
    Wire& wire;
    CartridgeModel& model;
    CartridgeView& view;
};

}  // namespace q8
