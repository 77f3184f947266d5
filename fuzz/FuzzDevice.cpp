#include "FuzzDevice.h"

#include "link/SerialLink.h"
#include "protocol/Frames.h"

namespace q8fuzz {

namespace {

struct FrameTiming {
    uint32_t pauseMs;     // the host's pause between the frame and its read
    uint32_t deadlineMs;  // the read's deadline
};

FrameTiming TimingOf(uint8_t code) {
    switch (code) {
        case q8::CMD_HELLO:
            return {0, static_cast<uint32_t>(q8::HELLO_DEADLINE.count())};
        case q8::CMD_CARD_INFO:
            return {0, static_cast<uint32_t>(q8::CARD_INFO_DEADLINE.count())};
        case q8::CMD_DIR_ENTRY:
            return {0, static_cast<uint32_t>(q8::DIR_ENTRY_DEADLINE.count())};
        case q8::CMD_FORMAT:
            return {static_cast<uint32_t>(q8::FORMAT_PAUSE.count()),
                    static_cast<uint32_t>(q8::FORMAT_DEADLINE.count())};
        case q8::CMD_DOWNLOAD_BEGIN:
            return {static_cast<uint32_t>(q8::DOWNLOAD_BEGIN_PAUSE.count()),
                    static_cast<uint32_t>(q8::DOWNLOAD_BEGIN_DEADLINE.count())};
        case q8::CMD_DOWNLOAD_BLOCK:
        case q8::CMD_DOWNLOAD_ENTRY:
            return {0, static_cast<uint32_t>(q8::DOWNLOAD_BLOCK_DEADLINE.count())};
        default:
            return {0, static_cast<uint32_t>(q8::UPLOAD_DEADLINE.count())};
    }
}

// The status a device that is happy with the frame sends.
uint8_t GoodStatus(uint8_t code) {
    switch (code) {
        case q8::CMD_HELLO:
            return q8::SUPPORTED_MACHINE_TYPE;
        case q8::CMD_UPLOAD_NEXT:
            return 1;  // a block follows
        default:
            return q8::STATUS_OK;
    }
}

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

uint32_t FuzzDevice::ChoosePause(uint8_t code) {
    const FrameTiming t = TimingOf(code);
    const uint32_t wait = q8::LINK_READ_WAIT_END_MS;
    const uint32_t p = t.pauseMs;
    const uint32_t d = t.deadlineMs;
    const uint32_t lastWait = (d / wait + 1) * wait;  // the wait in which the deadline passes
    const uint32_t marks[] = {0,
                              1,
                              p == 0 ? 0 : p - 1,
                              p,
                              p + wait - 1,
                              p + wait,
                              p + wait + 1,
                              p + d - 1,
                              p + d,
                              p + d + 1,
                              p + lastWait - 1,
                              p + lastWait,
                              p + lastWait + 1,
                              p + 2 * wait,
                              20000,
                              70000};
    constexpr uint32_t MARKS = sizeof(marks) / sizeof(marks[0]);
    const uint32_t kind = in_.Number(Pick::PauseKind, 0, MARKS + 3);
    if (kind < MARKS) {
        return marks[kind];
    }
    return in_.Number(Pick::PauseValue, 0, p + lastWait + wait);
}

uint8_t FuzzDevice::ChooseStatus(uint8_t code) {
    const uint32_t kind = in_.Number(Pick::Status, 0, 15);
    if (kind <= 8) {
        return GoodStatus(code);
    }
    if (kind <= 11) {
        return 1;
    }
    if (kind == 12) {
        return q8::STATUS_NOT_RECOGNISED;
    }
    if (kind == 13) {
        return q8::STATUS_CARD_ERROR_MIN;
    }
    if (kind == 14) {
        return 0;
    }
    return static_cast<uint8_t>(in_.Number(Pick::StatusValue, 0, 255));
}

// The well-formed reply to a frame with command `code`: the right reply code,
// a fuzzed status, and data of the length that status calls for.
std::vector<uint8_t> FuzzDevice::Reply(uint8_t code) {
    std::vector<uint8_t> out;
    if (code == q8::CMD_DIR_ENTRY) {
        // A bare record: the end marker, or any name, time and size.
        if (in_.Number(Pick::DirKind, 0, 3) == 0) {
            out.assign(q8::DIR_ENTRY_SIZE, q8::DIR_END_MARKER);
        } else {
            out = in_.Bytes(Pick::Data, q8::DIR_ENTRY_SIZE);
        }
        out.resize(q8::DIR_ENTRY_SIZE);
        return out;
    }
    const uint8_t status = ChooseStatus(code);
    out = {q8::ReplyCode(code), status};
    if (code == q8::CMD_CARD_INFO && status < q8::STATUS_CARD_ERROR_MIN) {
        std::vector<uint8_t> data = in_.Bytes(Pick::Data, q8::CARD_INFO_DATA_LENGTH);
        data.resize(q8::CARD_INFO_DATA_LENGTH);
        out.insert(out.end(), data.begin(), data.end());
    } else if (code == q8::CMD_UPLOAD_BEGIN && status == q8::STATUS_OK) {
        const uint32_t kind = in_.Number(Pick::SizeKind, 0, 3);
        uint32_t size = 0;
        if (kind == 1) {
            size = in_.Number(Pick::SizeValue, 0, 2 * q8::BLOCK_SIZE + 1);
        } else if (kind == 2) {
            size = in_.Number(Pick::SizeValue, 0, 8) * q8::BLOCK_SIZE;
        } else if (kind == 3) {
            size = in_.Number(Pick::SizeValue, 0, UINT32_MAX);
        }
        PutLe32(out, size);
    } else if (code == q8::CMD_UPLOAD_NEXT && status != q8::STATUS_OK) {
        std::vector<uint8_t> block;
        if (in_.Number(Pick::FillKind, 0, 3) == 0) {
            block = in_.Bytes(Pick::Data, q8::BLOCK_SIZE);
        } else {
            const uint32_t seed = in_.Number(Pick::FillValue, 0, 255);
            for (uint32_t i = 0; i < q8::BLOCK_SIZE; ++i) {
                block.push_back(static_cast<uint8_t>(seed + i * (seed | 1)));
            }
        }
        block.resize(q8::BLOCK_SIZE);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

std::vector<q8sim::Action> FuzzDevice::Answer(const uint8_t* frame, uint32_t length) {
    std::vector<q8sim::Action> actions;
    if (length == 0 || in_.Exhausted()) {
        return actions;
    }
    code_ = frame[0];
    in_.Frame(code_);
    if (port_ != nullptr) {
        port_->SetBroken(in_.Number(Pick::Break, 0, 63) == 0);
    }
    const uint32_t pieces = in_.Number(Pick::Pieces, 0, 7);
    const uint32_t count = pieces <= 4 ? 1 : pieces - 4;  // mostly one; up to three
    for (uint32_t piece = 0; piece < count; ++piece) {
        actions.push_back(q8sim::Action::Pause(ChoosePause(code_)));
        const uint32_t kind = in_.Number(Pick::PieceKind, 0, 7);
        if (kind <= 3) {
            actions.push_back(q8sim::Action::Write(Reply(code_)));
        } else if (kind == 4) {
            std::vector<uint8_t> reply = Reply(code_);
            const size_t cut =
                in_.Number(Pick::SplitAt, 1, static_cast<uint32_t>(reply.size()) - 1);
            actions.push_back(q8sim::Action::Write({reply.begin(), reply.begin() + cut}));
            actions.push_back(q8sim::Action::Pause(ChoosePause(code_)));
            actions.push_back(q8sim::Action::Write({reply.begin() + cut, reply.end()}));
        } else if (kind <= 6) {
            const uint32_t longest = kind == 5 ? 4 : q8::BLOCK_SIZE + 8;
            actions.push_back(q8sim::Action::Write(
                in_.Bytes(Pick::Data, in_.Number(Pick::RawLength, 0, longest))));
        }
        // kind 7: nothing more this piece
    }
    return actions;
}

}  // namespace q8fuzz
