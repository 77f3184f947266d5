#include "protocol/Wire.h"

namespace q8 {

void Wire::Send(uint32_t length) {
    if (trace != nullptr) {
        trace->Sent(command.data(), length);
    }
    port.Write(command.data(), length);
}

void Wire::SendShort(uint8_t code, uint8_t argument) {
    command[0] = code;
    command[1] = argument;
    Send(SHORT_FRAME_LENGTH);
}

ReadResult Wire::Receive(uint32_t count, milliseconds deadline) {
    uint32_t received = 0;
    const ReadResult result = port.Read(reply.data(), count, received, deadline);
    if (trace != nullptr) {
        trace->Received(reply.data(), count, received, result, deadline);
    }
    return result;
}

ReplyCheck Wire::ReceiveReply(uint8_t code, milliseconds deadline) {
    if (Receive(REPLY_HEADER_LENGTH, deadline) != ReadResult::Ok) {
        return ReplyCheck::Missing;
    }
    return reply[0] == ReplyCode(code) ? ReplyCheck::Ok : ReplyCheck::WrongCode;
}

}  // namespace q8
