// The window against q8sim over a pty: start-up, the port buttons, the status
// colour, and every device button driven as a user would, with the dialogs
// answered through the seam.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

#include "PtyFixture.h"
#include "link/Texts.h"
#include "link/Tick.h"
#include "protocol/Texts.h"
#include "sim/Simulator.h"
#include "ui/DownloadList.h"
#include "ui/MainDialog.h"
#include "ui/ReportList.h"

namespace {

using q8sim::Fault;
using q8sim::FaultKind;
using q8sim::SimConfig;
using q8ui::MainDialog;

constexpr const char* MISSING_PORT = "/nonexistent/q8-port";
const QColor RED(255, 0, 0);

class ScriptedDialogs : public q8ui::UserDialogs {
  public:
    void Message(QWidget*, const QString& text) override {
        messages << text;
        if (onMessage) {
            onMessage();
        }
    }
    bool ChooseDownloadFiles(QWidget*, QStringList& paths) override {
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

    QStringList messages;
    std::function<void()> onMessage;
    QStringList openFiles;
    QString saveAs;
    bool replace = false;
    int replaceAsked = 0;
};

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/q8window-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        window.reset();
        unsetenv("Q8LOADER_COM1");
        unsetenv("Q8LOADER_COM2");
        const std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    // The device on `port` ("COM1" or "COM2"); the other port does not exist.
    void StartDevice(SimConfig config, const char* port = "COM1") {
        if (config.files.empty()) {
            config.files = {q8test::MakeSimFile("a.bin", 3000),
                            q8test::MakeSimFile("\xd6\xd0\xce\xc4.bin", 700)};  // 中文.bin
        }
        sim = std::make_unique<q8sim::Simulator>(std::move(config));
        ASSERT_TRUE(sim->Start()) << sim->Error();
        const bool com1 = std::string(port) == "COM1";
        setenv("Q8LOADER_COM1", com1 ? sim->DevicePath().c_str() : MISSING_PORT, 1);
        setenv("Q8LOADER_COM2", com1 ? MISSING_PORT : sim->DevicePath().c_str(), 1);
    }
    void OpenWindow() {
        window = std::make_unique<MainDialog>(link, dialogs);
        window->Initialise();
    }
    void Click(int id) { window->Control<QAbstractButton>(id)->click(); }
    QString Text(int id) const { return window->Control<QLineEdit>(id)->text(); }
    q8ui::ReportList* Cartridge() const {
        return window->Control<q8ui::ReportList>(q8ui::ID_CARTRIDGE_LIST);
    }
    bool Checked(int id) const { return window->Control<QRadioButton>(id)->isChecked(); }
    std::string WriteHostFile(const std::string& name, size_t size, char fill = 'h') {
        const std::string path = dir + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        const std::string data(size, fill);
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        return path;
    }
    std::string ReadHostFile(const std::string& path) const {
        std::string data;
        FILE* f = std::fopen(path.c_str(), "rb");
        for (int c; f != nullptr && (c = std::fgetc(f)) != EOF;) {
            data.push_back(static_cast<char>(c));
        }
        if (f != nullptr) {
            std::fclose(f);
        }
        return data;
    }

    std::string dir;
    std::unique_ptr<q8sim::Simulator> sim;
    q8::SerialLink link;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainDialog> window;
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
    setenv("Q8LOADER_COM1", MISSING_PORT, 1);
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
    setenv("Q8LOADER_COM1", sim->DevicePath().c_str(), 1);
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

TEST_F(MainWindowTest, DownloadThroughTheButtonsAddsTheRowsAndEndsTheBatchOnce) {
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
    EXPECT_TRUE(captions.contains(QStringLiteral("下载文件..."))) << captions.join('|').toStdString();
    ASSERT_EQ(Cartridge()->RowCount(), 4);
    EXPECT_EQ(Cartridge()->RowTexts(2).at(0), QStringLiteral("one.bin"));
    EXPECT_EQ(Cartridge()->RowTexts(3).at(0), QStringLiteral("课文二.bin"));
    // Nothing answers the batch end; give the device a moment to take it.
    for (int i = 0; i < 500 && sim->Occurrences(q8::CMD_BATCH_END) == 0; ++i) {
        q8::SleepMs(2);
    }
    EXPECT_EQ(sim->FramesFromHost(q8::CMD_BATCH_END).size(), 1u);
    EXPECT_EQ(sim->Files().at(2).data, std::vector<uint8_t>(1500, 'h'));
    // The list keeps its rows after a download.
    EXPECT_EQ(window->Control<q8ui::DownloadList>(q8ui::ID_DOWNLOAD_LIST)->RowCount(), 2);
}

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

TEST_F(MainWindowTest, UploadToANewFileAndOverAnExistingOneOnlyWhenConfirmed) {
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
    EXPECT_EQ(sim->FramesFromHost(q8::CMD_UPLOAD_BEGIN).size(), 1u);

    dialogs.replace = true;
    Click(q8ui::ID_UPLOAD);
    EXPECT_EQ(ReadHostFile(old), expected);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();

    // Refused by the device: no outcome is set, so only the worker's own end
    // request, carried over after its message, closes the dialog.
    sim->AddFault(Fault{q8::CMD_UPLOAD_BEGIN, q8sim::EVERY_OCCURRENCE, FaultKind::Status, 0x05});
    dialogs.saveAs = QString::fromStdString(dir + "/refused.bin");
    bool rescued = false;
    QTimer::singleShot(5000, [&] {
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

TEST_F(MainWindowTest, DeleteTheLastFileAndEraseTheVoice) {
    StartDevice({});
    OpenWindow();

    Cartridge()->SelectRow(0, true);  // not the last one
    Click(q8ui::ID_DELETE);
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("删除卡盒中文件从最后开始！")});
    EXPECT_EQ(Cartridge()->RowCount(), 2);

    Cartridge()->SelectRow(1, true);
    Click(q8ui::ID_DELETE);
    EXPECT_EQ(Cartridge()->RowCount(), 1);
    EXPECT_EQ(sim->Files().size(), 1u);

    Click(q8ui::ID_ERASE_VOICE);
    EXPECT_EQ(Text(q8ui::ID_STATUS), QStringLiteral("擦除完成！"));
    EXPECT_EQ(sim->Occurrences(q8::CMD_ERASE_VOICE), 1);

    // The format button is there, but out of reach.
    EXPECT_FALSE(window->Control<QPushButton>(q8ui::ID_FORMAT)->isVisibleTo(window.get()));
    EXPECT_FALSE(window->Control<QPushButton>(q8ui::ID_FORMAT)->isEnabled());
}

TEST_F(MainWindowTest, SystemCommandsSixteenToThirtyOneOpenTheAboutBox) {
    setenv("Q8LOADER_COM1", MISSING_PORT, 1);
    setenv("Q8LOADER_COM2", MISSING_PORT, 1);
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
        EXPECT_EQ(opened, command == 16 || command == 31 ? QStringLiteral("关于 Linkwise")
                                                         : QString())
            << command;
    }
}

}  // namespace
