#include "session/PortSelection.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

#include "session/PortDiagnosis.h"
#include "session/Texts.h"

namespace q8 {

namespace {

constexpr int NOT_A_COM_PORT = -1;
constexpr int COM_PORTS = 2;

// The index of "COM1" or "COM2" written in any case; NOT_A_COM_PORT else.
int ComPortIndex(const std::string& name) {
    const auto sameLetter = [](char given, char upper) {
        return std::toupper(static_cast<unsigned char>(given)) == upper;
    };
    for (int index = 0; index < COM_PORTS; ++index) {
        const std::string com = PortName(index);
        if (std::equal(name.begin(), name.end(), com.begin(), com.end(), sameLetter)) {
            return index;
        }
    }
    return NOT_A_COM_PORT;
}

// Stores the port about to be opened, under the name the user knows it by.
void Choose(CartridgeModel& model, int portIndex, std::string name) {
    model.portIndex = portIndex;
    model.portName = std::move(name);
}

// What a failed open has always shown: "GetCommState Failed" first for a port
// whose line state cannot be read, then `failureText` with the explanation.
bool Report(const OpenResult& result, const std::string& failureText, MessageSink& messages) {
    if (result.Opened()) {
        return true;
    }
    if (result.failure == OpenFailure::LineStateUnreadable) {
        messages.Show(TXT_GET_COMM_STATE_FAILED);
    }
    messages.ShowWithDetail(failureText, ExplainOpenFailure(result));
    return false;
}

}  // namespace

bool OpenComPort(SerialLink& link, int portIndex, MessageSink& messages) {
    return Report(link.Open(portIndex), portIndex == 0 ? TXT_OPEN_COM1_ERROR : TXT_OPEN_COM2_ERROR,
                  messages);
}

bool OpenDevicePort(SerialLink& link, const std::string& device, MessageSink& messages) {
    return Report(link.OpenDevice(device), OpenErrorText(device), messages);
}

bool OpenStartupPort(SerialLink& link, CartridgeModel& model, MessageSink& messages) {
    Choose(model, 0, PortName(0));
    if (OpenComPort(link, 0, messages)) {
        return true;
    }
    Choose(model, 1, PortName(1));
    if (OpenComPort(link, 1, messages)) {
        return true;
    }
    messages.Show(TXT_CANNOT_OPEN_PORTS);
    return false;
}

bool SelectPort(SerialLink& link, CartridgeModel& model, MessageSink& messages, int portIndex) {
    const int index = portIndex == 0 ? 0 : 1;
    Choose(model, index, PortName(index));
    const bool opened = OpenComPort(link, model.portIndex, messages);
    if (model.portIndex == 0) {
        model.status.text = opened ? TXT_OPEN_COM1_OK : TXT_OPEN_COM1_FAILED;
    } else {
        model.status.text = opened ? TXT_OPEN_COM2_OK : TXT_OPEN_COM2_FAILED;
    }
    model.status.error = !opened;
    return opened;
}

bool OpenNamedPort(SerialLink& link, CartridgeModel& model, MessageSink& messages,
                   const std::string& name) {
    const int com = ComPortIndex(name);
    if (com != NOT_A_COM_PORT) {
        Choose(model, com, PortName(com));
        return OpenComPort(link, com, messages);
    }
    Choose(model, 0, name);
    return OpenDevicePort(link, name, messages);
}

}  // namespace q8
