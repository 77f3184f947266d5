// The window against q8sim over a pty (start-up, the port buttons, the status
// colour, a cancel that the worker outlives) and against the device in memory
// on virtual time (the transfer and maintenance buttons): every device button
// driven as a user would, with the dialogs
// answered through the seam; where message boxes open, texts that do not
// fit, and the keyboard (key presses as the platform sends them, to the
// control with the focus: WindowInput.h).
//
// On Windows there is no pseudo-terminal for q8sim: the device lives in
// memory behind the window's exchanges and answers only while the link is
// open, and the one port that opens is a pseudo-terminal the test script maps
// to COM3 under Wine (see LinkedDevice).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <tuple>
#include <utility>

#include "RecordingStation.h"
#include "TempFolder.h"
#include "WindowInput.h"
#include "link/SerialLink.h"
#include "link/Tick.h"
#include "session/Maintenance.h"
#include "session/Texts.h"
#include "sim/DeviceModel.h"
#include "sim/MemoryPort.h"
#include "sim/VirtualClock.h"
#ifndef _WIN32
#include "sim/PseudoTerminal.h"
#include "sim/Simulator.h"
#endif
#include "ui/DownloadList.h"
#include "ui/MainDialog.h"
#include "ui/ReportList.h"
#include "ui/SystemMenu.h"

namespace {

using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;
using q8ui::MainDialog;

#ifdef _WIN32
constexpr const char* MISSING_PORT = "C:\\nonexistent\\q8-port";
// The pseudo-terminal scripts/windows-test.sh maps to COM3 before the run:
// the one port that opens. Nothing answers on it.
constexpr const char* LINE_PORT = "COM3";
#else
constexpr const char* MISSING_PORT = "/nonexistent/q8-port";
#endif
const QColor RED(255, 0, 0);
// 中文中文中文中文: eight characters, the longest name the cartridge keeps.
constexpr const char* EIGHT_CHINESE_GBK =
    "\xd6\xd0\xce\xc4\xd6\xd0\xce\xc4\xd6\xd0\xce\xc4\xd6\xd0\xce\xc4";

class ScriptedDialogs : public q8ui::UserDialogs {
  public:
    void Message(QWidget*, const QString& text) override {
        messages << text;
        if (onMessage) {
            onMessage();
        }
    }
    bool ChooseDownloadFiles(QWidget*, QStringList& paths) override {
        ++opened;
        paths = openFiles;
        return !openFiles.isEmpty();
    }
    bool ChooseSaveFile(QWidget*, QString& path) override {
        path = saveAs;
        return !saveAs.isEmpty();
    }
    bool ConfirmReplace(QWidget*, const QString&) override {
        ++replaceAsked;
        return replace;
    }
    void MessageWithDetail(QWidget* owner, const QString& text, const QString& detail) override {
        details << detail;
        Message(owner, text);
    }
    bool ChoosePortDevices(QWidget*, q8ui::PortDevices& devices) override {
        offeredPorts = devices;
        devices = choosePorts;
        return !choosePorts.com1.isEmpty() || !choosePorts.com2.isEmpty();
    }
    q8ui::PortDevices RememberedPortDevices() override { return remembered; }

    QStringList messages;
    std::function<void()> onMessage;
    QStringList openFiles;
    int opened = 0;
    QString saveAs;
    bool replace = false;
    int replaceAsked = 0;
    QStringList details;
    q8ui::PortDevices choosePorts;  // the answer to the port settings; empty: cancel
    q8ui::PortDevices offeredPorts;
    q8ui::PortDevices remembered;
};

// The virtual clock, except that a pause of `held` on a worker holds the
// worker there until Release(); `onHeld` runs on the worker as it stops. On
// the window thread nothing could release it, so the pause passes there.
// Holding() also hands what the worker did before it over to the caller.
class GatedClock final : public q8::Clock {
  public:
    GatedClock(q8sim::VirtualClock& inner, std::chrono::milliseconds held)
        : inner_(inner), held_(held) {}

    uint32_t TickMs() override { return inner_.TickMs(); }
    void Sleep(std::chrono::milliseconds pause) override {
        if (pause == held_ && QThread::currentThread() != qApp->thread()) {
            std::unique_lock<std::mutex> lock(mutex_);
            holding_ = true;
            onHeld();
            releasedChanged_.wait(lock, [this] { return released_; });
            holding_ = false;
        }
        inner_.Sleep(pause);
    }
    bool Holding() {
        std::lock_guard<std::mutex> lock(mutex_);
        return holding_;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = true;
        }
        releasedChanged_.notify_all();
    }

    std::function<void()> onHeld;

  private:
    q8sim::VirtualClock& inner_;
    const std::chrono::milliseconds held_;
    std::mutex mutex_;
    std::condition_variable releasedChanged_;
    bool holding_ = false;
    bool released_ = false;
};

// Runs `onPaint` once, after the next paint event of the widget it watches.
class PaintWatch : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && onPaint) {
            QTimer::singleShot(0, std::exchange(onPaint, nullptr));
        }
        return QObject::eventFilter(watched, event);
    }
    std::function<void()> onPaint;
};

