// The page's one device: a Session on the page's serial port, its cartridge
// list, texts, messages and progress handed to the page's JavaScript
// (Module.host, see web/app.js), and the functions behind the page's buttons.
// Transfers run on the page's one thread; while one of these functions awaits
// the line, the page draws the progress from q8_progress and may call
// q8_cancel, and nothing else.

#include <emscripten.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "WebLine.h"
#include "host/HostFile.h"
#include "session/FormatSize.h"
#include "session/Session.h"
#include "session/Texts.h"

// JavaScript, not C++: clang-format would break its operators.
// clang-format off
EM_JS(void, JsClearRows, (), { Module.host.clearRows(); });

EM_JS(void, JsAppendRow, (const char* name, const char* size, const char* modified),
      { Module.host.appendRow(UTF8ToString(name), UTF8ToString(size), UTF8ToString(modified)); });

EM_JS(void, JsTexts, (const char* status, int error, const char* total, const char* free), {
    Module.host.texts(UTF8ToString(status), error != 0, UTF8ToString(total), UTF8ToString(free));
});

// Returns once the user has pressed the message's OK.
EM_ASYNC_JS(void, JsShow, (const char* text), { await Module.host.message(UTF8ToString(text)); });

EM_JS(void, JsPrepareProgress, (const char* caption, const char* line),
      { Module.host.progress(UTF8ToString(caption), UTF8ToString(line)); });

EM_JS(void, JsCaption, (const char* caption), { Module.host.caption(UTF8ToString(caption)); });

EM_JS(void, JsEndProgress, (int result), { Module.host.endProgress(result); });

// The uploaded file leaves the in-memory file system as a browser download.
EM_JS(void, JsOffer, (const char* path, const char* name), {
    const file = UTF8ToString(path);
    const bytes = FS.readFile(file);
    FS.unlink(file);
    Module.host.offer(UTF8ToString(name), bytes);
});

// clang-format on

namespace q8web {

namespace {

// The browser names no port: the texts say "the serial port".
constexpr const char* PORT_NAME = "串口";
// Where an upload is written before the page offers it.
constexpr const char* UPLOAD_FOLDER = "/upload";
constexpr mode_t FOLDER_MODE = 0700;

class PageView final : public q8::CartridgeView {
  public:
    void DeleteAllRows() override {
        names_.clear();
        mark_ = -1;
        JsClearRows();
    }
    void AppendRow(const q8::CartridgeRow& row) override {
        names_.push_back(row.name);
        JsAppendRow(row.name.c_str(), row.size.c_str(), row.modified.c_str());
    }
    int RowCount() const override { return static_cast<int>(names_.size()); }
    int SelectionMark() const override { return mark_; }
    void UpdateTexts(const q8::CartridgeModel& model) override {
        JsTexts(model.status.text.c_str(), model.status.error ? 1 : 0, model.info.totalText.c_str(),
                model.info.freeText.c_str());
    }

    // The row the user clicked, -1 for none.
    void Mark(int row) { mark_ = row >= 0 && row < RowCount() ? row : -1; }
    std::string MarkedName() const { return mark_ < 0 ? std::string() : names_[mark_]; }

  private:
    std::vector<std::string> names_;
    int mark_ = -1;
};

class PageUi final : public q8::TransferUi {
  public:
    explicit PageUi(PageView& view) : view_(view) {}

    void Show(const std::string& text) override { JsShow(text.c_str()); }
    void PrepareProgress(const std::string& caption, const std::string& line) override {
        JsPrepareProgress(caption.c_str(), line.c_str());
    }
    // Transfers run on the caller's thread, which never asks for this: the
    // work has ended before its result is read.
    q8::ProgressResult RunProgress(const q8::TransferState& state) override {
        return q8::ResultOfOutcome(state.Outcome());
    }
    void ChangeCaption(const std::string& caption) override { JsCaption(caption.c_str()); }
    void EndProgress(q8::ProgressResult result) override {
        JsEndProgress(static_cast<int>(result));
    }
    void WaitForWorker(const q8::WorkerThread&) override {}

