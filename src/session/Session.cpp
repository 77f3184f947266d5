#include "session/Session.h"

#include "host/HostFile.h"
#include "protocol/LinkPort.h"
#include "session/PortSelection.h"

namespace q8 {

bool DownloadOutcome::Succeeded() const {
    if (batch != BatchResult::Done) {
        return false;
    }
    for (const VerifiedFile& file : verified) {
        if (file.check.result != ReadBackResult::Same) {
            return false;
        }
    }
    return true;
}

Session::Session(SerialLink& link, CartridgeView& view, TransferUi& ui)
    : link_(&link),
      ownPort_(std::make_unique<LinkPort>(link)),
      wire_(*ownPort_, SystemClock()),
      station_{wire_, model_, view},
      transfer_{station_, state_, ui} {}

Session::Session(Port& port, Clock& clock, CartridgeView& view, TransferUi& ui, SerialLink* link)
    : link_(link),
      wire_(port, clock),
      station_{wire_, model_, view},
      transfer_{station_, state_, ui} {}

Session::~Session() = default;

bool Session::OpenStartupPort() {
    return link_ != nullptr && q8::OpenStartupPort(*link_, model_, transfer_.ui);
}

bool Session::SelectPort(int portIndex) {
    return link_ != nullptr && q8::SelectPort(*link_, model_, transfer_.ui, portIndex);
}

bool Session::OpenNamedPort(const std::string& name) {
    return link_ != nullptr && q8::OpenNamedPort(*link_, model_, transfer_.ui, name);
}

RefreshResult Session::Greet() {
    return GreetDevice(station_);
}

RefreshResult Session::Refresh() {
    return q8::Refresh(station_);
}

DownloadOutcome Session::Download(const std::vector<DownloadRow>& rows, ReadBackMode readBack,
                                  const VerifiedObserver& onVerified) {
    DownloadOutcome outcome;
    outcome.batch = DownloadBatch(transfer_, rows);
    if (outcome.batch == BatchResult::Done && readBack == ReadBackMode::Compare) {
        outcome.verified = ReadBackSent(rows, onVerified);
    }
    return outcome;
}

std::vector<VerifiedFile> Session::ReadBackSent(const std::vector<DownloadRow>& sent,
                                                const VerifiedObserver& onVerified) {
    const int first = station_.view.RowCount() - static_cast<int>(sent.size());
    std::vector<VerifiedFile> verified;
    for (size_t i = 0; i < sent.size(); ++i) {
        VerifiedFile file{sent[i].name, JoinPath(sent[i].folder, sent[i].name), ReadBack{}};
        // A listing shorter than the batch cannot hold the file: not read back.
        const int index = first + static_cast<int>(i);
        if (index >= 0) {
            file.check = ReadBackAndCompare(transfer_, static_cast<uint8_t>(index), file.path);
        }
        if (onVerified) {
            onVerified(file);
        }
        verified.push_back(file);
    }
    return verified;
}

UploadResult Session::UploadMarked() {
    return UploadFile(transfer_);
}

MaintenanceResult Session::DeleteMarked() {
    return DeleteLastFile(station_, transfer_.ui);
}

MaintenanceResult Session::DeleteLast() {
    if (!q8::Refresh(station_).Ok()) {
        return MaintenanceResult::Failed;
    }
    return DeleteLastFile(station_, transfer_.ui, station_.view.RowCount() - 1);
}

MaintenanceResult Session::EraseVoice() {
    return q8::EraseVoice(station_);
}

MaintenanceResult Session::Format() {
    return FormatCartridge(station_);
}

}  // namespace q8