#ifdef _WIN32
// q8sim's part on Windows: the device in memory, on virtual time, behind the
// window's exchanges. It hears and answers only while the link is open, and
// the link only opens on LINE_PORT, so as with q8sim nothing reaches the
// device through a port that did not open, or after it was stopped.
class LinkedDevice final : public q8::Port {
  public:
    LinkedDevice(const q8::SerialLink& link, SimConfig config)
        : link_(link), model_(std::move(config)) {}

    bool Start() { return true; }
    void Stop() { running_ = false; }
    std::string DevicePath() const { return LINE_PORT; }
    std::string Error() const { return std::string(); }
    int Occurrences(uint8_t command) const { return model_.Occurrences(command); }
    std::vector<std::vector<uint8_t>> FramesFromHost(uint8_t command) const {
        return model_.FramesFromHost(command);
    }
    q8::Clock& Clock() { return clock_; }

    void Write(const uint8_t* frame, uint32_t length) override {
        if (Reached()) {
            line_.Write(frame, length);
        }
    }
    // Without an open port the link fails a read at once.
    q8::ReadResult Read(uint8_t* buffer, uint32_t count, uint32_t& received,
                        std::chrono::milliseconds deadline) override {
        if (!Reached()) {
            received = 0;
            return q8::ReadResult::PortError;
        }
        return line_.Read(buffer, count, received, deadline);
    }
    void Purge() override { line_.Purge(); }

  private:
    bool Reached() const { return running_ && link_.IsOpen() && link_.LastOpen().Opened(); }

    const q8::SerialLink& link_;
    q8sim::DeviceModel model_;
    q8sim::VirtualClock clock_;
    q8sim::MemoryPort line_{clock_, q8sim::AnswerWith(model_)};
    bool running_ = true;
};
using Device = LinkedDevice;

std::unique_ptr<Device> MakeDevice(const q8::SerialLink& link, SimConfig config) {
    return std::make_unique<LinkedDevice>(link, std::move(config));
}
// The window's exchanges go to the device when there is one.
std::unique_ptr<MainDialog> MakeWindow(q8::SerialLink& link, q8ui::UserDialogs& with,
                                       Device* device) {
    if (device == nullptr) {
        return std::make_unique<MainDialog>(link, with);
    }
    return std::make_unique<MainDialog>(link, with, *device, device->Clock());
}
// The user's choice, which the window also finds remembered when it starts.
void PutOnPort(ScriptedDialogs& dialogs, const char* port, const std::string& device) {
    (std::string(port) == "COM1" ? dialogs.remembered.com1 : dialogs.remembered.com2) =
        QString::fromStdString(device);
    q8::ChoosePortDevice(port, device);
}
void ForgetPort(ScriptedDialogs& dialogs, const char* port) {
    PutOnPort(dialogs, port, std::string());
}
#else
using Device = q8sim::Simulator;

