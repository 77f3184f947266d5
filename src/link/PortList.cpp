// The platform-free half of the port list: names and one-line descriptions.

#include "link/PortList.h"

#include <iterator>

namespace q8 {

namespace {

// Each kind in the CLI's English and the window's Chinese.
struct KindNames {
    PortKind kind;
    const char* name;
    const char* text;
};

constexpr KindNames KIND_NAMES[] = {
    {PortKind::BuiltIn, "built-in UART", "内置串口"},
    {PortKind::UsbSerial, "USB adapter", "USB 串口适配器"},
    {PortKind::UsbModem, "USB modem", "USB 调制解调器"},
    {PortKind::Other, "other", "其他"},
};

const KindNames& NamesOf(PortKind kind) {
    for (const KindNames& names : KIND_NAMES) {
        if (names.kind == kind) {
            return names;
        }
    }
    return KIND_NAMES[std::size(KIND_NAMES) - 1];
}

}  // namespace

const char* PortKindName(PortKind kind) {
    return NamesOf(kind).name;
}

const char* PortKindText(PortKind kind) {
    return NamesOf(kind).text;
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
