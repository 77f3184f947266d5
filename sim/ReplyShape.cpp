#include "ReplyShape.h"

#include <algorithm>
#include <map>

namespace q8sim {

namespace {

uint32_t NonNegative(int value) {
    return value > 0 ? static_cast<uint32_t>(value) : 0;
}

std::vector<Action> ScriptedActions(const std::vector<ScriptPiece>& script) {
    std::vector<Action> actions;
    for (const ScriptPiece& piece : script) {
        if (piece.pauseMs > 0) {
            actions.push_back(Action::Pause(piece.pauseMs));
        }
        actions.push_back(Action::Write(piece.bytes));
    }
    return actions;
}

}  // namespace

std::vector<Action> ShapeReply(const Reply& reply, const std::vector<Fault>& faults) {
    std::vector<uint8_t> bytes = reply.bytes;
    uint32_t delayMs = reply.delayMs;
    size_t keep = bytes.size();
    uint32_t pieces = 1;
    uint32_t piecePauseMs = 0;
    // Offset -> pause before the bytes from that offset on.
    std::map<size_t, uint32_t> breaks;

    for (const Fault& fault : faults) {
        switch (fault.kind) {
            case FaultKind::NoReply:
                return {};
            case FaultKind::Script:
                return ScriptedActions(fault.script);
            case FaultKind::WrongCode:
                if (!bytes.empty()) {
                    bytes[0] = static_cast<uint8_t>(fault.value);
                }
                break;
            case FaultKind::Truncate:
                keep = std::min<size_t>(keep, NonNegative(fault.value));
                break;
            case FaultKind::Delay:
                delayMs += NonNegative(fault.value);
                break;
            case FaultKind::LateData:
                if (reply.dataOffset > 0) {
                    breaks[reply.dataOffset] += NonNegative(fault.value);
                }
                break;
            case FaultKind::Split:
                pieces = std::max<uint32_t>(1, NonNegative(fault.value));
                piecePauseMs = NonNegative(fault.pauseMs);
                break;
            case FaultKind::Status:
            case FaultKind::Corrupt:
                break;
        }
    }

    bytes.resize(keep);
    if (bytes.empty()) {
        return {};
    }
    for (uint32_t i = 1; i < pieces; ++i) {
        breaks[bytes.size() * i / pieces] += piecePauseMs;
    }

    std::vector<Action> actions;
    if (delayMs > 0) {
        actions.push_back(Action::Pause(delayMs));
    }
    size_t start = 0;
    for (const auto& [offset, pauseMs] : breaks) {
        if (offset <= start || offset >= bytes.size()) {
            continue;
        }
        actions.push_back(Action::Write({bytes.begin() + start, bytes.begin() + offset}));
        if (pauseMs > 0) {
            actions.push_back(Action::Pause(pauseMs));
        }
        start = offset;
    }
    actions.push_back(Action::Write({bytes.begin() + start, bytes.end()}));
    return actions;
}

}  // namespace q8sim