std::unique_ptr<Device> MakeDevice(const q8::SerialLink&, SimConfig config) {
    return std::make_unique<q8sim::Simulator>(std::move(config));
}
std::unique_ptr<MainDialog> MakeWindow(q8::SerialLink& link, q8ui::UserDialogs& with, Device*) {
    return std::make_unique<MainDialog>(link, with);
}
// Q8LOADER_COM1 / Q8LOADER_COM2, which come before any choice.
void PutOnPort(ScriptedDialogs&, const char* port, const std::string& device) {
    setenv((std::string("Q8LOADER_") + port).c_str(), device.c_str(), 1);
}
void ForgetPort(ScriptedDialogs&, const char* port) {
    unsetenv((std::string("Q8LOADER_") + port).c_str());
}
#endif

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Made());
        dir = folder_.Path();
    }
    void TearDown() override {
        window.reset();
        ForgetPort("COM1");
        ForgetPort("COM2");
        EXPECT_TRUE(folder_.Remove()) << dir;
    }

    // `device` stands behind `port` ("COM1" or "COM2") from the next open on.
    void PutOnPort(const char* port, const std::string& device) {
        ::PutOnPort(dialogs, port, device);
    }
    void ForgetPort(const char* port) { ::ForgetPort(dialogs, port); }

    // The device on `port` ("COM1" or "COM2"); the other port does not exist.
    // Two files unless the test gives its own.
    static void WithDefaultFiles(SimConfig& config) {
        if (config.files.empty()) {
            config.files = {q8test::MakeSimFile("a.bin", 3000),
                            q8test::MakeSimFile("\xd6\xd0\xce\xc4.bin", 700)};  // 中文.bin
        }
    }
    void StartDevice(SimConfig config, const char* port = "COM1") {
        WithDefaultFiles(config);
        sim = MakeDevice(link, std::move(config));
        ASSERT_TRUE(sim->Start()) << sim->Error();
        const bool com1 = std::string(port) == "COM1";
        PutOnPort("COM1", com1 ? sim->DevicePath() : MISSING_PORT);
        PutOnPort("COM2", com1 ? MISSING_PORT : sim->DevicePath());
    }
    void OpenWindow() { OpenWindow(dialogs); }
    void OpenWindow(q8ui::UserDialogs& with) {
        window = MakeWindow(link, with, sim.get());
        window->Initialise();
    }
    void Click(int id) { window->Control<QAbstractButton>(id)->click(); }
    void ShowActive() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(q8test::WaitForWindowActive(window.get()));
    }
    // A key as the user presses it: to the control with the focus.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        q8test::KeyClick(QApplication::focusWidget(), key, modifiers);
    }
    std::string FocusName() const {
        const QWidget* focus = QApplication::focusWidget();
        return focus != nullptr ? focus->objectName().toStdString() : "none";
    }
    QString Text(int id) const { return window->Control<QLineEdit>(id)->text(); }
    q8ui::ReportList* Cartridge() const {
        return window->Control<q8ui::ReportList>(q8ui::ID_CARTRIDGE_LIST);
    }
    bool Checked(int id) const { return window->Control<QRadioButton>(id)->isChecked(); }
    // Paths are UTF-8, which the narrow file calls do not take on Windows.
    std::string WriteHostFile(const std::string& name, size_t size, char fill = 'h') {
        const std::string path = dir + "/" + name;
        std::ofstream(q8test::FsPath(path), std::ios::binary) << std::string(size, fill);
        return path;
    }
    static std::string ReadHostFile(const std::string& path) {
        std::ifstream in(q8test::FsPath(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    q8test::TempFolder folder_{"q8window"};
    std::string dir;
    std::unique_ptr<Device> sim;
    q8::SerialLink link;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainDialog> window;
};

// The same window with its exchanges on the device in memory, on virtual
// time: the device's pauses and the host's cost nothing, only the progress
// dialog's 500 ms ticks are real. The link still opens COM1, a pty that
// nothing answers on (on Windows the one the test script maps to COM3).
class MemoryWindowTest : public MainWindowTest {
  protected:
    void StartDevice(SimConfig config) {
        WithDefaultFiles(config);
        device = q8sim::DeviceModel(std::move(config));
#ifdef _WIN32
        PutOnPort("COM1", LINE_PORT);
#else
        ASSERT_TRUE(line.Open()) << line.Error();
        PutOnPort("COM1", line.SlavePath());
#endif
        PutOnPort("COM2", MISSING_PORT);
    }
    void OpenWindow() {
        window = std::make_unique<MainDialog>(link, dialogs, port, clock);
        window->Initialise();
    }

#ifndef _WIN32
    q8sim::PseudoTerminal line;
#endif
    q8sim::DeviceModel device;
    q8sim::VirtualClock clock;
    q8sim::MemoryPort port{clock, q8sim::AnswerWith(device)};
};

TEST_F(MainWindowTest, StartupOpensCom1ElseCom2AndRefreshes) {
    for (const char* port : {"COM1", "COM2"}) {
        SCOPED_TRACE(port);
        const bool com1 = std::string(port) == "COM1";
        StartDevice({}, port);
        dialogs.messages.clear();
        OpenWindow();

        EXPECT_EQ(Checked(q8ui::ID_COM1), com1);
        EXPECT_EQ(Checked(q8ui::ID_COM2), !com1);
        EXPECT_EQ(window->Model().portIndex, com1 ? 0 : 1);
        EXPECT_EQ(dialogs.messages,
                  com1 ? QStringList() : QStringList{QString::fromUtf8(q8::TXT_OPEN_COM1_ERROR)});
        ASSERT_EQ(Cartridge()->RowCount(), 2);
        EXPECT_EQ(Cartridge()->RowTexts(1).at(0), QStringLiteral("中文.bin"));
        EXPECT_EQ(Text(q8ui::ID_TOTAL_SPACE), QStringLiteral("空间共计:4.00*8Mbits"));
        EXPECT_FALSE(Text(q8ui::ID_FREE_SPACE).isEmpty());
        EXPECT_NE(window->StatusColour(), RED);
        EXPECT_FALSE(Text(q8ui::ID_HINT).isEmpty());
        window.reset();
        sim->Stop();
    }
}

TEST_F(MainWindowTest, StartupWithoutPortsThenThePortButtonAndRefresh) {
    StartDevice({});
    PutOnPort("COM1", MISSING_PORT);
    OpenWindow();

    EXPECT_EQ(dialogs.messages, (QStringList{QString::fromUtf8(q8::TXT_OPEN_COM1_ERROR),
                                             QString::fromUtf8(q8::TXT_OPEN_COM2_ERROR),
                                             QStringLiteral("不能打开COM1或COM2！")}));
    EXPECT_FALSE(Checked(q8ui::ID_COM1));
    EXPECT_FALSE(Checked(q8ui::ID_COM2));
    EXPECT_EQ(window->Model().portIndex, 1);
    EXPECT_EQ(Cartridge()->RowCount(), 0);
    EXPECT_EQ(sim->Occurrences(q8::CMD_HELLO), 0);

    // COM2 is still missing: its message, the failure in red.
    Click(q8ui::ID_COM2);
    EXPECT_EQ(dialogs.messages.last(), QString::fromUtf8(q8::TXT_OPEN_COM2_ERROR));
    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("打开COM2失败！"));
    EXPECT_EQ(window->StatusColour(), RED);

    // COM1 now leads to the device; nothing is sent until "刷新".
    PutOnPort("COM1", sim->DevicePath());
    Click(q8ui::ID_COM1);
    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("打开COM1成功！"));
    EXPECT_NE(window->StatusColour(), RED);
    EXPECT_TRUE(Checked(q8ui::ID_COM1));
    EXPECT_EQ(Cartridge()->RowCount(), 0);
    EXPECT_EQ(sim->Occurrences(q8::CMD_HELLO), 0);
    Click(q8ui::ID_REFRESH);
    EXPECT_EQ(Cartridge()->RowCount(), 2);
}

