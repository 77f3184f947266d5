#pragma once
// Ctrl-C as the Cancel button of a transfer: caught while a transfer runs,
// noted, and acted on by the progress loop. POSIX signals or the Win32
// console handler.
// Thread: all calls from the main thread; the note is read there too.

namespace q8cli {

// Before the worker starts: Ctrl-C is caught from now on, and threads started
// next do not take it, so it never cuts a read on the line short.
void CatchInterrupt();
// In the main thread, once the worker runs: let Ctrl-C reach this thread.
void ListenForInterrupt();
bool Interrupted();
// After the worker has ended: Ctrl-C ends the program again.
void ReleaseInterrupt();

bool StderrIsTerminal();

}  // namespace q8cli
