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
#include "session/PortDiagnosis.h"
#include "session/Session.h"
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
bool OpenPort(const Options& options, q8::Session& session) {
    return options.port.empty() ? session.OpenStartupPort() : session.OpenNamedPort(options.port);
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

int List(q8::Session& session, const q8cli::CollectedRows& rows) {
    const q8::RefreshResult result = session.Refresh();
    for (const q8::CartridgeRow& row : rows.Rows()) {
        q8cli::WriteText(stdout,
                         EscapeControls(row.name) + "\t" + row.size + "\t" + row.modified + "\n");
    }
    PrintLine(stdout, session.Model().info.totalText);
    PrintLine(stdout, session.Model().info.freeText);
    q8cli::FlushOutput();
    return ReportStatus(session.Model(), result.Ok());
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

void PrintCheck(const q8::VerifiedFile& file) {
    switch (file.check.result) {
        case q8::ReadBackResult::Same:
            PrintLine(stdout, "verified: " + file.name);
            return;
        case q8::ReadBackResult::Differs:
            PrintLine(stderr, "differs: " + file.name + " from byte " +
                                  std::to_string(file.check.firstDifference));
            return;
        case q8::ReadBackResult::UploadFailed:
            PrintLine(stderr, "not read back: " + file.name);
            return;
        case q8::ReadBackResult::SourceUnreadable:
            PrintLine(stderr, "cannot read " + file.path);
            return;
    }
}

int Download(q8::Session& session, const std::vector<std::string>& paths, bool verify) {
    const q8::DownloadOutcome outcome = session.Download(
        DownloadRows(paths),
        verify ? q8::Session::ReadBackMode::Compare : q8::Session::ReadBackMode::None, PrintCheck);
    if (outcome.batch == q8::BatchResult::RefreshFailed) {
        return ReportStatus(session.Model(), false);
    }
    return outcome.Succeeded() ? EXIT_OK : EXIT_FAILED;
}

// The cartridge file the user named stands for the row a window user marks.
int Upload(q8::Session& session, q8cli::CollectedRows& rows, int index) {
    rows.SetMark(index);
    const q8::UploadResult result = session.UploadMarked();
    if (result == q8::UploadResult::NotStarted) {
        return ReportStatus(session.Model(), false);
    }
    return result == q8::UploadResult::Done ? EXIT_OK : EXIT_FAILED;
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
    q8cli::ConsoleTransferUi ui(upload ? options.args[1] : std::string());
    q8::SerialLink link;
    q8cli::CollectedRows rows;
    q8::Session session(link, rows, ui);
    q8::WireTrace trace;
    const std::string tracePath =
        options.trace.empty() ? q8cli::Utf8Environment(TRACE_VARIABLE) : options.trace;
    if (!tracePath.empty()) {
        if (!trace.Open(tracePath)) {
            WarnTrace(tracePath, trace.Error());
            return EXIT_FAILED;
        }
        session.SetTrace(&trace);
    }
    const TraceCheck traceCheck(trace, tracePath);

    if (!OpenPort(options, session)) {
        return EXIT_FAILED;
    }
    const std::string& command = options.command;
    if (command == "download") {
        q8cli::CatchStopSignals();
        return Download(session, options.args, options.verify);
    }
    if (upload) {
        q8cli::CatchStopSignals();
        return Upload(session, rows, std::atoi(options.args[0].c_str()));
    }
    if (command == "delete") {
        return ReportStatus(session.Model(), session.DeleteLast() == q8::MaintenanceResult::Ok);
    }
    if (command == "erase-voice") {
        return ReportStatus(session.Model(), session.EraseVoice() == q8::MaintenanceResult::Ok);
    }
    if (command == "format") {
        return ReportStatus(session.Model(), session.Format() == q8::MaintenanceResult::Ok);
    }
    return List(session, rows);
}

}  // namespace

int main(int argc, char** argv) {
    q8cli::PrepareProcess();
    return CheckOutput(Run(q8cli::Utf8Arguments(argc, argv)));
}
