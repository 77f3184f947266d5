// Which ports there are (a fake sysfs tree) and why one would not open (real
// pseudo-terminals held by another process or closed to this user).

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "link/PortList.h"
#include "link/SerialLink.h"
#include "session/PortDiagnosis.h"
#include "sim/PseudoTerminal.h"

namespace {

namespace fs = std::filesystem;

void Put(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
}

// A machine with a real UART, an empty UART slot, an FTDI-style adapter, a
// modem-class board and a virtual console, as sysfs and /dev show them.
class FakeSystem : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Made());
        root_ = folder_.Path();
        const fs::path tty = root_ / "sys/class/tty";
        const fs::path usb = root_ / "sys/devices/pci0000:00/usb1";
        AddTty("ttyS0", root_ / "sys/devices/platform/serial8250/tty/ttyS0", "4");
        AddTty("ttyS1", root_ / "sys/devices/platform/serial8250/tty/ttyS1", "0");
        AddUsb(usb / "1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI");
        AddTty("ttyUSB0", usb / "1-1/1-1:1.0/ttyUSB0", "");
        AddUsb(usb / "1-2", "2341", "0043", "Arduino", "Uno", "");
        AddTty("ttyACM0", usb / "1-2/1-2:1.0/tty/ttyACM0", "");
        fs::create_directories(tty / "tty0");  // no device behind it
        fs::create_directories(root_ / "dev/serial/by-id");
        fs::create_symlink("../../ttyUSB0", root_ / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    }

    void AddTty(const std::string& name, const fs::path& device, const std::string& type) {
        fs::create_directories(device);
        const fs::path entry = root_ / "sys/class/tty" / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(device, entry / "device");
        if (!type.empty()) {
            Put(entry / "type", type);
        }
        Put(root_ / "dev" / name, "");
    }
    static void AddUsb(const fs::path& dir, const char* vid, const char* pid, const char* maker,
                       const char* product, const char* serial) {
        Put(dir / "idVendor", vid);
        Put(dir / "idProduct", pid);
        Put(dir / "manufacturer", maker);
        Put(dir / "product", product);
        if (*serial != '\0') {
            Put(dir / "serial", serial);
        }
    }
    q8::PortSystem System() const { return {(root_ / "sys").string(), (root_ / "dev").string()}; }

    q8test::TempFolder folder_{"q8ports"};
    fs::path root_;
};

TEST_F(FakeSystem, ListsPortsWithTheirKindUsbDetailsAndStableNames) {
    const std::vector<q8::PortInfo> ports = q8::ListPorts(false, System());
    const std::string dev = (root_ / "dev").string();
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].path, dev + "/ttyACM0");
    EXPECT_EQ(ports[0].kind, q8::PortKind::UsbModem);
    EXPECT_EQ(ports[0].vendorId + ":" + ports[0].productId, "2341:0043");
    EXPECT_EQ(ports[0].serial, "");
    EXPECT_EQ(ports[0].stableName, "");
    EXPECT_EQ(ports[1].path, dev + "/ttyS0");
    EXPECT_EQ(ports[1].kind, q8::PortKind::BuiltIn);
    EXPECT_EQ(ports[1].vendorId, "");
    EXPECT_EQ(ports[2].path, dev + "/ttyUSB0");
    EXPECT_EQ(ports[2].kind, q8::PortKind::UsbSerial);
    EXPECT_EQ(ports[2].manufacturer + "|" + ports[2].product + "|" + ports[2].serial,
              "FTDI|FT232R USB UART|A50285BI");
    EXPECT_EQ(ports[2].stableName, dev + "/serial/by-id/usb-FTDI_FT232R-if00-port0");
    EXPECT_EQ(q8::DescribePort(ports[2]),
              dev + "/ttyUSB0（USB 串口适配器，FTDI FT232R USB UART，0403:6001）");

    // The empty UART slot only when asked for.
    const std::vector<q8::PortInfo> all = q8::ListPorts(true, System());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[2].path, dev + "/ttyS1");
    EXPECT_TRUE(q8::ListPorts(true, {"/nonexistent", "/dev"}).empty());
}

