// q8loader-cli: the command-line companion. It drives the same core as the
// window, for scripting and headless use.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ConsoleText.h"
#include "ConsoleTransferUi.h"
#include "ConsoleUi.h"
#include "Interrupt.h"
#include "host/HostFile.h"
#include "link/PortList.h"
#include "link/SerialLink.h"
#include "protocol/LinkPort.h"
#include "session/CartridgeRefresh.h"
#include "session/DownloadTransfer.h"
#include "session/Maintenance.h"
#include "session/PortDiagnosis.h"
#include "session/PortSelection.h"
#include "session/ReadBack.h"
#include "session/UploadTransfer.h"
#include "version/Version.h"

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

// Bytes below this, and DEL, are control characters in a cartridge name.
constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DEL = 0x7F;
constexpr size_t ESCAPE_BYTES = sizeof "\\xff";  // with its terminating NUL

constexpr const char* VERIFY_OPTION = "--verify";

constexpr const char* OUTPUT_FAILED = "q8loader-cli: cannot write the output";
constexpr const char* TRACE_FAILED = "q8loader-cli: cannot write the trace ";
// The window's variable for a trace file; --trace wins over it.
constexpr const char* TRACE_VARIABLE = "Q8LOADER_TRACE";

constexpr const char* USAGE =
    "usage: q8loader-cli [--port COM1|COM2|PATH] [--trace FILE] COMMAND [ARGS]\n"
    "\n"
    "  list                show the cartridge's files, its total and free space\n"
    "  download [--verify] FILE...\n"
    "                      send up to six files to the cartridge, in this order;\n"
    "                      --verify reads each back and compares it byte for byte\n"
    "  upload INDEX FILE   read cartridge file INDEX (0 = first) into FILE\n"
    "  delete              delete the cartridge's last file\n"
    "  erase-voice         erase the recorded voice\n"
    "  format              format the cartridge\n"
    "  ports [--all]       list the serial ports present (--all: also empty UART slots)\n"
    "\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "During a transfer a progress line is shown when stderr is a terminal, and\n"
    "Ctrl-C cancels it and the files still to come. Exit status: 0 done, 1 failed\n"
    "or refused or cancelled, 2 usage.\n"
    "\n"
    "--trace FILE (or Q8LOADER_TRACE=FILE) writes every frame and reply, with\n"
    "times and expired deadlines, to FILE: send it with a bug report.\n"
    "\n"
    "Without --port the tool opens COM1 and falls back to COM2. On Linux COM1 and\n"
    "COM2 are the devices named by Q8LOADER_COM1 and Q8LOADER_COM2 (default\n"
    "/dev/ttyS0 and /dev/ttyS1).\n";

struct Options {
    std::string port;     // empty: COM1, falling back to COM2
    std::string trace;    // empty: no wire trace
    bool verify = false;  // download: read every file back and compare
    std::string command;
    std::vector<std::string> args;
};

bool ParseIndex(const std::string& text, int& index) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    index = std::atoi(text.c_str());
    return index <= 255;
}

bool ParseOptions(const std::vector<std::string>& args, Options& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--port" || args[i] == "--trace") && options.command.empty()) {
            // An empty port name would read as no --port at all.
            if (i + 1 >= args.size() || (args[i] == "--port" && args[i + 1].empty())) {
                return false;
            }
            (args[i] == "--port" ? options.port : options.trace) = args[i + 1];
            ++i;
        } else if (options.command.empty()) {
            options.command = args[i];
        } else {
            options.args.push_back(args[i]);
        }
    }
    const std::string& c = options.command;
    const size_t n = options.args.size();
    int index = 0;
    if (c == "list" || c == "delete" || c == "erase-voice" || c == "format") {
        return n == 0;
    }
    if (c == "ports") {
        return n == 0 || (n == 1 && options.args[0] == "--all");
    }
    if (c == "download") {
        options.verify = n >= 1 && options.args[0] == VERIFY_OPTION;
        if (options.verify) {
            options.args.erase(options.args.begin());
        }
        return !options.args.empty();
    }
    if (c == "upload") {
        return n == 2 && ParseIndex(options.args[0], index);
    }
    return false;
}

// Opens the port as the window's start-up does, unless --port names one.
bool OpenPort(const Options& options, q8::SerialLink& link, q8::CartridgeModel& model,
              q8::MessageSink& messages) {
    if (options.port.empty()) {
        return q8::OpenStartupPort(link, model, messages);
    }
    return q8::OpenNamedPort(link, model, messages, options.port);
}

