#pragma once
// Stop signals as the Cancel button of a transfer: Ctrl-C, and what else asks
// a console program to end (POSIX: SIGTERM, SIGHUP; Windows: Ctrl-Break,
// closing the console, logoff, shutdown), is caught for the whole transfer
// command, noted, and acted on by the progress loop and between the files of a
// batch, so the worker is waited for and a half-written file removed.
// Thread: all calls from the main thread; the note is read there too.

namespace q8cli {

// First thing in main, for every command: what would end the process in the
// middle of a write (a file-size limit, a closed pipe) makes the write fail
// instead, and a closed standard stream keeps its number from the port.
void PrepareProcess();

// For a transfer command, once, before it starts: stop signals are caught and
// noted from now until the program ends. The note is never cleared.
void CatchStopSignals();
// Before a worker starts: threads started next do not take stop signals, so
// one never cuts a read on the line short.
void HoldStopSignals();
// In the main thread, once the worker runs: stop signals reach this thread
// again, through the pause and the refresh that follow the transfer too.
void ListenForStopSignals();
bool StopSignalled();

bool StderrIsTerminal();

}  // namespace q8cli