// A child that holds the port as another program would, under `name`: with
// a lock, or with a plain open() as a terminal program or a port prober does.
pid_t HoldInChild(const std::string& path, const char* name, bool lock) {
    int ready[2];
    if (pipe(ready) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_NAME, name);
        // Not the test's pseudo-terminal master: that would make it the device.
        for (int inherited = STDERR_FILENO + 1; inherited < ready[1]; ++inherited) {
            close(inherited);
        }
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        const bool held = fd >= 0 && (!lock || flock(fd, LOCK_EX | LOCK_NB) == 0);
        const char answer = held ? 'y' : 'n';
        (void)!write(ready[1], &answer, 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char answer = 'n';
    (void)!read(ready[0], &answer, 1);
    close(ready[0]);
    return answer == 'y' ? pid : -1;
}

void EndChild(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

TEST(OpenFailure, BusyPortNamesItsHolderWithAHintForKnownTakers) {
    struct Case {
        const char* holder;
        bool lock;         // else a plain open() that came before ours
        const char* hint;  // a line the explanation must hold; empty: no hint
    };
    for (const Case c :
         {Case{"q8holder", true, ""}, Case{"ModemManager", true, "systemctl stop ModemManager"},
          Case{"q8terminal", false, ""}, Case{"brltty", false, "sudo apt remove brltty"}}) {
        SCOPED_TRACE(c.holder);
        q8sim::PseudoTerminal pty;
        ASSERT_TRUE(pty.Open()) << pty.Error();
        const pid_t child = HoldInChild(pty.SlavePath(), c.holder, c.lock);
        ASSERT_GT(child, 0);
        q8::SerialLink link;
        EXPECT_EQ(link.OpenDevice(pty.SlavePath()).Opened(), false);
        EXPECT_FALSE(link.IsOpen());
        const q8::OpenResult& error = link.LastOpen();
        EXPECT_EQ(error.failure, q8::OpenFailure::Busy);
        const std::string text = q8::ExplainOpenFailure(error);
        EXPECT_NE(text.find(std::string(c.holder) + "（进程 " + std::to_string(child) + "）占用。"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("sudo") != std::string::npos, *c.hint != '\0') << text;
        EXPECT_NE(text.find(c.hint), std::string::npos) << text;
        EXPECT_EQ(q8::AccessText(pty.SlavePath()),
                  "busy (" + std::string(c.holder) + ", pid " + std::to_string(child) + ")");
        EndChild(child);
    }
}

// The program at a pseudo-terminal's master side is the device, even when it
// keeps the slave open as well (as simulators do); only the others compete.
TEST(OpenFailure, PseudoTerminalsOwnDeviceSideIsNoHolder) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t device = fork();
    if (device == 0) {
        q8sim::PseudoTerminal pty;
        const bool open = pty.Open();
        const std::string path = open ? pty.SlavePath() : std::string();
        (void)!write(ready[1], path.c_str(), path.size() + 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char path[64] = {};
    ASSERT_GT(read(ready[0], path, sizeof path - 1), 1);
    close(ready[0]);

    q8::SerialLink link;
    EXPECT_TRUE(q8::FindHolders(path).empty());
    EXPECT_EQ(link.OpenDevice(path).Opened(), true);
    EndChild(device);
}

// Runs in a child that has given up root: the port belongs to the dialout
// group, which this user is not in.
[[noreturn]] void OpenAsNobody(const std::string& path) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
        setuid(nobody->pw_uid) != 0) {
        _exit(2);
    }
    q8::SerialLink link;
    const bool refused =
        !link.OpenDevice(path).Opened() && link.LastOpen().failure == q8::OpenFailure::NoPermission;
    const std::string text = q8::ExplainOpenFailure(link.LastOpen());
    const bool explained = text.find("属于 dialout 组") != std::string::npos &&
                           text.find("sudo usermod -aG dialout $USER") != std::string::npos;
    const bool listed = q8::AccessText(path) == "permission denied (group dialout)";
    _exit(refused && explained && listed ? 0 : 1);
}

TEST(OpenFailure, NoPermissionNamesTheGroupAndTheCommand) {
    const group* dialout = getgrnam("dialout");
    if (geteuid() != 0 || dialout == nullptr) {
        GTEST_SKIP() << "needs root to give the port away and a dialout group";
    }
    q8sim::PseudoTerminal pty;
    ASSERT_TRUE(pty.Open()) << pty.Error();
    ASSERT_EQ(chown(pty.SlavePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0660), 0);
    EXPECT_EXIT(OpenAsNobody(pty.SlavePath()), ::testing::ExitedWithCode(0), "");
}

TEST(OpenFailure, MissingDeviceListsThePortsThereAre) {
    q8::SerialLink link;
    EXPECT_EQ(link.OpenDevice("/dev/q8-no-such-port").Opened(), false);
    EXPECT_EQ(link.LastOpen().failure, q8::OpenFailure::NoDevice);
    const std::string text = q8::ExplainOpenFailure(link.LastOpen());
    EXPECT_EQ(text.rfind("没有 /dev/q8-no-such-port 这个设备", 0), 0u) << text;
    for (const q8::PortInfo& port : q8::ListPorts(false)) {
        EXPECT_NE(text.find(port.path), std::string::npos) << text;
    }
    EXPECT_EQ(q8::AccessText("/dev/q8-no-such-port"), "no device node");
}

}  // namespace
