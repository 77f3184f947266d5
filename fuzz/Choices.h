#pragma once
// Where the fuzzed device and the fuzzed setup take their decisions from: the
// fuzzer's input (through FuzzedDataProvider), or a script that writes the
// input which makes the same decisions (the seed generator).
//
// FuzzedDataProvider takes numbers from the end of the input, most
// significant byte first, as few bytes as the range needs, and byte strings
// from the front. The script encodes its answers the same way, so a seed
// replays exactly what the script decided.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace q8fuzz {

// What a decision is about; the script answers by it.
enum class Pick {
    Setup,        // the operation's own inputs (rows, marked row)
    Break,        // 0: the port fails for this frame's reads
    Pieces,       // how many pieces answer the frame
    PauseKind,    // which boundary the piece's pause sits on
    PauseValue,   // a pause anywhere in the window
    PieceKind,    // whole reply, reply in two parts, raw bytes, nothing
    SplitAt,      // where a reply in two parts is cut
    Status,       // which status the reply carries
    StatusValue,  // any status byte
    SizeKind,     // how an announced upload size is chosen
    SizeValue,
    DirKind,   // 0: end marker, else a record from the input
    FillKind,  // 0: upload block from the input, else a pattern
    FillValue,
    RawLength,
    Data,  // byte strings
};

class Choices {
  public:
    virtual ~Choices() = default;
    // No input left: the device goes silent.
    virtual bool Exhausted() = 0;
    // The device starts on a frame with this command code.
    virtual void Frame(uint8_t code) { (void)code; }
    virtual uint32_t Number(Pick what, uint32_t min, uint32_t max) = 0;
    // Up to `count` bytes; fewer only when the input runs out.
    virtual std::vector<uint8_t> Bytes(Pick what, size_t count) = 0;
};

class FuzzChoices final : public Choices {
  public:
    FuzzChoices(const uint8_t* data, size_t size) : in_(data, size) {}
    bool Exhausted() override { return in_.remaining_bytes() == 0; }
    uint32_t Number(Pick, uint32_t min, uint32_t max) override {
        return in_.ConsumeIntegralInRange<uint32_t>(min, max);
    }
    std::vector<uint8_t> Bytes(Pick, size_t count) override {
        return in_.ConsumeBytes<uint8_t>(count);
    }
    size_t Remaining() { return in_.remaining_bytes(); }

  private:
    FuzzedDataProvider in_;
};

// Answers from a script and writes the input that replays those answers.
class SeedChoices final : public Choices {
  public:
    // Each script is told the code of the frame being answered (0 before
    // the first frame).
    using NumberScript = std::function<uint32_t(uint8_t code, Pick, uint32_t min, uint32_t max)>;
    using BytesScript = std::function<std::vector<uint8_t>(uint8_t code, Pick, size_t count)>;
    SeedChoices(NumberScript numbers, BytesScript bytes)
        : numbers_(std::move(numbers)), bytes_(std::move(bytes)) {}

    bool Exhausted() override { return false; }
    void Frame(uint8_t code) override { code_ = code; }
    uint32_t Number(Pick what, uint32_t min, uint32_t max) override {
        const uint32_t value = std::clamp(numbers_(code_, what, min, max), min, max);
        const uint32_t range = max - min;
        const uint32_t offset = value - min;
        int bytes = 0;
        for (int shift = 0; shift < 32 && (range >> shift) > 0; shift += 8) {
            ++bytes;
        }
        for (int i = bytes - 1; i >= 0; --i) {
            back_.push_back(static_cast<uint8_t>(offset >> (8 * i)));
        }
        return value;
    }
    std::vector<uint8_t> Bytes(Pick what, size_t count) override {
        std::vector<uint8_t> bytes = bytes_(code_, what, count);
        bytes.resize(count);
        front_.insert(front_.end(), bytes.begin(), bytes.end());
        return bytes;
    }
    std::vector<uint8_t> Input() const {
        std::vector<uint8_t> input = front_;
        input.insert(input.end(), back_.rbegin(), back_.rend());
        return input;
    }

  private:
    NumberScript numbers_;
    BytesScript bytes_;
    uint8_t code_ = 0;
    std::vector<uint8_t> front_;
    std::vector<uint8_t> back_;  // in the order taken; the input holds it reversed
};

}  // namespace q8fuzz
