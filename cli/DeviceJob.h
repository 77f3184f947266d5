#pragma once
// What the CLI asks of a device, and how its results read as lines: the
// download list built from the command line, a cartridge row as one line, a
// read-back comparison as one line. Shared by the one-device and the
// many-device runs, so both print the same words.

#include <string>
#include <vector>

#include "session/DownloadTransfer.h"
#include "session/Session.h"

namespace q8cli {

struct Job {
    std::string command;                // list, download, delete, erase-voice, format
    std::vector<q8::DownloadRow> rows;  // download: the files in order
    bool verify = false;                // download: read each back and compare
};

// The files as rows of the download list: absolute, split into folder and name.
std::vector<q8::DownloadRow> DownloadRows(const std::vector<std::string>& paths);

// A cartridge name as one field of one line: control bytes as \xHH so the
// device cannot drive the terminal or split the line, and the backslash
// doubled so the escaping reads back unambiguously. UTF-8 passes untouched.
std::string EscapeControls(const std::string& name);

// "NAME<TAB>SIZE<TAB>MODIFIED".
std::string RowText(const q8::CartridgeRow& row);

// "verified: NAME", or why the file is not the same on the cartridge.
struct CheckLine {
    bool same = false;
    std::string text;
};
CheckLine CheckText(const q8::VerifiedFile& file);

}  // namespace q8cli
