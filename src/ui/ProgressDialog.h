#pragma once
// The modal window in front of the main window while one file moves. It
// never talks to the device: every 500 ms it reads the transfer's state, draws
// the percentage and the remaining time, and ends itself once the worker has
// set an outcome. "Cancel", Escape and the close box end it with
// PROGRESS_CANCELLED and leave the state alone; the caller deals with the
// worker.
// Thread: the window thread only. A worker's caption change and end request
// reach it through WindowTransferUi, which carries them over first.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>

#include "protocol/Clock.h"
#include "session/ProgressTick.h"
#include "session/TransferState.h"

class QProgressBar;
class QPushButton;

namespace q8ui {

class TextField;

class ProgressDialog : public QDialog {
    Q_OBJECT

  public:
    // The ticks read the remaining time on `clock`: the one the transfer's
    // start tick came from.
    explicit ProgressDialog(QWidget* owner, q8::Clock& clock = q8::SystemClock());

    // Before Run: the caption and the one line (the host file's full path).
    void SetCaption(const QString& caption);
    void SetLine(const QString& line);

    // Shows the window modally over its owner, reading `state` on the 500 ms
    // timer, and says how it ended. Runs once per object.
    q8::ProgressResult Run(const q8::TransferState& state);

    // The worker's two requests, already on the window thread. A caption
    // change is ignored once the run has ended. An end request before the
    // window is up is held and acted on as soon as it is; after the run has
    // ended it is ignored.
    void ChangeCaption(const QString& caption);
    void EndFromWorker(q8::ProgressResult result);

    // The state the ticks read; Run sets it. Tests set it and call Tick.
    void Watch(const q8::TransferState& state) { state_ = &state; }
    // One timer tick at tick-counter value `nowTick`.
    void Tick(uint32_t nowTick);

    bool HasEnded() const { return phase_ == Phase::Ended; }
    // What the window shows, for tests.
    int BarPosition() const;
    QString RemainingText() const;
    // The path line as shown (a long path elided) and its tool tip.
    QString LineText() const;
    QString LineToolTip() const;

  public slots:
    void reject() override;  // Escape and the close box: Cancelled

  protected:
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    enum class Phase { NotShown, Running, Ended };
    // Ends the run; before the window is up it only holds `result`.
    void Finish(q8::ProgressResult result);

    q8::Clock& clock_;
    const q8::TransferState* state_ = nullptr;
    Phase phase_ = Phase::NotShown;
    // An end request that came before the window was up.
    std::optional<q8::ProgressResult> heldResult_;
    int timerId_ = 0;
    QString caption_;
    QProgressBar* bar_ = nullptr;
    TextField* line_ = nullptr;
    TextField* remaining_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace q8ui