TEST_F(MainWindowTest, StatusColourFollowsTheRefreshAndTheListHintsKeepIt) {
    SimConfig config;
    config.faults = {Fault{q8::CMD_HELLO, 1, FaultKind::NoReply}};
    StartDevice(config);
    OpenWindow();

    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("没有在COM1上找到设备！"));
    EXPECT_EQ(window->StatusColour(), RED);
    emit Cartridge()->ClickedAt(-1);  // a click on empty space
    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("卡盒中的文件列表只能单选！"));
    EXPECT_EQ(window->StatusColour(), RED);
    EXPECT_EQ(Cartridge()->HotRow(), -1);

    Click(q8ui::ID_REFRESH);
    EXPECT_EQ(Cartridge()->RowCount(), 2);
    EXPECT_NE(window->StatusColour(), RED);
    emit Cartridge()->ClickedAt(1);
    EXPECT_EQ(Cartridge()->HotRow(), 1);
    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("卡盒中的文件列表只能单选！"));
    EXPECT_NE(window->StatusColour(), RED);
    emit window->Control<q8ui::ReportList>(q8ui::ID_DOWNLOAD_LIST)->ClickedAt(-1);
    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("下载文件列表可以多选！"));

    // Losing the focus makes the marked row the hot one.
    Cartridge()->SelectRow(0, true);
    emit Cartridge()->FocusLost();
    EXPECT_EQ(Cartridge()->HotRow(), 0);
}

TEST_F(MemoryWindowTest, DownloadThroughTheButtonsAddsTheRowsAndEndsTheBatchOnce) {
    StartDevice({});
    OpenWindow();
    dialogs.openFiles = {QString::fromStdString(WriteHostFile("one.bin", 1500)),
                         QString::fromStdString(WriteHostFile("课文二.bin", 600))};
    Click(q8ui::ID_OPEN);
    ASSERT_EQ(window->Control<q8ui::DownloadList>(q8ui::ID_DOWNLOAD_LIST)->RowCount(), 2);
    // The worker retitles the dialog from its own thread once the device has
    // accepted the file.
    QStringList captions;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (q8ui::ProgressDialog* dialog = window->TransferUi().CurrentDialog()) {
            if (captions.isEmpty() || captions.last() != dialog->windowTitle()) {
                captions << dialog->windowTitle();
            }
        }
    });
    watch.start(10);

    Click(q8ui::ID_DOWNLOAD);
    watch.stop();

    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
    EXPECT_TRUE(captions.contains(QStringLiteral("下载文件...")))
        << captions.join('|').toStdString();
    ASSERT_EQ(Cartridge()->RowCount(), 4);
    EXPECT_EQ(Cartridge()->RowTexts(2).at(0), QStringLiteral("one.bin"));
    EXPECT_EQ(Cartridge()->RowTexts(3).at(0), QStringLiteral("课文二.bin"));
    EXPECT_EQ(device.FramesFromHost(q8::CMD_BATCH_END).size(), 1u);
    EXPECT_EQ(device.Files().at(2).data, std::vector<uint8_t>(1500, 'h'));
    // The list keeps its rows after a download.
    EXPECT_EQ(window->Control<q8ui::DownloadList>(q8ui::ID_DOWNLOAD_LIST)->RowCount(), 2);
}

