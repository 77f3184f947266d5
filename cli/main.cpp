// q8loader-cli: the command-line companion. It drives the same core as the
// window, for scripting and headless use.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "ConsoleText.h"
#include "ConsoleTransferUi.h"
#include "ConsoleUi.h"
#include "DeviceJob.h"
#include "Fleet.h"
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

constexpr const char* OUTPUT_FAILED = "q8loader-cli: cannot write the output";
constexpr const char* TRACE_FAILED = "q8loader-cli: cannot write the trace ";
// The window's variable for a trace file; --trace wins over it.
constexpr const char* TRACE_VARIABLE = "Q8LOADER_TRACE";

using q8cli::Options;

// Opens the port as the window's start-up does, unless --port names one.
bool OpenPort(const Options& options, q8::Session& session) {
    return options.ports.empty() ? session.OpenStartupPort()
                                 : session.OpenNamedPort(options.ports[0]);
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
        q8cli::WriteText(stdout, q8cli::RowText(row) + "\n");
    }
    PrintLine(stdout, session.Model().info.totalText);
    PrintLine(stdout, session.Model().info.freeText);
    q8cli::FlushOutput();
    return ReportStatus(session.Model(), result.Ok());
}

void PrintCheck(const q8::VerifiedFile& file) {
    const q8cli::CheckLine line = q8cli::CheckText(file);
    PrintLine(line.same ? stdout : stderr, line.text);
}

int Download(q8::Session& session, const std::vector<std::string>& paths, bool verify) {
    const q8::DownloadOutcome outcome = session.Download(
        q8cli::DownloadRows(paths),
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
        q8cli::WriteText(stdout, q8cli::USAGE);
        return EXIT_OK;
    }
    if (args.size() == 1 && args[0] == "--version") {
        q8cli::WriteText(stdout, q8version::VersionLine("q8loader-cli"));
        return EXIT_OK;
    }
    if (!q8cli::ParseOptions(args, options)) {
        q8cli::WriteText(stderr, q8cli::USAGE);
        return EXIT_USAGE;
    }

    if (options.command == "ports") {
        return Ports(!options.args.empty());
    }
    const std::string tracePath =
        options.trace.empty() ? q8cli::Utf8Environment(TRACE_VARIABLE) : options.trace;
    if (options.ManyDevices()) {
        return q8cli::RunFleet(options, tracePath);
    }
    const bool upload = options.command == "upload";
    q8cli::ConsoleTransferUi ui(upload ? options.args[1] : std::string());
    q8::SerialLink link;
    q8cli::CollectedRows rows;
    q8::Session session(link, rows, ui);
    q8::WireTrace trace;
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
