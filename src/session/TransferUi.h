#pragma once
// What a transfer needs from whoever shows it: the progress window (a dialog
// in the window, a progress line in the CLI), message boxes, the save-file
// choice of an upload, and a wait for the worker that keeps the caller's side
// alive.

#include <string>

#include "session/MessageSink.h"
#include "session/ProgressTick.h"
#include "session/TransferState.h"
#include "session/WorkerThread.h"

namespace q8 {

class TransferUi : public MessageSink {
  public:
    // Show (MessageSink): one fixed text with an OK button; returns once it
    // has been dismissed. Called from the worker thread while the progress
    // window is up (or after it has gone), and from the caller's thread for
    // the batch's own refusals.

    // Caller's thread, before the worker starts: a new progress window with
    // its caption and its one line (the host file's path).
    virtual void PrepareProgress(const std::string& caption, const std::string& line) = 0;

    // Caller's thread: runs the prepared window until it ends, and says how.
    // It only reads `state`.
    virtual ProgressResult RunProgress(const TransferState& state) = 0;

    // Worker's thread; both may arrive before the window is up or after it
    // has ended, and must not fault then.
    virtual void ChangeCaption(const std::string& caption) = 0;
    virtual void EndProgress(ProgressResult result) = 0;

    // Caller's thread, after RunProgress; the worker is joined right after.
    // A worker may still show a message box meanwhile, so a window serves its
    // events here until `worker` has ended; a UI without an event loop may
    // return at once.
    virtual void WaitForWorker(const WorkerThread& worker) = 0;

    // Caller's thread, between the steps of a download batch: true once the
    // user has asked for the whole batch to stop (the CLI's Ctrl-C between two
    // files). A window's modal progress leaves no such moment.
    virtual bool StopRequested() { return false; }

    // Caller's thread: the target of an upload. False when the user gave up.
    virtual bool ChooseUploadTarget(std::string& path) = 0;
};

}  // namespace q8
