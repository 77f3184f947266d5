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
};

}  // namespace q8
