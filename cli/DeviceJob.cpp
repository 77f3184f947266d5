#include "DeviceJob.h"

#include <cstdio>

#include "host/HostFile.h"

namespace q8cli {

namespace {

// Bytes below this, and DEL, are control characters in a cartridge name.
constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DEL = 0x7F;
constexpr size_t ESCAPE_BYTES = sizeof "\\xff";  // with its terminating NUL

}  // namespace

std::vector<q8::DownloadRow> DownloadRows(const std::vector<std::string>& paths) {
    std::vector<q8::DownloadRow> rows;
    for (const std::string& path : paths) {
        q8::DownloadRow row;
        q8::SplitPath(q8::AbsolutePath(path), row.folder, row.name);
        rows.push_back(row);
    }
    return rows;
}

std::string EscapeControls(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (byte < FIRST_PRINTABLE || byte == DEL) {
            char escaped[ESCAPE_BYTES];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string RowText(const q8::CartridgeRow& row) {
    return EscapeControls(row.name) + "\t" + row.size + "\t" + row.modified;
}

CheckLine CheckText(const q8::VerifiedFile& file) {
    switch (file.check.result) {
        case q8::ReadBackResult::Same:
            return {true, "verified: " + file.name};
        case q8::ReadBackResult::Differs:
            return {false, "differs: " + file.name + " from byte " +
                               std::to_string(file.check.firstDifference)};
        case q8::ReadBackResult::UploadFailed:
            return {false, "not read back: " + file.name};
        case q8::ReadBackResult::SourceUnreadable:
            return {false, "cannot read " + file.path};
    }
    return {false, file.name};
}

}  // namespace q8cli