// Not on Windows: the worker must wait out the device's 3.5 s in real time,
// which the device in memory does not take.
#ifndef _WIN32
// Cancel while the worker waits 8 s for the erase to finish: the dialog goes
// at once, but the button returns only once the worker has ended, and the
// worker's late message box is still shown (the window keeps serving events
// while it waits).
TEST_F(MainWindowTest, CancelClosesTheDialogAtOnceAndWaitsForTheWorker) {
    SimConfig config;
    config.downloadBeginDelayMs = 3500;
    config.faults = {Fault{q8::CMD_DOWNLOAD_BEGIN, 1, FaultKind::WrongCode, 0xA8}};
    StartDevice(config);
    OpenWindow();
    dialogs.openFiles = {QString::fromStdString(WriteHostFile("c.bin", 3000))};
    Click(q8ui::ID_OPEN);

    bool endedAtCancel = false;
    bool messageAfterDialog = false;
    uint32_t beginSeen = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        q8ui::ProgressDialog* dialog = window->TransferUi().CurrentDialog();
        if (dialog == nullptr || dialog->HasEnded()) {
            return;
        }
        if (beginSeen == 0 && sim->Occurrences(q8::CMD_DOWNLOAD_BEGIN) > 0) {
            beginSeen = q8::TickMs();
        }
        if (beginSeen != 0 && q8::TickMs() - beginSeen > 2500) {
            dialog->findChild<QPushButton*>()->click();
            endedAtCancel = dialog->HasEnded();
        }
    });
    dialogs.onMessage = [&] {
        q8ui::ProgressDialog* dialog = window->TransferUi().CurrentDialog();
        messageAfterDialog = dialog != nullptr && dialog->HasEnded();
    };
    poll.start(20);
    Click(q8ui::ID_DOWNLOAD);
    poll.stop();

    EXPECT_TRUE(endedAtCancel);
    EXPECT_TRUE(messageAfterDialog);
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("数据错误！请重试！")});
    EXPECT_TRUE(sim->FramesFromHost(q8::CMD_DOWNLOAD_BLOCK).empty());
    EXPECT_TRUE(sim->FramesFromHost(q8::CMD_BATCH_END).empty());
    EXPECT_EQ(window->TransferUi().CurrentDialog(), nullptr);
}
#endif

TEST_F(MemoryWindowTest, UploadToANewFileAndOverAnExistingOneOnlyWhenConfirmed) {
    StartDevice({});
    OpenWindow();
    const std::string expected(3000, 0x5A);

    Click(q8ui::ID_UPLOAD);  // nothing marked
    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("请在卡盒文件列表中选择文件！"));

    Cartridge()->SelectRow(0, true);
    dialogs.saveAs = QString::fromStdString(dir + "/new.bin");
    Click(q8ui::ID_UPLOAD);
    EXPECT_EQ(ReadHostFile(dir + "/new.bin"), expected);
    EXPECT_EQ(dialogs.replaceAsked, 0);

    const std::string old = WriteHostFile("old.bin", 10, 'o');
    dialogs.saveAs = QString::fromStdString(old);
    dialogs.replace = false;
    Click(q8ui::ID_UPLOAD);
    EXPECT_EQ(dialogs.replaceAsked, 1);
    EXPECT_EQ(ReadHostFile(old), std::string(10, 'o'));
    EXPECT_EQ(device.FramesFromHost(q8::CMD_UPLOAD_BEGIN).size(), 1u);

    dialogs.replace = true;
    Click(q8ui::ID_UPLOAD);
    EXPECT_EQ(ReadHostFile(old), expected);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();

    // Refused by the device: no outcome is set, so only the worker's own end
    // request, carried over after its message, closes the dialog.
    device.AddFault(Fault{q8::CMD_UPLOAD_BEGIN, q8sim::EVERY_OCCURRENCE, FaultKind::Status, 0x05});
    dialogs.saveAs = QString::fromStdString(dir + "/refused.bin");
    bool rescued = false;
    QTimer::singleShot(5000, window.get(), [&] {
        q8ui::ProgressDialog* dialog = window->TransferUi().CurrentDialog();
        if (dialog != nullptr && !dialog->HasEnded()) {
            rescued = true;
            dialog->reject();
        }
    });
    Click(q8ui::ID_UPLOAD);
    EXPECT_FALSE(rescued);
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("卡盒没有此文件，请刷新！")});
    EXPECT_EQ(ReadHostFile(dir + "/refused.bin"), "");
}

TEST_F(MemoryWindowTest, DeleteTheLastFileAndEraseTheVoice) {
    StartDevice({});
    OpenWindow();

    Cartridge()->SelectRow(0, true);  // not the last one
    Click(q8ui::ID_DELETE);
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("删除卡盒中文件从最后开始！")});
    EXPECT_EQ(Cartridge()->RowCount(), 2);

    Cartridge()->SelectRow(1, true);
    Click(q8ui::ID_DELETE);
    EXPECT_EQ(Cartridge()->RowCount(), 1);
    EXPECT_EQ(device.Files().size(), 1u);

    Click(q8ui::ID_ERASE_VOICE);
    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("擦除完成！"));
    EXPECT_EQ(device.Occurrences(q8::CMD_ERASE_VOICE), 1);

    // The format button is there, but out of reach.
    EXPECT_FALSE(window->Control<QPushButton>(q8ui::ID_FORMAT)->isVisibleTo(window.get()));
    EXPECT_FALSE(window->Control<QPushButton>(q8ui::ID_FORMAT)->isEnabled());
}

