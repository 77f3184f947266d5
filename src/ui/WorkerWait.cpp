#include "ui/WorkerWait.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

namespace q8ui {

namespace {

// How often the wait for a worker looks whether it has ended.
constexpr int WORKER_POLL_MS = 10;

}  // namespace

void ServeUntilEnded(const q8::WorkerThread& worker) {
    if (worker.Ended()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&loop, &worker] {
        if (worker.Ended()) {
            loop.quit();
        }
    });
    poll.start(WORKER_POLL_MS);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    QApplication::restoreOverrideCursor();
}

void RunOffWindowThread(const std::function<void()>& work) {
    q8::WorkerThread worker;
    worker.Start([&work] { work(); });
    ServeUntilEnded(worker);
    worker.Join();
}

}  // namespace q8ui
