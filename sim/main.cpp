// q8sim: a simulated device on a pseudo-terminal, for trying the loader
// without the hardware.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "SimFiles.h"
#include "Simulator.h"
#include "WireText.h"
#include "version/Version.h"

namespace {

constexpr int EXIT_FAILED = 1;

bool LoadSources(q8sim::SimOptions& options, std::string& error) {
    for (const q8sim::FileSource& source : options.sources) {
        if (source.folder.empty()) {
            options.config.files.push_back(q8sim::SyntheticFile(source.name, source.size));
        } else if (!q8sim::LoadFolder(source.folder, options.config.files)) {
            error = "cannot read folder " + source.folder;
            return false;
        }
    }
    if (!options.freeGiven) {
        const uint32_t used = q8sim::FilesFootprint(options.config.files);
        const uint32_t total = options.config.totalBytes;
        options.config.freeBytes = used < total ? total - used : 0;
    }
    return true;
}

// Replaces an old symlink of ours but never a real file.
bool MakeLink(const std::string& target, const std::string& link) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        unlink(link.c_str());
    }
    return symlink(target.c_str(), link.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    q8sim::SimOptions options;
    std::string error;
    if (!q8sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "q8sim: %s\n%s", error.c_str(), q8sim::UsageText());
        return q8sim::EXIT_USAGE;
    }
    if (options.help) {
        std::fputs(q8sim::UsageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(q8version::VersionLine("q8sim").c_str(), stdout);
        return 0;
    }
    if (!LoadSources(options, error)) {
        std::fprintf(stderr, "q8sim: %s\n", error.c_str());
        return q8sim::EXIT_USAGE;
    }

    // Blocked before the device thread exists so that only sigwait sees them.
    // A shell starts background jobs with SIGINT ignored, and an ignored
    // signal never reaches sigwait, so the defaults come back first.
    const int stopSignalNumbers[] = {SIGINT, SIGTERM, SIGHUP};
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int number : stopSignalNumbers) {
        signal(number, SIG_DFL);
        sigaddset(&stopSignals, number);
    }
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    options.config.keepHistory = false;  // runs for hours; --log shows the wire
    q8sim::Simulator simulator(options.config);
    if (options.log) {
        simulator.SetWireObserver([](const q8sim::WireRecord& record) {
            std::fprintf(stderr, "%s\n", q8sim::WireText(record).c_str());
        });
    }
    if (!simulator.Start()) {
        std::fprintf(stderr, "q8sim: no pseudo-terminal: %s\n", simulator.Error().c_str());
        return EXIT_FAILED;
    }
    if (!options.linkPath.empty() && !MakeLink(simulator.DevicePath(), options.linkPath)) {
        std::fprintf(stderr, "q8sim: cannot link %s: %s\n", options.linkPath.c_str(),
                     std::strerror(errno));
        return EXIT_FAILED;
    }
    std::printf("%s\n", simulator.DevicePath().c_str());
    std::fflush(stdout);

    int signalNumber = 0;
    while (sigwait(&stopSignals, &signalNumber) != 0) {
    }
    simulator.Stop();
    if (!options.linkPath.empty()) {
        unlink(options.linkPath.c_str());
    }
    return 0;
}