// Held in the pause after its command, a delete leaves the window painting
// under the wait cursor, and the refresh and port buttons, clicked past the
// held-back input, do nothing; then the delete ends as it always does.
TEST_F(MemoryWindowTest, WhileADeletePausesTheWindowPaintsAndNoOtherButtonWorks) {
    StartDevice({});
    GatedClock gate(clock, q8::DELETE_PAUSE);
    window = std::make_unique<MainDialog>(link, dialogs, port, gate);
    window->Initialise();
    window->show();
    ASSERT_TRUE(q8test::WaitForWindowExposed(window.get()));
    Cartridge()->SelectRow(1, true);
    const int hellos = device.Occurrences(q8::CMD_HELLO);

    PaintWatch paints;
    window->installEventFilter(&paints);
    bool held = false, waitCursor = false, painted = false;
    int hellosWhileHeld = -1;
    gate.onHeld = [&] {
        QMetaObject::invokeMethod(
            window.get(),
            [&] {
                held = gate.Holding();
                const QCursor* cursor = QApplication::overrideCursor();
                waitCursor = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
                paints.onPaint = [&] {
                    painted = true;
                    Click(q8ui::ID_REFRESH);
                    Click(q8ui::ID_COM2);
                    hellosWhileHeld = device.Occurrences(q8::CMD_HELLO);
                    gate.Release();
                };
                window->update();
            },
            Qt::QueuedConnection);
    };
    Click(q8ui::ID_DELETE);

    EXPECT_TRUE(held);
    EXPECT_TRUE(waitCursor);
    EXPECT_TRUE(painted);
    EXPECT_EQ(hellosWhileHeld, hellos);
    EXPECT_TRUE(Checked(q8ui::ID_COM1));
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The delete's own refresh, and nothing for the held-back one.
    EXPECT_EQ(device.Occurrences(q8::CMD_HELLO), hellos + 1);
    EXPECT_EQ(Cartridge()->RowCount(), 1);
    EXPECT_EQ(device.Files().size(), 1u);
    EXPECT_EQ(window->Model().status.text, "");
    Click(q8ui::ID_REFRESH);
    EXPECT_EQ(device.Occurrences(q8::CMD_HELLO), hellos + 2);
}

TEST_F(MainWindowTest, SystemCommandsSixteenToThirtyOneOpenTheAboutBox) {
    PutOnPort("COM1", MISSING_PORT);
    PutOnPort("COM2", MISSING_PORT);
    OpenWindow();
    for (int command : {15, 16, 31, 32, 0xF060 + 16}) {
        QString opened;
        QTimer::singleShot(0, [&opened] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = modal->windowTitle();
                modal->close();
            }
        });
        window->OnSystemCommand(command);
        QApplication::processEvents();
        EXPECT_EQ(opened,
                  command == 16 || command == 31 ? QStringLiteral("关于 Linkwise") : QString())
            << command;
    }
}

// A shown field scrolls to its caret; the first character shows when the
// caret is at the start and nothing has scrolled out on the left.
TEST_F(MainWindowTest, SpaceTextsShowFromTheFirstCharacterAndWholeInTheirToolTip) {
    const std::pair<uint32_t, const char*> cases[] = {
        {4u << 20, "空间共计:4.00*8Mbits"},
        {128u << 20, "空间共计:128.00*8Mbits"},
        {0xFFFFFFFFu, "空间共计:4096.00*8Mbits"},  // the longest size text
    };
    constexpr int CLEARLY_FITS_PX = 8;  // a text this much narrower fits
    auto caretLeft = [](QLineEdit* field) {
        field->grab();  // draws it, and with that scrolls it to its caret
        return field->inputMethodQuery(Qt::ImCursorRectangle).toRect().left();
    };
    for (const auto& [totalBytes, text] : cases) {
        SCOPED_TRACE(text);
        SimConfig config;
        config.totalBytes = totalBytes;
        StartDevice(config);
        OpenWindow();
        Click(q8ui::ID_REFRESH);  // the same texts once more
        QLineEdit* field = window->Control<QLineEdit>(q8ui::ID_TOTAL_SPACE);
        EXPECT_EQ(field->text(), QString::fromUtf8(text));
        QLineEdit unscrolled;
        unscrolled.setFont(field->font());
        unscrolled.resize(field->size());
        unscrolled.setFrame(false);
        EXPECT_EQ(caretLeft(field), caretLeft(&unscrolled));
        const int width = field->fontMetrics().horizontalAdvance(field->text());
        if (width > field->width() || width + CLEARLY_FITS_PX < field->width()) {
            EXPECT_EQ(field->toolTip(), width > field->width() ? field->text() : QString());
        }
        window.reset();
        sim->Stop();
    }
}

