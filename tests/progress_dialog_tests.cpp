// The progress window: what its ticks draw from the transfer state, the ways
// a run ends (outcome, Cancel/Escape/close box, the worker's request), and a
// path too long for its line.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <functional>
#include <vector>

#include "link/Tick.h"
#include "session/ProgressTick.h"
#include "sim/VirtualClock.h"
#include "ui/ProgressDialog.h"

namespace {

using q8::TransferState;
using q8ui::ProgressDialog;

const QString NONE;

QString Remaining(int minutes, int seconds) {
    return QStringLiteral("剩余时间：%1分%2秒").arg(minutes).arg(seconds);
}

void SetState(TransferState& state, uint32_t done, uint32_t total, uint32_t startTick) {
    state.SetDone(done);
    state.SetTotal(total);
    state.SetStartTick(startTick);
}

// Runs the dialog with `action` scheduled `afterMs` into the run. A run that
// does not end within 5 s is ended with -1 so that the test fails, not hangs;
// the show first gets exec() out of its loop also where the window was hidden
// before the loop began.
q8::ProgressResult RunWith(ProgressDialog& dialog, const TransferState& state,
                           std::function<void()> action, int afterMs = 50) {
    if (action) {
        QTimer::singleShot(afterMs, &dialog, action);
    }
    QTimer::singleShot(5000, &dialog, [&dialog] {
        dialog.show();
        dialog.done(-1);
    });
    return dialog.Run(state);
}

struct Snapshot {
    bool keepRunning;
    uint32_t done, total, startTick;
    q8::TransferOutcome outcome;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Snap(const TransferState& s) {
    return {s.KeepRunning(), s.Done(), s.Total(), s.StartTick(), s.Outcome()};
}

TEST(ProgressDialogTick, GateFallbackAndRateZeroAcrossTicks) {
    struct Step {
        uint32_t done, total, startTick, now;
        int bar;
        QString text;
    };
    const std::vector<Step> steps = {
        {1024, 10000, 0, 1024, 0, NONE},              // at the gate: nothing drawn
        {1025, 10000, 0, 1025, 10, Remaining(0, 8)},  // 1 B/ms, 8975 ms left
        {1000, 10000, 0, 2000, 10, Remaining(0, 8)},  // back under the gate: kept
        {5000, 10000, 0, 1000, 50, Remaining(0, 1)},  // 5 B/ms, 1000 ms left
        {6000, 10000, 0, 100000, 60, NONE},           // rate 0 clears the line
        {5000, 4000, 0, 1000, 100, Remaining(0, 0)},  // done past total
    };
    TransferState state;
    state.Reset();
    ProgressDialog dialog(nullptr);
    dialog.Watch(state);
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        SetState(state, s.done, s.total, s.startTick);
        dialog.Tick(s.now);
        EXPECT_EQ(dialog.BarPosition(), s.bar) << "step " << i;
        EXPECT_EQ(dialog.RemainingText(), s.text) << "step " << i;
    }
    EXPECT_FALSE(dialog.HasEnded());
}

TEST(ProgressDialogTick, PercentExactPastThirtyTwoBitProducts) {
    // done * 100 wraps 32 bits for all of these totals.
    const std::array<std::array<uint32_t, 3>, 3> cases = {{
        {99999999u, 100000000u, 99},
        {3000000000u, 4000000000u, 75},
        {4294967294u, 4294967295u, 99},
    }};
    for (const auto& [done, total, percent] : cases) {
        TransferState state;
        state.Reset();
        SetState(state, done, total, 0);
        ProgressDialog dialog(nullptr);
        dialog.Watch(state);
        dialog.Tick(1000);
        EXPECT_EQ(dialog.BarPosition(), static_cast<int>(percent)) << done << "/" << total;
    }
}

TEST(ProgressDialogRun, OutcomeEndsOnATickWithoutDrawingIt) {
    const std::array<std::array<int, 2>, 4> cases = {{{1, 1}, {2, 3}, {3, 5}, {7, 5}}};
    for (const auto& [outcome, result] : cases) {
        TransferState state;
        state.Reset();
        SetState(state, 10000, 10000, q8::TickMs() - 1000);
        state.SetOutcome(static_cast<q8::TransferOutcome>(outcome));
        ProgressDialog dialog(nullptr);
        EXPECT_EQ(static_cast<int>(RunWith(dialog, state, nullptr)), result)
            << "outcome " << outcome;
        EXPECT_TRUE(dialog.HasEnded());
        EXPECT_EQ(dialog.BarPosition(), 0);
        EXPECT_EQ(dialog.RemainingText(), NONE);
    }
}

TEST(ProgressDialogRun, TimerDrawsWhileRunningAndCaptionFollows) {
    TransferState state;
    state.Reset();
    SetState(state, 5000, 10000, q8::TickMs());
    ProgressDialog dialog(nullptr);
    dialog.SetCaption(QStringLiteral("下载文件..."));
    dialog.SetLine(QStringLiteral("/home/u/a.bin"));
    EXPECT_TRUE(dialog.windowTitle().isEmpty());

    int barSeen = -1;
    QString titleSeen, textSeen;
    const q8::ProgressResult result = RunWith(
        dialog, state,
        [&] {
            barSeen = dialog.BarPosition();
            textSeen = dialog.RemainingText();
            titleSeen = dialog.windowTitle();
            dialog.ChangeCaption(QStringLiteral("上传文件..."));
            state.SetOutcome(q8::TransferOutcome::Done);
        },
        800);
    EXPECT_EQ(result, q8::ProgressResult::Done);
    EXPECT_EQ(barSeen, 50);
    EXPECT_TRUE(textSeen.startsWith(QStringLiteral("剩余时间："))) << textSeen.toStdString();
    EXPECT_EQ(titleSeen, QStringLiteral("下载文件..."));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("上传文件..."));
    EXPECT_EQ(dialog.LineText(), QStringLiteral("/home/u/a.bin"));
}