// After every command: output that could not be written (a full disk, a
// closed pipe or stdout) fails the command, whatever the command did.
int CheckOutput(int code) {
    const std::string why = q8cli::OutputFailure();
    if (why.empty() && !std::ferror(stdout)) {
        return code;
    }
    q8cli::WriteText(stderr, std::string(OUTPUT_FAILED) + (why.empty() ? "" : ": " + why) + "\n");
    return EXIT_FAILED;
}

// A cartridge name as one field of one line: control bytes as \xHH so the
// device cannot drive the terminal or split the line, and the backslash
// doubled so the escaping reads back unambiguously. UTF-8 passes untouched.
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

void PrintLine(FILE* to, const std::string& text) {
    if (!text.empty()) {
        q8cli::WriteText(to, text + "\n");
    }
}

// The status line: on stdout after a success, on stderr after a failure.
int ReportStatus(const q8::CartridgeModel& model, bool ok) {
    PrintLine(ok ? stdout : stderr, model.status.text);
    return ok ? EXIT_OK : EXIT_FAILED;
}

int List(q8::Station& station, const q8cli::CollectedRows& rows) {
    const q8::RefreshResult result = q8::Refresh(station);
    for (const q8::CartridgeRow& row : rows.Rows()) {
        q8cli::WriteText(stdout,
                         EscapeControls(row.name) + "\t" + row.size + "\t" + row.modified + "\n");
    }
    PrintLine(stdout, station.model.info.totalText);
    PrintLine(stdout, station.model.info.freeText);
    q8cli::FlushOutput();
    return ReportStatus(station.model, result.Ok());
}

// The files as rows of the download list: absolute, split into folder and name.
std::vector<q8::DownloadRow> DownloadRows(const std::vector<std::string>& paths) {
    std::vector<q8::DownloadRow> rows;
    for (const std::string& path : paths) {
        q8::DownloadRow row;
        q8::SplitPath(q8::AbsolutePath(path), row.folder, row.name);
        rows.push_back(row);
    }
    return rows;
}

// The files just sent are the last rows of the listing the batch's final
// refresh left; each is read back and compared with its source.
int VerifySent(q8::TransferContext& transfer, const q8cli::CollectedRows& rows,
               const std::vector<q8::DownloadRow>& sent) {
    const int first = rows.RowCount() - static_cast<int>(sent.size());
    int code = EXIT_OK;
    for (size_t i = 0; i < sent.size(); ++i) {
        const std::string path = q8::JoinPath(sent[i].folder, sent[i].name);
        const int index = first + static_cast<int>(i);
        const q8::ReadBack check =
            index < 0 ? q8::ReadBack{}
                      : q8::ReadBackAndCompare(transfer, static_cast<uint8_t>(index), path);
        switch (check.result) {
            case q8::ReadBackResult::Same:
                PrintLine(stdout, "verified: " + sent[i].name);
                continue;
            case q8::ReadBackResult::Differs:
                PrintLine(stderr, "differs: " + sent[i].name + " from byte " +
                                      std::to_string(check.firstDifference));
                break;
            case q8::ReadBackResult::UploadFailed:
                PrintLine(stderr, "not read back: " + sent[i].name);
                break;
            case q8::ReadBackResult::SourceUnreadable:
                PrintLine(stderr, "cannot read " + path);
                break;
        }
        code = EXIT_FAILED;
    }
    return code;
}

int Download(q8::TransferContext& transfer, const q8cli::CollectedRows& rows,
             const std::vector<std::string>& paths, bool verify) {
    const std::vector<q8::DownloadRow> sent = DownloadRows(paths);
    const q8::BatchResult result = q8::DownloadBatch(transfer, sent);
    if (result == q8::BatchResult::RefreshFailed) {
        return ReportStatus(transfer.station.model, false);
    }
    if (result != q8::BatchResult::Done) {
        return EXIT_FAILED;
    }
    return verify ? VerifySent(transfer, rows, sent) : EXIT_OK;
}

int Upload(q8::TransferContext& transfer, q8cli::CollectedRows& rows, int index) {
    rows.SetMark(index);
    const q8::UploadResult result = q8::UploadFile(transfer);
    if (result == q8::UploadResult::NotStarted) {
        return ReportStatus(transfer.station.model, false);
    }
    return result == q8::UploadResult::Done ? EXIT_OK : EXIT_FAILED;
}

