// The platform-free half of the port list: names and one-line descriptions.

#include "link/PortList.h"

namespace q8 {

const char* PortKindName(PortKind kind) {
    switch (kind) {
        case PortKind::BuiltIn:
            return "built-in UART";
        case PortKind::UsbSerial:
            return "USB adapter";
        case PortKind::UsbModem:
            return "USB modem";
        case PortKind::Other:
            break;
    }
    return "other";
}

const char* PortKindText(PortKind kind) {
    switch (kind) {
        case PortKind::BuiltIn:
            return "内置串口";
        case PortKind::UsbSerial:
            return "USB 串口适配器";
        case PortKind::UsbModem:
            return "USB 调制解调器";
        case PortKind::Other:
            break;
    }
    return "其他";
}

std::string DescribePort(const PortInfo& port) {
    std::string text = port.path + "（" + PortKindText(port.kind);
    std::string maker = port.manufacturer;
    if (!port.product.empty()) {
        maker += (maker.empty() ? "" : " ") + port.product;
    }
    if (maker.empty()) {
        maker = port.description;
    }
    if (!maker.empty()) {
        text += "，" + maker;
    }
    if (!port.vendorId.empty()) {
        text += "，" + port.vendorId + ":" + port.productId;
    }
    return text + "）";
}

}  // namespace q8