// The start tick came from the transfer's clock (virtual here, far from the
// system's tick): the time left is read on that clock too.
TEST(ProgressDialogRun, RemainingTimeIsReadOnTheTransfersClock) {
    q8sim::VirtualClock clock{9000};
    TransferState state;
    state.Reset();
    SetState(state, 51200, 1048576, 1000);
    ProgressDialog dialog(nullptr, clock);
    QString textSeen;
    RunWith(
        dialog, state,
        [&] {
            textSeen = dialog.RemainingText();
            state.SetOutcome(q8::TransferOutcome::Done);
        },
        800);
    EXPECT_EQ(textSeen, Remaining(2, 46));
}

TEST(ProgressDialogRun, CancelKeysAndCloseBoxLeaveStateAlone) {
    // A key to the focused button, as a real key press goes.
    auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [key, modifiers](ProgressDialog& d) {
            QKeyEvent event(QEvent::KeyPress, key, modifiers);
            QApplication::sendEvent(d.findChild<QPushButton*>(), &event);
        };
    };
    const std::vector<std::pair<const char*, std::function<void(ProgressDialog&)>>> ways = {
        {"button", [](ProgressDialog& d) { d.findChild<QPushButton*>()->click(); }},
        {"escape", press(Qt::Key_Escape)},
        {"return", press(Qt::Key_Return)},
        {"enter", press(Qt::Key_Enter, Qt::KeypadModifier)},
        {"close box", [](ProgressDialog& d) { d.close(); }},
    };
    for (const auto& [name, way] : ways) {
        TransferState state;
        state.Reset();
        SetState(state, 5000, 10000, 1234);
        const Snapshot before = Snap(state);
        ProgressDialog dialog(nullptr);
        EXPECT_EQ(RunWith(dialog, state, [&] { way(dialog); }), q8::ProgressResult::Cancelled)
            << name;
        EXPECT_TRUE(dialog.HasEnded()) << name;
        EXPECT_TRUE(Snap(state) == before) << name;
    }
}

TEST(ProgressDialogRun, WorkerEndBeforeTheWindowIsUpIsHeld) {
    TransferState state;
    state.Reset();
    ProgressDialog dialog(nullptr);
    dialog.EndFromWorker(q8::ProgressResult::Failed);
    EXPECT_FALSE(dialog.HasEnded());
    EXPECT_EQ(RunWith(dialog, state, nullptr), q8::ProgressResult::Failed);
    EXPECT_TRUE(dialog.HasEnded());
}

TEST(ProgressDialogRun, RequestsAndTicksAfterTheEndAreIgnored) {
    TransferState state;
    state.Reset();
    SetState(state, 5000, 10000, 0);
    ProgressDialog dialog(nullptr);
    dialog.Tick(1000);  // nothing watched yet
    EXPECT_EQ(dialog.BarPosition(), 0);
    dialog.SetCaption(QStringLiteral("A"));
    EXPECT_EQ(RunWith(dialog, state, [&] { dialog.EndFromWorker(q8::ProgressResult::Failed); }),
              q8::ProgressResult::Failed);

    dialog.ChangeCaption(QStringLiteral("B"));
    dialog.EndFromWorker(q8::ProgressResult::Done);
    dialog.reject();
    state.SetDone(9000);
    dialog.Tick(1000);
    state.SetOutcome(q8::TransferOutcome::Done);
    dialog.Tick(1000);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("A"));
    EXPECT_EQ(dialog.result(), static_cast<int>(q8::ProgressResult::Failed));
    EXPECT_EQ(dialog.BarPosition(), 0);
    EXPECT_EQ(dialog.Run(state), q8::ProgressResult::Failed);  // runs once
}

TEST(ProgressDialogLine, LongPathLosesTheMiddleOfItsFolderNotTheName) {
    const QString folder(120, QLatin1Char('d'));
    const struct {
        QString path, start, end;  // what the shown line starts and ends with
        bool cut;
    } cases[] = {
        {"/home/u/a.bin", "/home/u/a.bin", "", false},
        {"/home/" + folder + "/课文-unit5.bin", "/home/", "/课文-unit5.bin", true},
        {"C:\\lessons\\" + folder + "\\课文-unit5.bin", "C:\\", "\\课文-unit5.bin", true},
        // A name too long on its own: the middle of the whole path goes.
        {"/a/" + folder + folder + ".bin", "/a/d", "d.bin", true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.path.toStdString());
        ProgressDialog dialog(nullptr);
        dialog.SetLine(test.path);
        const QString shown = dialog.LineText();
        EXPECT_TRUE(shown.startsWith(test.start) && shown.endsWith(test.end))
            << shown.toStdString();
        EXPECT_EQ(shown.contains(QChar(0x2026)), test.cut) << shown.toStdString();  // "…"
        EXPECT_EQ(dialog.LineToolTip(), test.cut ? test.path : QString());
        const QLineEdit* line = dialog.findChildren<QLineEdit*>().value(0);  // the path line
        EXPECT_LE(QFontMetrics(line->font()).horizontalAdvance(shown), line->width());
    }
}

}  // namespace