// Not on Windows: the minimal platform's screen is 240x320, smaller than the
// window, so a box over the window is pushed back onto the screen.
#ifndef _WIN32
// The platform's own message boxes, closed as soon as they are up.
TEST_F(MainWindowTest, MessageBoxesOpenOverTheScreenUntilTheWindowIsUpThenOverIt) {
    constexpr int CENTRED_PX = 8;  // frames are a few pixels
    PutOnPort("COM1", MISSING_PORT);
    PutOnPort("COM2", MISSING_PORT);
    q8ui::NativeDialogs native(QString::fromStdString(dir + "/settings.ini"));
    std::vector<QRect> boxes;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&boxes] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.push_back(box->frameGeometry());
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(10);
    auto apart = [](const QRect& a, const QRect& b) {
        return (a.center() - b.center()).manhattanLength();
    };
    OpenWindow(native);
    ASSERT_EQ(boxes.size(), 3u);
    for (const QRect& box : boxes) {
        EXPECT_LE(apart(box, window->screen()->availableGeometry()), CENTRED_PX);
    }
    window->move(200, 150);  // well away from the screen's centre
    window->show();
    Click(q8ui::ID_COM2);  // still missing: the link's message
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_LE(apart(boxes[3], window->frameGeometry()), CENTRED_PX);
    EXPECT_GT(apart(boxes[3], window->screen()->availableGeometry()), 10 * CENTRED_PX);
}

// Also not on Windows: the minimal platform there has no fonts, only a
// stand-in that makes every character 12 px wide, so other cells are cut; and
// off its small screen no tool tip shows.
TEST_F(MainWindowTest, CutCellsShowTheirWholeTextAsToolTip) {
    SimConfig config;
    config.files = {q8test::MakeSimFile("a.bin", 3000),
                    q8test::MakeSimFile(EIGHT_CHINESE_GBK, 700)};
    StartDevice(config);
    OpenWindow();
    const std::string folder = dir + "/" + std::string(60, 'f');
    ASSERT_TRUE(std::filesystem::create_directory(q8test::FsPath(folder)));
    dialogs.openFiles = {QString::fromStdString(WriteHostFile(std::string(60, 'f') + "/s.bin", 1))};
    Click(q8ui::ID_OPEN);
    window->show();
    // What a tool-tip request over a cell shows; a list that wants none
    // ignores the request.
    auto tipOver = [this](int list, int row, int column) {
        auto* view = window->Control<q8ui::ReportList>(list);
        const QPoint at = view->visualRect(view->model()->index(row, column)).center();
        QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &help);
        return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text().toStdString() : "";
    };
    EXPECT_EQ(tipOver(q8ui::ID_CARTRIDGE_LIST, 1, 0), "中文中文中文中文");
    EXPECT_EQ(tipOver(q8ui::ID_CARTRIDGE_LIST, 0, 0), "");
    EXPECT_EQ(tipOver(q8ui::ID_CARTRIDGE_LIST, 1, 1), "");
    EXPECT_EQ(tipOver(q8ui::ID_DOWNLOAD_LIST, 0, 3), folder);
    EXPECT_EQ(tipOver(q8ui::ID_DOWNLOAD_LIST, 0, 0), "");
}
#endif

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonAndNoOther) {
    StartDevice({});
    OpenWindow();
    ShowActive();
    q8test::MouseClick(window->Control<QWidget>(q8ui::ID_REFRESH));
    const struct {
        int focus;  // clicked when a list, else given the focus
        Qt::Key key;
        int opens, refreshes;
    } cases[] = {{q8ui::ID_CARTRIDGE_LIST, Qt::Key_Return, 0, 0},
                 {q8ui::ID_DOWNLOAD_LIST, Qt::Key_Return, 0, 0},
                 {q8ui::ID_COM1, Qt::Key_Enter, 0, 0},
                 {q8ui::ID_REFRESH, Qt::Key_Return, 0, 1},
                 {q8ui::ID_OPEN, Qt::Key_Enter, 1, 0}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.focus);
        if (auto* list = window->Control<q8ui::ReportList>(test.focus)) {
            q8test::MouseClick(list->viewport(), QPoint(5, 5));
        } else {
            window->Control<QWidget>(test.focus)->setFocus(Qt::TabFocusReason);
        }
        const int hellos = sim->Occurrences(q8::CMD_HELLO);
        const int opens = dialogs.opened;
        Press(test.key, test.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_EQ(dialogs.opened - opens, test.opens);
        EXPECT_EQ(sim->Occurrences(q8::CMD_HELLO) - hellos, test.refreshes);
    }
}

// Tab: the buttons in their order, the checked port button ("格式化" is
// hidden), then the lists, whose arrow keys move the selection and the hot
// row; the arrow keys in the port group open the other port.
TEST_F(MainWindowTest, KeyboardReachesTheListsAndThePorts) {
    StartDevice({});
    OpenWindow();
    ShowActive();
    window->Control<QWidget>(q8ui::ID_OPEN)->setFocus(Qt::TabFocusReason);
    std::string visited = FocusName();
    for (int i = 0; i < 12; ++i) {
        Press(Qt::Key_Tab);
        visited += ' ';
        visited += FocusName();
    }
    EXPECT_EQ(visited, "1001 1002 1003 1004 1006 1007 1009 1010 1020 1011 1016 1017 1001");

    const std::pair<Qt::Key, int> steps[] = {
        {Qt::Key_Space, 0}, {Qt::Key_Down, 1}, {Qt::Key_Up, 0}};
    window->Control<QWidget>(q8ui::ID_DOWNLOAD_LIST)->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Tab);
    for (const auto& [key, row] : steps) {
        Press(key);
        EXPECT_EQ(Cartridge()->SelectionMark(), row) << key;
        EXPECT_EQ(Cartridge()->HotRow(), row) << key;
    }

    window->Control<QWidget>(q8ui::ID_COM1)->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Down);
    EXPECT_EQ(FocusName(), "1021");
    EXPECT_TRUE(Checked(q8ui::ID_COM2));
    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("打开COM2失败！"));  // COM2 is missing
    window->Control<QWidget>(q8ui::ID_REFRESH)->setFocus(Qt::TabFocusReason);
    Press(Qt::Key_Tab);
    EXPECT_EQ(FocusName(), "1021");
}