    // The marked file's own name, in the in-memory folder. A cartridge name
    // may be anything: one that is no file name there ('/' in it, ".", "..",
    // none) is changed, and the browser still offers the cartridge's.
    bool ChooseUploadTarget(std::string& path) override {
        name_ = view_.MarkedName();
        std::string safe = name_;
        for (char& c : safe) {
            if (c == '/') {
                c = '_';
            }
        }
        if (safe.empty() || safe == "." || safe == "..") {
            safe += "_";
        }
        mkdir(UPLOAD_FOLDER, FOLDER_MODE);
        path = q8::JoinPath(UPLOAD_FOLDER, safe);
        path_ = path;
        return true;
    }
    const std::string& UploadPath() const { return path_; }
    const std::string& UploadName() const { return name_; }

  private:
    PageView& view_;
    std::string path_;
    std::string name_;
};

struct Page {
    WebClock clock;
    WebPort port{clock};
    PageView view;
    PageUi ui{view};
    q8::Session session{port, clock, view, ui};
    std::vector<q8::DownloadRow> rows;
    std::string text;  // what the last text-returning export returned

    Page() {
        session.RunTransfersOn(q8::TransferThread::Caller);
        session.Model().portName = PORT_NAME;
    }
};

Page& ThePage() {
    static Page page;
    return page;
}

}  // namespace

}  // namespace q8web

using q8web::ThePage;

// The buttons. Each may await the line: JavaScript calls them through
// ccall(..., {async: true}), one at a time.
extern "C" {

// "刷新": 1 when the cartridge was read.
EMSCRIPTEN_KEEPALIVE int q8_refresh() {
    return ThePage().session.Refresh().Ok() ? 1 : 0;
}

// A port the browser would not open, in the texts of a port that would not.
EMSCRIPTEN_KEEPALIVE void q8_port_failed() {
    ThePage().ui.Show(q8::OpenErrorText(q8web::PORT_NAME));
}

EMSCRIPTEN_KEEPALIVE void q8_clear_download_rows() {
    ThePage().rows.clear();
}

// One row of the download list: the page has put the file into the
// in-memory file system as `folder`/`name`.
EMSCRIPTEN_KEEPALIVE void q8_add_download_row(const char* name, const char* folder) {
    ThePage().rows.push_back(q8::DownloadRow{name, folder});
}

// "下载": the batch's result (q8::BatchResult, 0 = every file sent).
EMSCRIPTEN_KEEPALIVE int q8_download() {
    return static_cast<int>(ThePage().session.Download(ThePage().rows).batch);
}

// "上传": the marked row, offered as a browser download once it has all come.
EMSCRIPTEN_KEEPALIVE int q8_upload() {
    q8web::Page& page = ThePage();
    const q8::UploadResult result = page.session.UploadMarked();
    if (result == q8::UploadResult::Done) {
        JsOffer(page.ui.UploadPath().c_str(), page.ui.UploadName().c_str());
    }
    return static_cast<int>(result);
}

// The cartridge group's "删除": the marked row, only when it is the last.
EMSCRIPTEN_KEEPALIVE int q8_delete() {
    return static_cast<int>(ThePage().session.DeleteMarked());
}

EMSCRIPTEN_KEEPALIVE int q8_erase_voice() {
    return static_cast<int>(ThePage().session.EraseVoice());
}

// Callable while an operation awaits the line.

EMSCRIPTEN_KEEPALIVE void q8_mark(int row) {
    ThePage().view.Mark(row);
}

EMSCRIPTEN_KEEPALIVE void q8_cancel() {
    ThePage().session.CancelTransfer();
}

// "PERCENT\tREMAINING" once the transfer is past the progress gate, else "".
EMSCRIPTEN_KEEPALIVE const char* q8_progress() {
    q8web::Page& page = ThePage();
    const q8::ProgressTick tick = q8::ReadProgress(page.session.Progress(), page.clock.TickMs());
    page.text = tick.draw ? std::to_string(tick.percent) + "\t" + tick.remaining : std::string();
    return page.text.c_str();
}

// The download list's sizes and total, as the window writes them.
EMSCRIPTEN_KEEPALIVE const char* q8_format_size(double bytes) {
    ThePage().text = q8::FormatSize64(static_cast<uint64_t>(bytes));
    return ThePage().text.c_str();
}

}  // extern "C"
