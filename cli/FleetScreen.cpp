#include "FleetScreen.h"

#include <algorithm>
#include <cstdio>

#include "ConsoleText.h"
#include "TextWidth.h"

namespace q8cli {

namespace {

// A terminal that does not say how wide it is.
constexpr size_t DEFAULT_COLUMNS = 80;

}  // namespace

FleetScreen::FleetScreen(bool live, size_t columns)
    : live_(live), columns_(columns == 0 ? DEFAULT_COLUMNS : columns) {}

void FleetScreen::Post(const std::string& port, LineKind kind, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(Posted{port, kind, text});
}

std::vector<FleetScreen::Posted> FleetScreen::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Posted> posted;
    posted.swap(queue_);
    return posted;
}

// A live screen keeps only what must stay; its steps are the device lines.
void FleetScreen::Write(const std::vector<Posted>& posted) {
    for (const Posted& line : posted) {
        const bool output = line.kind == LineKind::Output;
        if (!output && live_ && line.kind != LineKind::Message) {
            continue;
        }
        // Each line names its port: a log can be filtered, a listing split.
        const std::string prefix = line.port + (output ? "\t" : ": ");
        std::string text;
        size_t from = 0;
        while (from <= line.text.size()) {
            const size_t end = std::min(line.text.find('\n', from), line.text.size());
            text += prefix + line.text.substr(from, end - from) + "\n";
            from = end + 1;
        }
        WriteText(output ? stdout : stderr, text);
        if (output) {
            FlushOutput();
        }
    }
}

// Back to the first device line, and everything from there down cleared.
void FleetScreen::Erase() {
    if (drawn_.empty()) {
        return;
    }
    EraseLinesAbove(drawn_.size());
    drawn_.clear();
}

void FleetScreen::Draw(const std::vector<std::string>& deviceLines) {
    const std::vector<Posted> posted = Take();
    if (!live_) {
        Write(posted);
        return;
    }
    if (posted.empty() && deviceLines == drawn_) {
        return;
    }
    Erase();
    Write(posted);
    std::string block;
    for (const std::string& line : deviceLines) {
        // One column to spare: a line that fills the last one wraps on some
        // terminals.
        block += FitWidth(line, columns_ - 1) + "\n";
    }
    WriteText(stderr, block);
    drawn_ = deviceLines;
}

// The summary that follows says what the device lines said.
void FleetScreen::Close() {
    const std::vector<Posted> posted = Take();
    Erase();
    Write(posted);
}

}  // namespace q8cli
