#include "CommandNames.h"

#include <cstdlib>

#include "protocol/CommandNames.h"

namespace q8sim {

namespace {

struct FaultKindName {
    FaultKind kind;
    const char* name;
};

constexpr FaultKindName FAULT_KIND_NAMES[] = {
    {FaultKind::Status, "status"},        {FaultKind::NoReply, "no-reply"},
    {FaultKind::WrongCode, "wrong-code"}, {FaultKind::Truncate, "truncate"},
    {FaultKind::Split, "split"},          {FaultKind::Delay, "delay"},
    {FaultKind::LateData, "late-data"},   {FaultKind::Corrupt, "corrupt"},
};

}  // namespace

const char* CommandName(uint8_t command) {
    return q8::CommandName(command);
}

bool ParseCommand(const std::string& text, uint8_t& command) {
    for (unsigned code = 0; code <= UINT8_MAX; ++code) {
        const char* name = q8::CommandName(static_cast<uint8_t>(code));
        if (name != nullptr && text == name) {
            command = static_cast<uint8_t>(code);
            return true;
        }
    }
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0' || number > UINT8_MAX ||
        CommandName(static_cast<uint8_t>(number)) == nullptr) {
        return false;
    }
    command = static_cast<uint8_t>(number);
    return true;
}

bool ParseFaultKind(const std::string& text, FaultKind& kind) {
    for (const FaultKindName& entry : FAULT_KIND_NAMES) {
        if (text == entry.name) {
            kind = entry.kind;
            return true;
        }
    }
    return false;
}

}  // namespace q8sim
