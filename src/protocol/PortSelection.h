#pragma once
// Choosing the port: the start-up sequence (COM1, else COM2) and the port
// buttons. Thread: the window thread (or the CLI's main thread).

#include "link/MessageSink.h"
#include "link/SerialLink.h"
#include "protocol/Station.h"

namespace q8 {

// Opens COM1 and, only if that fails, stores port index 1 and opens COM2.
// When both fail, shows "不能打开COM1或COM2！" and returns false; the port
// index stays 1.
bool OpenStartupPort(SerialLink& link, CartridgeModel& model, MessageSink& messages);

// A port button: stores the index before the attempt (it stays even when the
// attempt fails), reopens the link and sets the status text and error flag.
// Nothing is sent to the device.
bool SelectPort(SerialLink& link, CartridgeModel& model, MessageSink& messages, int portIndex);

}  // namespace q8
