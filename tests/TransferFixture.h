#pragma once
// The pty fixture plus a transfer UI that answers like a user would: the
// progress window ends on the outcome (polled quickly, not every 500 ms) or is
// cancelled when the test says so; messages, captions and the worker's end
// are recorded.

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "PtyFixture.h"
#include "link/Tick.h"
#include "protocol/ProgressTick.h"
#include "protocol/TransferRun.h"

namespace q8test {

class ScriptedUi : public q8::TransferUi {
  public:
    void Show(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(text);
    }
    void PrepareProgress(const std::string& caption, const std::string& line) override {
        std::lock_guard<std::mutex> lock(mutex_);
        captions_.push_back(caption);
        lines_.push_back(line);
        ended_ = 0;
    }
    q8::ProgressResult RunProgress(const q8::TransferState& state) override {
        for (;;) {
            if (const int result = ended_.load()) {
                return static_cast<q8::ProgressResult>(result);
            }
            const q8::ProgressTick tick = q8::ReadProgress(state, q8::TickMs());
            if (tick.ended) {
                return tick.result;
            }
            if (cancelWhen && cancelWhen(state)) {
                return q8::ProgressResult::Cancelled;
            }
            q8::SleepMs(2);
        }
    }
    void ChangeCaption(const std::string& caption) override {
        std::lock_guard<std::mutex> lock(mutex_);
        captions_.push_back(caption);
    }
    void EndProgress(q8::ProgressResult result) override { ended_ = static_cast<int>(result); }
    // Nothing to keep alive here; RunTransfer joins the worker next.
    void WaitForWorker(const q8::WorkerThread& worker) override {
        workerOutlivedWindow = workerOutlivedWindow || !worker.Ended();
    }
    bool ChooseUploadTarget(std::string& path) override {
        path = target;
        return !target.empty();
    }

    std::vector<std::string> Messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    std::vector<std::string> Captions() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return captions_;
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

    // Set by the test before the transfer starts.
    std::function<bool(const q8::TransferState&)> cancelWhen;
    std::string target;
    bool workerOutlivedWindow = false;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    std::vector<std::string> captions_;
    std::vector<std::string> lines_;
    std::atomic<int> ended_{0};
};

class TransferFixture : public DeviceFixture {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/q8transfer-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        DeviceFixture::TearDown();
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string PathOf(const std::string& name) const { return dir + "/" + name; }

    void WriteFile(const std::string& name, const std::vector<uint8_t>& data) {
        FILE* f = std::fopen(PathOf(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        if (!data.empty()) {
            ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
        }
        std::fclose(f);
    }
    std::vector<uint8_t> ReadFile(const std::string& name) const {
        std::vector<uint8_t> data;
        FILE* f = std::fopen(PathOf(name).c_str(), "rb");
        if (f == nullptr) {
            return data;
        }
        for (int c; (c = std::fgetc(f)) != EOF;) {
            data.push_back(static_cast<uint8_t>(c));
        }
        std::fclose(f);
        return data;
    }
    // Names in the folder, to see that no temporary was left behind.
    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir;
    q8::TransferState state;
    ScriptedUi ui;
    q8::TransferContext transfer{station, state, ui};
};

}  // namespace q8test