// Not on Windows: there the items are in the system menu, which the window
// does not draw itself.
#ifndef _WIN32
TEST_F(MainWindowTest, ShiftF10AndTheMenuKeyOpenTheContextMenu) {
    PutOnPort("COM1", MISSING_PORT);
    PutOnPort("COM2", MISSING_PORT);
    OpenWindow();
    const std::tuple<int, Qt::Key, Qt::KeyboardModifiers, bool> cases[] = {
        {q8ui::ID_UPLOAD, Qt::Key_F10, Qt::ShiftModifier, true},
        {q8ui::ID_CARTRIDGE_LIST, Qt::Key_Menu, Qt::NoModifier, true},
        {q8ui::ID_UPLOAD, Qt::Key_F10, Qt::NoModifier, false},
    };
    for (const auto& [focus, key, modifiers, opens] : cases) {
        SCOPED_TRACE(key);
        ShowActive();  // again after the last menu
        window->Control<QWidget>(focus)->setFocus(Qt::TabFocusReason);
        QStringList items;
        QTimer::singleShot(0, [&items] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (const QAction* action : menu->actions()) {
                    items << action->text();
                }
                menu->close();
            }
        });
        Press(key, modifiers);
        QApplication::processEvents();
        EXPECT_EQ(items.contains(QStringLiteral("关于 Linkwise(&A)...")), opens);
    }
}
#endif

// A port that will not open says why in the box's details; the port
// settings put a device behind COM1, reopen it and bring it back next run.
TEST_F(MainWindowTest, PortSettingsChooseTheDeviceBehindAPortAndExplainFailures) {
    StartDevice({}, "COM1");
    const std::string device = sim->DevicePath();
    ForgetPort("COM1");
    PutOnPort("COM2", MISSING_PORT);
    dialogs.remembered.com1 = QString::fromUtf8(MISSING_PORT);
    OpenWindow();
    ASSERT_EQ(dialogs.details.size(), 2);
    EXPECT_TRUE(dialogs.details[0].startsWith(QStringLiteral("没有 ") + MISSING_PORT))
        << dialogs.details[0].toStdString();
    EXPECT_EQ(Cartridge()->RowCount(), 0);

    // Cancelled: nothing changes.
    window->OnSystemCommand(q8ui::PORT_SETTINGS_COMMAND);
    EXPECT_EQ(dialogs.offeredPorts.com1, QString::fromUtf8(MISSING_PORT));
    EXPECT_FALSE(link.IsOpen());

    // COM1's device changes, COM2's stays.
    const QString com2 = QString::fromStdString(q8::ChosenPortDevice("COM2"));
    dialogs.choosePorts = {QString::fromStdString(device), com2};
    window->OnSystemCommand(q8ui::PORT_SETTINGS_COMMAND);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_TRUE(Checked(q8ui::ID_COM1));
    EXPECT_EQ(window->Model().status.text, "打开COM1成功！");
    Click(q8ui::ID_REFRESH);
    EXPECT_EQ(Cartridge()->RowCount(), 2);

    // The next run starts on the remembered device.
    window.reset();
    q8::ChoosePortDevice("COM1", "");
    dialogs.remembered.com1 = QString::fromStdString(device);
    OpenWindow();
    EXPECT_TRUE(Checked(q8ui::ID_COM1));
    EXPECT_EQ(Cartridge()->RowCount(), 2);

    // A user's file chosen by mistake is refused, and neither that nor a
    // refresh after it writes into the file.
    q8test::TempFolder folder("q8notaport");
    const std::string file = folder.Path() + "/notes.txt";
    std::ofstream(file) << "keep me";
    const auto stamp = std::filesystem::last_write_time(file);
    dialogs.details.clear();
    dialogs.choosePorts = {QString::fromStdString(file), com2};
    window->OnSystemCommand(q8ui::PORT_SETTINGS_COMMAND);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(window->Model().status.text, "打开COM1失败！");
    ASSERT_EQ(dialogs.details.size(), 1);
    EXPECT_EQ(dialogs.details[0].toStdString(), file + " 不是串口设备（普通文件）。");
    Click(q8ui::ID_REFRESH);
    EXPECT_EQ(window->Model().status.text, "没有在COM1上找到设备！");
    EXPECT_EQ(ReadHostFile(file), "keep me");
    EXPECT_EQ(std::filesystem::last_write_time(file), stamp);
    q8::ChoosePortDevice("COM1", "");
}

}  // namespace
