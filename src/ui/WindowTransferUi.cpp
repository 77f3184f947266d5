#include "ui/WindowTransferUi.h"

#include <QApplication>
#include <QFileInfo>

#include "ui/WindowThread.h"
#include "ui/WorkerWait.h"

namespace q8ui {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), text.size());
}

}  // namespace

WindowTransferUi::WindowTransferUi(QWidget* owner, UserDialogs& dialogs, q8::Clock& clock)
    : owner_(owner), dialogs_(dialogs), clock_(clock) {}

WindowTransferUi::~WindowTransferUi() = default;

void WindowTransferUi::ShowHere(const QString& text, const QString& detail) {
    // In front of the progress dialog while it is up, else of the main window.
    QWidget* modal = QApplication::activeModalWidget();
    QWidget* owner = modal != nullptr ? modal : owner_;
    if (detail.isEmpty()) {
        dialogs_.Message(owner, text);
    } else {
        dialogs_.MessageWithDetail(owner, text, detail);
    }
}

void WindowTransferUi::Show(const std::string& text) {
    ShowWithDetail(text, std::string());
}

void WindowTransferUi::ShowWithDetail(const std::string& text, const std::string& detail) {
    const QString message = FromUtf8(text);
    const QString more = FromUtf8(detail);
    // A worker waits here until the box has been dismissed: its outcome must
    // not close the progress dialog under the message.
    OnThreadOf(this, [this, &message, &more] { ShowHere(message, more); });
}

void WindowTransferUi::PrepareProgress(const std::string& caption, const std::string& line) {
    serial_.fetch_add(1, std::memory_order_acq_rel);
    dialog_ = std::make_unique<ProgressDialog>(owner_, clock_);
    dialog_->SetCaption(FromUtf8(caption));
    dialog_->SetLine(FromUtf8(line));
}

q8::ProgressResult WindowTransferUi::RunProgress(const q8::TransferState& state) {
    return dialog_->Run(state);
}

template <typename Call>
void WindowTransferUi::ToDialog(Call call) {
    const uint64_t serial = serial_.load(std::memory_order_acquire);
    // Posted even on the window thread, so a request never runs inside the
    // code that is setting the dialog up.
    QMetaObject::invokeMethod(
        this,
        [this, serial, call] {
            if (serial == serial_.load(std::memory_order_acquire) && dialog_ != nullptr) {
                call(*dialog_);
            }
        },
        Qt::QueuedConnection);
}

void WindowTransferUi::ChangeCaption(const std::string& caption) {
    const QString text = FromUtf8(caption);
    ToDialog([text](ProgressDialog& dialog) { dialog.ChangeCaption(text); });
}

void WindowTransferUi::EndProgress(q8::ProgressResult result) {
    ToDialog([result](ProgressDialog& dialog) { dialog.EndFromWorker(result); });
}

void WindowTransferUi::WaitForWorker(const q8::WorkerThread& worker) {
    // A worker still in a long read may yet show a message box.
    ServeUntilEnded(worker);
    dialog_.reset();
}

bool WindowTransferUi::ChooseUploadTarget(std::string& path) {
    QString chosen;
    if (!dialogs_.ChooseSaveFile(owner_, chosen) || chosen.isEmpty()) {
        return false;
    }
    // The file is only replaced once the whole upload has arrived, but the
    // user should still know that an existing file is about to go.
    if (QFileInfo::exists(chosen) && !dialogs_.ConfirmReplace(owner_, chosen)) {
        return false;
    }
    path = chosen.toStdString();
    return true;
}

}  // namespace q8ui
