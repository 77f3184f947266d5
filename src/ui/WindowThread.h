#pragma once
// Calls into the window from a worker: carried over to the window thread,
// the worker waiting until they have run there.
//
// The two threads meet on standard mutexes rather than on Qt's blocking
// connection, whose futexes the thread checker cannot see: it would take
// every value handed over for a race.
//
// Thread: any. A worker's call returns only once the window thread has served
// it, so the window thread must be serving events then (it is while it waits
// for the worker) and must never block on that worker.

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <type_traits>

namespace q8ui {

// Held by a worker while it posts a call, and taken by the window thread
// before the call reads anything: the call and everything the worker wrote
// before posting it are the window thread's from then on.
inline std::mutex& PostingMutex() {
    static std::mutex posting;
    return posting;
}

// Lets the worker go once its call is over.
class CallReturn {
  public:
    // Once the call has run; or, when it was dropped unrun (its target went
    // first), when the last copy of it goes.
    void Return() {
        std::lock_guard<std::mutex> lock(mutex_);
        returned_ = true;
        changed_.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return returned_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool returned_ = false;
};

class ReturnWhenGone {
  public:
    explicit ReturnWhenGone(std::shared_ptr<CallReturn> back) : back_(std::move(back)) {}
    ReturnWhenGone(const ReturnWhenGone&) = delete;
    ReturnWhenGone& operator=(const ReturnWhenGone&) = delete;
    ~ReturnWhenGone() { back_->Return(); }

  private:
    std::shared_ptr<CallReturn> back_;
};

// Runs `call` on the thread `context` lives on and returns its result; at
// once when that is the calling thread.
template <typename Call>
std::invoke_result_t<Call&> OnThreadOf(QObject* context, Call call) {
    using Result = std::invoke_result_t<Call&>;
    if (QThread::currentThread() == context->thread()) {
        return call();
    }
    if constexpr (std::is_void_v<Result>) {
        OnThreadOf(context, [&call] {
            call();
            return true;
        });
    } else {
        Result result{};
        auto back = std::make_shared<CallReturn>();
        {
            std::lock_guard<std::mutex> posting(PostingMutex());
            QMetaObject::invokeMethod(
                context,
                [&result, &call, back, gone = std::make_shared<ReturnWhenGone>(back)] {
                    { std::lock_guard<std::mutex> arrived(PostingMutex()); }
                    result = call();
                    back->Return();
                },
                Qt::QueuedConnection);
        }
        back->Wait();
        return result;
    }
}

}  // namespace q8ui
