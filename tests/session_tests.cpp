// The Session as a front end drives it: several devices side by side, each on
// its own line, clock and thread; and a transfer on the caller's own thread,
// as a host with one thread runs it.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "TransferFixture.h"
#include "host/HostFile.h"
#include "session/Session.h"
#include "session/Texts.h"
#include "sim/DeviceModel.h"
#include "sim/MemoryPort.h"
#include "sim/VirtualClock.h"

namespace {

using q8test::MakeSimFile;

// One simulated device with everything a session on it needs.
template <typename Ui = q8test::ScriptedUi>
struct Bench {
    explicit Bench(q8sim::SimConfig config = {}) : device(std::move(config)) {}

    q8sim::DeviceModel device;
    q8sim::VirtualClock clock{q8test::VIRTUAL_START_MS};
    q8sim::MemoryPort port{clock, q8sim::AnswerWith(device)};
    q8test::RecordingView view;
    Ui ui{clock};
    q8::Session session{port, clock, view, ui};
};

q8::DownloadRow RowFor(const std::string& path) {
    q8::DownloadRow row;
    q8::SplitPath(path, row.folder, row.name);
    return row;
}

std::string WriteHostFile(const std::string& path, size_t size, char fill) {
    std::ofstream(path, std::ios::binary) << std::string(size, fill);
    return path;
}

TEST(Session, DevicesSideBySideEachKeepTheirOwnFilesTextsAndTime) {
    q8test::TempFolder folder("q8session");
    ASSERT_TRUE(folder.Made());
    struct Device {
        const char* hostName;
        std::vector<q8sim::SimFile> files;
        size_t sendBytes;
        char fill;
    };
    const std::vector<Device> devices = {
        {"a.bin", {MakeSimFile("A1.BIN", 700)}, 5000, 'a'},
        {"b.bin", {}, 20000, 'b'},
        {"c.bin", {MakeSimFile("C1.BIN", 10), MakeSimFile("C2.BIN", 20)}, 3, 'c'},
    };
    std::vector<std::unique_ptr<Bench<>>> benches;
    std::vector<std::string> paths;
    for (size_t i = 0; i < devices.size(); ++i) {
        q8sim::SimConfig config;
        config.files = devices[i].files;
        benches.push_back(std::make_unique<Bench<>>(config));
        paths.push_back(WriteHostFile(folder.PathOf(devices[i].hostName), devices[i].sendBytes,
                                      devices[i].fill));
    }
    std::vector<q8::DownloadOutcome> outcomes(devices.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < devices.size(); ++i) {
        threads.emplace_back([&, i] {
            outcomes[i] = benches[i]->session.Download({RowFor(paths[i])},
                                                       q8::Session::ReadBackMode::Compare);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    for (size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE(devices[i].hostName);
        const Bench<>& b = *benches[i];
        EXPECT_EQ(outcomes[i].batch, q8::BatchResult::Done);
        ASSERT_EQ(outcomes[i].verified.size(), 1u);
        EXPECT_EQ(outcomes[i].verified[0].check.result, q8::ReadBackResult::Same);
        EXPECT_TRUE(outcomes[i].Succeeded());
        ASSERT_EQ(b.device.Files().size(), devices[i].files.size() + 1);
        EXPECT_EQ(
            b.device.Files().back().data,
            std::vector<uint8_t>(devices[i].sendBytes, static_cast<uint8_t>(devices[i].fill)));
        EXPECT_EQ(b.session.Model().info.fileCount, static_cast<int32_t>(b.device.Files().size()));
        EXPECT_EQ(b.view.RowCount(), static_cast<int>(b.device.Files().size()));
        EXPECT_EQ(b.ui.Lines().front(), paths[i]);
        EXPECT_TRUE(b.ui.Messages().empty());
        EXPECT_EQ(b.device.FramesFromHost(q8::CMD_BATCH_END).size(), 1u);
    }
}

// Records the threads the worker's calls to the UI came from.
class ThreadRecordingUi : public q8test::ScriptedUi {
  public:
    using ScriptedUi::ScriptedUi;
    void ChangeCaption(const std::string& caption) override {
        Note();
        ScriptedUi::ChangeCaption(caption);
    }
    void Show(const std::string& text) override {
        Note();
        ScriptedUi::Show(text);
    }
    std::set<std::thread::id> Threads() {
        std::lock_guard<std::mutex> lock(mutex_);
        return threads_;
    }

  private:
    void Note() {
        std::lock_guard<std::mutex> lock(mutex_);
        threads_.insert(std::this_thread::get_id());
    }
    std::mutex mutex_;
    std::set<std::thread::id> threads_;
};

TEST(Session, TransfersRunToTheirEndOnTheCallersThread) {
    q8test::TempFolder folder("q8caller");
    ASSERT_TRUE(folder.Made());
    const std::string source = WriteHostFile(folder.PathOf("big.bin"), 5 * 4096 + 100, 'k');
    struct Case {
        const char* name;
        bool cancelAtThirdBlock;
        uint8_t uploadStatus;  // nonzero: the device refuses the read-back
        q8::BatchResult batch;
        q8::ReadBackResult readBack;       // with a batch that was done
        std::vector<std::string> endings;  // the UI's "end" events
    };
    using Batch = q8::BatchResult;
    using Check = q8::ReadBackResult;
    const std::vector<Case> cases = {
        {"done", false, 0, Batch::Done, Check::Same, {"end done", "end done"}},
        {"cancelled", true, 0, Batch::Stopped, Check::UploadFailed, {"end cancelled"}},
        {"read-back refused",
         false,
         0x05,
         Batch::Done,
         Check::UploadFailed,
         {"end done", "end failed", "end failed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench<ThreadRecordingUi> b;
        b.session.RunTransfersOn(q8::TransferThread::Caller);
        if (c.uploadStatus != 0) {
            b.device.AddFault(q8sim::Fault{q8::CMD_UPLOAD_BEGIN, q8sim::EVERY_OCCURRENCE,
                                           q8sim::FaultKind::Status, c.uploadStatus});
        }
        int blocks = 0;
        b.port.SetWriteObserver([&](const uint8_t* frame, uint32_t) {
            if (frame[0] == q8::CMD_DOWNLOAD_BLOCK && ++blocks == 3 && c.cancelAtThirdBlock) {
                b.session.CancelTransfer();  // a one-thread host's Cancel, during a wait
            }
        });

        const q8::DownloadOutcome outcome =
            b.session.Download({RowFor(source)}, q8::Session::ReadBackMode::Compare);

        EXPECT_EQ(outcome.batch, c.batch);
        if (c.batch == q8::BatchResult::Done) {
            ASSERT_EQ(outcome.verified.size(), 1u);
            EXPECT_EQ(outcome.verified[0].check.result, c.readBack);
        } else {
            EXPECT_TRUE(outcome.verified.empty());
            EXPECT_TRUE(b.device.FramesFromHost(q8::CMD_BATCH_END).empty());
        }
        std::vector<std::string> endings;
        for (const std::string& event : b.ui.Events()) {
            if (event.rfind("end ", 0) == 0) {
                endings.push_back(event);
            }
        }
        EXPECT_EQ(endings, c.endings);
        EXPECT_EQ(b.ui.Threads(), std::set<std::thread::id>{std::this_thread::get_id()});
    }
}

}  // namespace
