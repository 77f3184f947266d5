#include "Oracles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "link/SerialLink.h"
#include "protocol/ByteOrder.h"
#include "protocol/Frames.h"

namespace q8fuzz {

namespace {

constexpr size_t SHOWN_EVENTS = 80;
constexpr size_t SHOWN_BYTES = 8;

void PrintBytes(const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size() && i < SHOWN_BYTES; ++i) {
        std::fprintf(stderr, " %02X", bytes[i]);
    }
    if (bytes.size() > SHOWN_BYTES) {
        std::fprintf(stderr, " ... (%zu bytes)", bytes.size());
    }
}

const char* ResultName(q8::ReadResult result) {
    switch (result) {
        case q8::ReadResult::Ok:
            return "ok";
        case q8::ReadResult::PortError:
            return "port-error";
        case q8::ReadResult::Timeout:
            return "timeout";
    }
    return "?";
}

bool Complete(const Event* read, uint32_t count) {
    return read->result == q8::ReadResult::Ok && read->count == count &&
           read->bytes.size() == count;
}

// A complete header with the reply code of `command`.
bool Header(const Event* read, uint8_t command) {
    return Complete(read, q8::REPLY_HEADER_LENGTH) && read->bytes[0] == q8::ReplyCode(command);
}

}  // namespace

void OracleFailed(const std::string& what, const std::vector<Event>& log) {
    std::fprintf(stderr, "ORACLE FAILED: %s\nhost log (last %zu events):\n", what.c_str(),
                 SHOWN_EVENTS);
    const size_t first = log.size() > SHOWN_EVENTS ? log.size() - SHOWN_EVENTS : 0;
    for (size_t i = first; i < log.size(); ++i) {
        const Event& e = log[i];
        switch (e.kind) {
            case Event::Kind::Write:
                std::fprintf(stderr, "  write");
                PrintBytes(e.bytes);
                break;
            case Event::Kind::Read:
                std::fprintf(stderr, "  read %zu/%u %s deadline %u took %llu:", e.bytes.size(),
                             e.count, ResultName(e.result), e.ms,
                             static_cast<unsigned long long>(e.tookMs));
                PrintBytes(e.bytes);
                break;
            case Event::Kind::Sleep:
                std::fprintf(stderr, "  pause %u", e.ms);
                break;
            case Event::Kind::Purge:
                std::fprintf(stderr, "  purge");
                break;
            case Event::Kind::TransferStart:
                std::fprintf(stderr, "  transfer of %s", e.line.c_str());
                break;
            case Event::Kind::TransferEnd:
                std::fprintf(stderr, "  transfer ended: %d", e.transferResult);
                break;
        }
        std::fprintf(stderr, "\n");
    }
    std::abort();
}

std::vector<Item> Items(const std::vector<Event>& log) {
    std::vector<Item> items;
    for (const Event& e : log) {
        switch (e.kind) {
            case Event::Kind::Write:
                items.push_back({Item::Kind::Frame, &e, {}});
                break;
            case Event::Kind::Read:
                Require(!items.empty() && items.back().kind == Item::Kind::Frame,
                        "the host read before writing a frame", log);
                items.back().reads.push_back(&e);
                break;
            case Event::Kind::TransferStart:
                items.push_back({Item::Kind::Start, &e, {}});
                break;
            case Event::Kind::TransferEnd:
                items.push_back({Item::Kind::End, &e, {}});
                break;
            case Event::Kind::Sleep:
            case Event::Kind::Purge:
                break;
        }
    }
    return items;
}

std::string ReplyProblem(const Item& frame) {
    const std::vector<const Event*>& r = frame.reads;
    const uint8_t code = frame.Code();
    auto single = [&r, code](bool (*statusOk)(uint8_t)) -> std::string {
        if (r.size() != 1 || !Header(r[0], code) || !statusOk(r[0]->bytes[1])) {
            return "not one complete header with a success status";
        }
        return {};
    };
    switch (code) {
        case q8::CMD_HELLO:
            return single([](uint8_t s) { return s == q8::SUPPORTED_MACHINE_TYPE; });
        case q8::CMD_CARD_INFO:
            // A header whose data did not follow is read again; every header
            // must say the card is fine and the last read must be the data.
            if (r.empty() || !Complete(r.back(), q8::CARD_INFO_DATA_LENGTH)) {
                return "card info without its data";
            }
            for (size_t i = 0; i + 1 < r.size(); i += 2) {
                if (!Header(r[i], code) || r[i]->bytes[1] >= q8::STATUS_CARD_ERROR_MIN) {
                    return "card info header missing, wrong or an error";
                }
            }
            return r.size() % 2 == 0 ? "" : "card info reads out of step";
        case q8::CMD_DIR_ENTRY:
            return r.size() == 1 && Complete(r[0], q8::DIR_ENTRY_SIZE) ? ""
                                                                       : "directory entry short";
        case q8::CMD_FORMAT:
        case q8::CMD_DOWNLOAD_BEGIN:
        case q8::CMD_ERASE_VOICE:
            return single([](uint8_t s) { return s == q8::STATUS_OK; });
        case q8::CMD_DOWNLOAD_BLOCK:
        case q8::CMD_DOWNLOAD_ENTRY:
            return single([](uint8_t s) { return s == q8::STATUS_OK || s == q8::STATUS_RESEND; });
        case q8::CMD_DELETE:
            return single([](uint8_t s) { return s != q8::STATUS_NOT_RECOGNISED; });
        case q8::CMD_UPLOAD_BEGIN:
            return r.size() == 2 && Header(r[0], code) && r[0]->bytes[1] == q8::STATUS_OK &&
                           Complete(r[1], q8::UPLOAD_SIZE_LENGTH)
                       ? ""
                       : "upload begin without status 0 and its size";
        case q8::CMD_UPLOAD_NEXT:
            if (r.empty() || !Header(r[0], code)) {
                return "upload block header missing or wrong";
            }
            if (r[0]->bytes[1] == q8::STATUS_OK) {
                return r.size() == 1 ? "" : "reads after the end of an upload";
            }
            return r.size() == 2 && Complete(r[1], q8::BLOCK_SIZE) ? "" : "upload block short";
        case q8::CMD_BATCH_END:
            return r.empty() ? "" : "a read after the batch end";
        default:
            return "a frame with an unknown code";
    }
}