// The window deletes the row the user marked, and only the last one; here the
// listing is read first and its last row marked.
int Delete(q8::Station& station, q8cli::CollectedRows& rows, q8::MessageSink& messages) {
    if (!q8::Refresh(station).Ok()) {
        return ReportStatus(station.model, false);
    }
    rows.SetMark(rows.RowCount() - 1);
    const q8::MaintenanceResult result = q8::DeleteLastFile(station, messages);
    return ReportStatus(station.model, result == q8::MaintenanceResult::Ok);
}

// One tab-separated line a port: path, stable name, kind, USB ids, maker,
// product, serial number, and whether this user can open it now.
int Ports(bool all) {
    for (const q8::PortInfo& port : q8::ListPorts(all)) {
        const auto field = [](const std::string& text) { return text.empty() ? "-" : text; };
        const std::string ids =
            port.vendorId.empty() ? std::string() : port.vendorId + ":" + port.productId;
        const std::string product = port.product.empty() ? port.description : port.product;
        q8cli::WriteText(stdout, port.path + "\t" + field(port.stableName) + "\t" +
                                     q8::PortKindName(port.kind) + "\t" + field(ids) + "\t" +
                                     field(port.manufacturer) + "\t" + field(product) + "\t" +
                                     field(port.serial) + "\t" + q8::AccessText(port.path) + "\n");
    }
    return EXIT_OK;
}

void WarnTrace(const std::string& path, int error) {
    q8cli::WriteText(stderr, TRACE_FAILED + path + ": " + std::strerror(error) + "\n");
}

// Once the command is over, and once only: the trace stopped at a write that
// failed. The command's outcome stands; only the bug report lacks its end.
class TraceCheck {
  public:
    TraceCheck(const q8::WireTrace& trace, const std::string& path) : trace_(trace), path_(path) {}
    TraceCheck(const TraceCheck&) = delete;
    TraceCheck& operator=(const TraceCheck&) = delete;
    ~TraceCheck() {
        if (!path_.empty() && trace_.Error() != 0) {
            WarnTrace(path_, trace_.Error());
        }
    }

  private:
    const q8::WireTrace& trace_;
    const std::string path_;
};

int Run(const std::vector<std::string>& args) {
    Options options;
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        q8cli::WriteText(stdout, USAGE);
        return EXIT_OK;
    }
    if (args.size() == 1 && args[0] == "--version") {
        q8cli::WriteText(stdout, q8version::VersionLine("q8loader-cli"));
        return EXIT_OK;
    }
    if (!ParseOptions(args, options)) {
        q8cli::WriteText(stderr, USAGE);
        return EXIT_USAGE;
    }

    if (options.command == "ports") {
        return Ports(!options.args.empty());
    }
    const bool upload = options.command == "upload";
    q8cli::StderrMessages messages;
    q8cli::ConsoleTransferUi ui(upload ? options.args[1] : std::string());
    q8::SerialLink link;
    q8::LinkPort port(link);
    q8::Wire wire(port, q8::SystemClock());
    q8::CartridgeModel model;
    q8cli::CollectedRows rows;
    q8::Station station{wire, model, rows};
    q8::TransferState state;
    q8::TransferContext transfer{station, state, ui};
    q8::WireTrace trace;
    const std::string tracePath =
        options.trace.empty() ? q8cli::Utf8Environment(TRACE_VARIABLE) : options.trace;
    if (!tracePath.empty()) {
        if (!trace.Open(tracePath)) {
            WarnTrace(tracePath, trace.Error());
            return EXIT_FAILED;
        }
        wire.trace = &trace;
    }
    const TraceCheck traceCheck(trace, tracePath);

    if (!OpenPort(options, link, model, messages)) {
        return EXIT_FAILED;
    }
    const std::string& command = options.command;
    if (command == "download") {
        q8cli::CatchStopSignals();
        return Download(transfer, rows, options.args, options.verify);
    }
    if (upload) {
        q8cli::CatchStopSignals();
        return Upload(transfer, rows, std::atoi(options.args[0].c_str()));
    }
    if (command == "delete") {
        return Delete(station, rows, messages);
    }
    if (command == "erase-voice") {
        return ReportStatus(model, q8::EraseVoice(station) == q8::MaintenanceResult::Ok);
    }
    if (command == "format") {
        return ReportStatus(model, q8::FormatCartridge(station) == q8::MaintenanceResult::Ok);
    }
    return List(station, rows);
}

}  // namespace

int main(int argc, char** argv) {
    q8cli::PrepareProcess();
    return CheckOutput(Run(q8cli::Utf8Arguments(argc, argv)));
}
