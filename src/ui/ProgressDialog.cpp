#include "ui/ProgressDialog.h"

#include <QMetaObject>
#include <QProgressBar>
#include <QShowEvent>
#include <QTimerEvent>

#include "session/ProgressTick.h"
#include "ui/DialogUnits.h"
#include "ui/PlainButton.h"
#include "ui/TextField.h"

namespace q8ui {

namespace {

constexpr Qt::WindowFlags CAPTION_WITH_CLOSE_BOX = Qt::Dialog | Qt::CustomizeWindowHint |
                                                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                   Qt::WindowCloseButtonHint;

}  // namespace

ProgressDialog::ProgressDialog(QWidget* owner, q8::Clock& clock)
    : QDialog(owner, CAPTION_WITH_CLOSE_BOX), clock_(clock) {
    const QFont font = DialogFont();
    setFont(font);
    const DialogBase base = BaseUnitsOf(font);
    setFixedSize(DialogRect(base, 0, 0, 331, 69).size());

    // A long path loses the middle of its folder, never the file's name.
    line_ = new TextField(this, TextField::Overflow::ElidePath);
    PlaceInUnits(line_, base, 7, 7, 317, 14);

    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    PlaceInUnits(bar_, base, 7, 29, 317, 14);

    remaining_ = new TextField(this);
    PlaceInUnits(remaining_, base, 7, 48, 180, 14);

    // Return and Enter press it while it has the focus, which it keeps.
    cancel_ = new PlainButton(QStringLiteral("Cancel"), this);
    PlaceInUnits(cancel_, base, 274, 48, 50, 14);
    connect(cancel_, &QPushButton::clicked, this, &ProgressDialog::reject);
    cancel_->setFocus();
}

void ProgressDialog::SetCaption(const QString& caption) {
    caption_ = caption;
}

void ProgressDialog::SetLine(const QString& line) {
    line_->setText(line);
}

q8::ProgressResult ProgressDialog::Run(const q8::TransferState& state) {
    if (phase_ != Phase::NotShown) {
        // Run once: a second Run only reports the first.
        return static_cast<q8::ProgressResult>(result());
    }
    Watch(state);
    setWindowTitle(caption_);
    timerId_ = startTimer(static_cast<int>(q8::PROGRESS_TICK_MS));
    return static_cast<q8::ProgressResult>(exec());
}

void ProgressDialog::ChangeCaption(const QString& caption) {
    if (phase_ == Phase::Ended) {
        return;
    }
    caption_ = caption;
    setWindowTitle(caption_);
}

void ProgressDialog::EndFromWorker(q8::ProgressResult result) {
    Finish(result);
}

void ProgressDialog::Tick(uint32_t nowTick) {
    if (phase_ == Phase::Ended || state_ == nullptr) {
        return;
    }
    const q8::ProgressTick tick = q8::ReadProgress(*state_, nowTick);
    if (tick.ended) {
        Finish(tick.result);  // the last bytes are not drawn: the window goes
        return;
    }
    if (tick.draw) {
        bar_->setValue(tick.percent);
        remaining_->setText(QString::fromStdString(tick.remaining));
    }
}

int ProgressDialog::BarPosition() const {
    return bar_->value();
}

QString ProgressDialog::RemainingText() const {
    return remaining_->text();
}

QString ProgressDialog::LineText() const {
    return line_->text();
}

QString ProgressDialog::LineToolTip() const {
    return line_->toolTip();
}

void ProgressDialog::reject() {
    Finish(q8::ProgressResult::Cancelled);
}

void ProgressDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (phase_ != Phase::NotShown) {
        return;
    }
    phase_ = Phase::Running;
    if (heldResult_) {
        // exec() has not entered its loop yet; ending now would leave it
        // waiting on a hidden window.
        QMetaObject::invokeMethod(
            this, [this] { Finish(*heldResult_); }, Qt::QueuedConnection);
    }
}

void ProgressDialog::timerEvent(QTimerEvent* event) {
    if (timerId_ != 0 && event->timerId() == timerId_) {
        Tick(clock_.TickMs());
        return;
    }
    QDialog::timerEvent(event);
}

void ProgressDialog::Finish(q8::ProgressResult result) {
    switch (phase_) {
        case Phase::NotShown:
            if (!heldResult_) {
                heldResult_ = result;  // the first request wins
            }
            return;
        case Phase::Running:
            break;
        case Phase::Ended:
            return;
    }
    phase_ = Phase::Ended;
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    done(static_cast<int>(result));
}

}  // namespace q8ui
