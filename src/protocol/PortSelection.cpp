#include "protocol/PortSelection.h"

#include "protocol/Texts.h"

namespace q8 {

bool OpenStartupPort(SerialLink& link, CartridgeModel& model, MessageSink& messages) {
    model.portIndex = 0;
    if (link.Open(0, messages) == 1) {
        return true;
    }
    model.portIndex = 1;
    if (link.Open(1, messages) == 1) {
        return true;
    }
    messages.Show(TXT_CANNOT_OPEN_PORTS);
    return false;
}

bool SelectPort(SerialLink& link, CartridgeModel& model, MessageSink& messages, int portIndex) {
    model.portIndex = portIndex == 0 ? 0 : 1;
    const bool opened = link.Open(model.portIndex, messages) == 1;
    if (model.portIndex == 0) {
        model.status.text = opened ? TXT_OPEN_COM1_OK : TXT_OPEN_COM1_FAILED;
    } else {
        model.status.text = opened ? TXT_OPEN_COM2_OK : TXT_OPEN_COM2_FAILED;
    }
    model.status.error = !opened;
    return opened;
}

}  // namespace q8
