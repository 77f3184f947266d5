#pragma once
// The window thread's wait for a worker: the window keeps painting and serving
// the worker's requests (message boxes, the cartridge list, the texts), while
// the user's input is held back under the wait cursor until the worker is
// done, so that no second exchange starts before this one is over.
//
// Thread: the window thread.

#include <functional>

#include "session/WorkerThread.h"

namespace q8ui {

// Serves the window thread's events, user input held back, until `worker`
// has ended.
void ServeUntilEnded(const q8::WorkerThread& worker);

// Runs `work` on a worker of its own and serves events until it has returned.
void RunOffWindowThread(const std::function<void()>& work);

}  // namespace q8ui
