// The explanations themselves, the same on every system; what they are made
// of comes from the platform half (holders, groups, the port list).

#include "link/PortDiagnosis.h"

#include "link/PortList.h"

namespace q8 {

namespace {

constexpr const char* PORT_MANAGER = "ModemManager";

std::string NoPermissionText(const OpenError& error) {
    const std::string group = DeviceGroup(error.device);
    if (group.empty()) {
        return "没有打开 " + error.device + " 的权限。";
    }
    return "没有打开 " + error.device + " 的权限：它属于 " + group +
           " 组。把你的用户加入该组：\nsudo usermod -aG " + group + " $USER\n然后注销并重新登录。";
}

std::string BusyText(const OpenError& error) {
    const std::vector<PortHolder> holders = FindHolders(error.device);
    if (holders.empty()) {
        return error.device + " 正被另一个程序占用。";
    }
    std::string text = error.device + " 正被";
    bool portManager = false;
    for (size_t i = 0; i < holders.size(); ++i) {
        text += (i == 0 ? " " : "、") + holders[i].program + "（进程 " +
                std::to_string(holders[i].pid) + "）";
        portManager = portManager || holders[i].program == PORT_MANAGER;
    }
    text += " 占用。";
    if (portManager) {
        text +=
            "\nModemManager 会接管新插入的串口。可以先停止它：\nsudo systemctl stop "
            "ModemManager\n或用 udev 规则 ENV{ID_MM_DEVICE_IGNORE}=\"1\" 让它不碰这个设备。";
    }
    return text;
}

std::string NoDeviceText(const OpenError& error) {
    const std::vector<PortInfo> ports = ListPorts(false);
    if (ports.empty()) {
        return "没有 " + error.device + " 这个设备，本机也没有找到别的串口。";
    }
    std::string text = "没有 " + error.device + " 这个设备。本机现有的串口：";
    for (const PortInfo& port : ports) {
        text += "\n  " + DescribePort(port);
    }
    return text;
}

}  // namespace

std::string ExplainOpenFailure(const OpenError& error) {
    switch (error.failure) {
        case OpenFailure::None:
            return std::string();
        case OpenFailure::NoDevice:
            return NoDeviceText(error);
        case OpenFailure::NoPermission:
            return NoPermissionText(error);
        case OpenFailure::Busy:
            return BusyText(error);
        case OpenFailure::NotASerialPort:
            return error.device + " 不是串口（" + SystemErrorText(error.systemError) + "）。";
        case OpenFailure::LineSettings:
            return error.device + " 不接受 115200 8N1 的线路设置（" +
                   SystemErrorText(error.systemError) + "）。";
        case OpenFailure::Other:
            break;
    }
    return error.device + "：" + SystemErrorText(error.systemError);
}

}  // namespace q8
