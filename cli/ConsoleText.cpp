// The first failure of stdout, kept for the exit status whichever platform
// write or flush met it: the command's output was lost, and the user is told
// why.

#include "ConsoleText.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#include "ConsoleWrite.h"

namespace q8cli {

namespace {

std::mutex failureMutex;
std::string firstFailure;

// The C library's words for errno; empty when it set none.
std::string ErrnoText() {
    return errno != 0 ? std::strerror(errno) : std::string();
}

void NoteFailure(FILE* stream, const std::string& why) {
    if (stream != stdout || why.empty()) {
        return;
    }
    const std::lock_guard<std::mutex> lock(failureMutex);
    if (firstFailure.empty()) {
        firstFailure = why;
    }
}

}  // namespace

std::string WriteBuffered(FILE* stream, const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream) == text.size()) {
        return std::string();
    }
    return ErrnoText();
}

void WriteText(FILE* stream, const std::string& text) {
    NoteFailure(stream, WriteToStream(stream, text));
}

void FlushOutput() {
    errno = 0;
    if (std::fflush(stdout) != 0) {
        NoteFailure(stdout, ErrnoText());
    }
}

std::string OutputFailure() {
    FlushOutput();
    const std::lock_guard<std::mutex> lock(failureMutex);
    return firstFailure;
}

}  // namespace q8cli
