#pragma once
// How the core reaches the user with a fixed text and an OK button.
// The window shows a message box; the CLI prints to stderr. Show() returns
// only after the user has dismissed the message. Texts are UTF-8.
// Thread: called on the thread that runs the operation (the window thread or
// a transfer worker); implementations marshal to their own thread if needed.

#include <string>

namespace q8 {

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void Show(const std::string& text) = 0;
    // The same fixed text, with what the system says behind it (why a port
    // would not open): the window's "details", the CLI's next lines. A sink
    // that has no place for it shows the text alone.
    virtual void ShowWithDetail(const std::string& text, const std::string& detail) {
        (void)detail;
        Show(text);
    }
};

}  // namespace q8
