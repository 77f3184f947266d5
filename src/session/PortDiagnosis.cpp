// The explanations themselves, the same on every system; what they are made
// of comes from the platform half (holders, groups, the port list).

#include "session/PortDiagnosis.h"

#include "link/PortList.h"

namespace q8 {

namespace {

std::string NoPermissionText(const OpenResult& error) {
    const std::string group = DeviceGroup(error.device);
    if (group.empty()) {
        return "没有打开 " + error.device + " 的权限。";
    }
    return "没有打开 " + error.device + " 的权限：它属于 " + group +
           " 组。把你的用户加入该组：\nsudo usermod -aG " + group + " $USER\n然后注销并重新登录。";
}

// Programs known to take serial ports that are not theirs, and what to do.
struct KnownHolder {
    const char* program;
    const char* hint;
};

constexpr KnownHolder KNOWN_HOLDERS[] = {
    {"ModemManager",
     "ModemManager 会接管新插入的串口。可以先停止它：\nsudo systemctl stop "
     "ModemManager\n或用 udev 规则 ENV{ID_MM_DEVICE_IGNORE}=\"1\" 让它不碰这个设备。"},
    {"brltty",
     "brltty（盲文显示器服务）会占用 CH340 等 USB 串口适配器。不用盲文显示器的话可以卸载它：\n"
     "sudo apt remove brltty\n然后重新插上适配器。"},
};

std::string BusyText(const OpenResult& error) {
    const std::vector<PortHolder>& holders = error.holders;
    if (holders.empty()) {
        return error.device + " 正被另一个程序占用。";
    }
    std::string text = error.device + " 正被";
    std::string hints;
    for (size_t i = 0; i < holders.size(); ++i) {
        text += (i == 0 ? " " : "、") + holders[i].program + "（进程 " +
                std::to_string(holders[i].pid) + "）";
        for (const KnownHolder& known : KNOWN_HOLDERS) {
            if (holders[i].program == known.program &&
                hints.find(known.hint) == std::string::npos) {
                hints += std::string("\n") + known.hint;
            }
        }
    }
    return text + "占用。" + hints;
}

std::string NodeKindText(NodeKind kind) {
    switch (kind) {
        case NodeKind::RegularFile:
            return "普通文件";
        case NodeKind::Directory:
            return "文件夹";
        case NodeKind::Pipe:
            return "管道";
        case NodeKind::Socket:
            return "套接字";
        case NodeKind::BlockDevice:
            return "块设备";
        case NodeKind::CharacterDevice:
            return "不是终端的设备";
        case NodeKind::Unknown:
            break;
    }
    return "未知类型";
}

std::string NoDeviceText(const OpenResult& error) {
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

std::string ExplainOpenFailure(const OpenResult& error) {
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
            return error.device + " 不是串口设备（" + NodeKindText(error.kind) + "）。";
        case OpenFailure::LineStateUnreadable:
            return "读不出 " + error.device + " 的线路设置（" + SystemErrorText(error.systemError) +
                   "）。";
        case OpenFailure::LineSettings:
            return error.device + " 不接受 115200 8N1 的线路设置（" +
                   SystemErrorText(error.systemError) + "）。";
        case OpenFailure::Other:
            break;
    }
    return error.device + "：" + SystemErrorText(error.systemError);
}

}  // namespace q8
