#pragma once
// Choosing the port: the start-up sequence (COM1, else COM2), the port
// buttons and the CLI's --port. Each stores the port's index and the name
// the texts show. Thread: the window thread (or the CLI's main thread).

#include <string>

#include "link/SerialLink.h"
#include "session/MessageSink.h"
#include "session/Station.h"

namespace q8 {

// Opens COM1 (index 0) or COM2, or a device by its path, and shows why it
// failed: "GetCommState Failed" for a port whose line state cannot be read,
// then the open-failure text with its explanation as detail.
bool OpenComPort(SerialLink& link, int portIndex, MessageSink& messages);
bool OpenDevicePort(SerialLink& link, const std::string& device, MessageSink& messages);

// Opens COM1 and, only if that fails, stores port index 1 and opens COM2.
// When both fail, shows "不能打开COM1或COM2！" and returns false; the port
// index stays 1.
bool OpenStartupPort(SerialLink& link, CartridgeModel& model, MessageSink& messages);

// A port button: stores the index before the attempt (it stays even when the
// attempt fails), reopens the link and sets the status text and error flag.
// Nothing is sent to the device.
bool SelectPort(SerialLink& link, CartridgeModel& model, MessageSink& messages, int portIndex);

// The CLI's --port NAME: COM1 or COM2 in any case is that port (its index,
// its device and its name in the texts); any other name is opened as a device
// path and shown as given, with index 0. Nothing is shown beyond the link's
// own failure message.
bool OpenNamedPort(SerialLink& link, CartridgeModel& model, MessageSink& messages,
                   const std::string& name);

}  // namespace q8