RefreshSeen CheckRefreshSucceeded(const std::vector<Item>& items, size_t first, size_t end,
                                  const std::vector<Event>& log) {
    Require(end >= first + 3, "a successful refresh without hello, card info and directory", log);
    Require(items[first].Code() == q8::CMD_HELLO && items[first + 1].Code() == q8::CMD_CARD_INFO,
            "a successful refresh that does not start with hello and card info", log);
    RefreshSeen seen;
    for (size_t i = first; i < end; ++i) {
        const Item& item = items[i];
        Require(item.kind == Item::Kind::Frame, "a transfer inside a refresh", log);
        const std::string problem = ReplyProblem(item);
        Require(problem.empty(), "a refresh succeeded with an error reply: " + problem, log);
        if (i >= first + 2) {
            Require(item.Code() == q8::CMD_DIR_ENTRY, "a refresh frame after the directory", log);
            const bool endMarker = item.reads[0]->bytes[0] == q8::DIR_END_MARKER;
            const size_t dirs = end - first - 2;
            const size_t k = i - first - 2;
            Require(dirs <= q8::MAX_DIR_ENTRIES, "more than 13 directory entries asked for", log);
            Require(!endMarker || k + 1 == dirs, "the directory was read past its end marker", log);
            Require(endMarker || k + 1 < dirs || dirs == q8::MAX_DIR_ENTRIES,
                    "a refresh succeeded before the directory's end", log);
            seen.files += endMarker ? 0 : 1;
        }
    }
    const std::vector<uint8_t>& data = items[first + 1].reads.back()->bytes;
    seen.totalBytes = q8::GetLe32(&data[0]);
    seen.freeBytes = q8::GetLe32(&data[4]);
    return seen;
}

void CheckTiming(const std::vector<Event>& log, uint64_t elapsedMs) {
    uint64_t bound = 0;
    for (const Event& e : log) {
        if (e.kind == Event::Kind::Read) {
            const uint64_t most = uint64_t{e.ms} + q8::LINK_READ_WAIT_END_MS;
            Require(e.tookMs <= most,
                    "a read took " + std::to_string(e.tookMs) + " ms, more than its deadline " +
                        std::to_string(e.ms) + " ms and one wait",
                    log);
            bound += most;
        } else if (e.kind == Event::Kind::Sleep) {
            bound += e.ms;
        }
    }
    Require(elapsedMs <= bound,
            "the operation took " + std::to_string(elapsedMs) + " ms of virtual time, more than " +
                std::to_string(bound) + " ms its reads and pauses allow",
            log);
}

std::vector<uint8_t> UploadedBytes(const std::vector<Event>& log) {
    std::vector<uint8_t> bytes;
    bool sized = false;
    uint32_t size = 0;
    for (const Item& item : Items(log)) {
        const std::vector<const Event*>& r = item.reads;
        if (item.Code() == q8::CMD_UPLOAD_BEGIN && r.size() == 2 &&
            Header(r[0], q8::CMD_UPLOAD_BEGIN) && r[0]->bytes[1] == q8::STATUS_OK &&
            Complete(r[1], q8::UPLOAD_SIZE_LENGTH)) {
            sized = true;
            size = q8::GetLe32(r[1]->bytes.data());
        } else if (sized && item.Code() == q8::CMD_UPLOAD_NEXT && r.size() == 2 &&
                   Header(r[0], q8::CMD_UPLOAD_NEXT) && r[0]->bytes[1] != q8::STATUS_OK &&
                   Complete(r[1], q8::BLOCK_SIZE)) {
            bytes.insert(bytes.end(), r[1]->bytes.begin(), r[1]->bytes.end());
        }
    }
    bytes.resize(std::min<size_t>(bytes.size(), size));
    return bytes;
}

}  // namespace q8fuzz
