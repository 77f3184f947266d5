#include "ui/DownloadList.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include "host/HostFile.h"
#include "protocol/Frames.h"
#include "session/FormatSize.h"

namespace q8ui {

namespace {

constexpr int NAME_COLUMN = 0;
constexpr int FOLDER_COLUMN = 3;

QString SizeText(uint64_t bytes) {
    return QString::fromStdString(q8::FormatSize64(bytes));
}

// Formatted by hand so that neither the locale nor its digits get a say.
QString ModifiedText(const QDateTime& local) {
    const QDate date = local.date();
    const QTime time = local.time();
    return QString::asprintf("%d-%02d-%02d %02d:%02d", date.year(), date.month(), date.day(),
                             time.hour(), time.minute());
}

}  // namespace

DownloadList::DownloadList(QWidget* parent, QLineEdit* totalLabel, QLineEdit* totalValue)
    : ReportList(Selection::Multiple, parent), totalLabel_(totalLabel), totalValue_(totalValue) {}

void DownloadList::AddColumns() {
    AddColumn(QStringLiteral("文件名"), 96, Qt::AlignLeft);
    AddColumn(QStringLiteral("大小"), 96, Qt::AlignRight);
    AddColumn(QStringLiteral("修改时间"), 128, Qt::AlignLeft);
    AddColumn(QStringLiteral("路径"), 256, Qt::AlignLeft);
}

void DownloadList::AddFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            continue;
        }
        std::string folder;
        std::string name;
        // Qt's dialogs give '/' on every system; the row keeps the
        // system's own separator, which the transfer joins back.
        q8::SplitPath(QDir::toNativeSeparators(path).toUtf8().toStdString(), folder, name);
        const auto size = static_cast<uint64_t>(info.size());
        InsertRow(RowCount(), {QString::fromStdString(name), SizeText(size),
                               ModifiedText(info.lastModified().toLocalTime()),
                               QString::fromStdString(folder)});
        sizes_.push_back(size);
    }
    UpdateDownloadTotal();
}

void DownloadList::RemoveDownloadFiles() {
    const int count = SelectedCount();
    if (count == 0) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        const int row = NextSelected(-1);
        if (row < 0) {
            break;
        }
        RemoveRow(row);
        sizes_.erase(sizes_.begin() + row);
    }
    UpdateDownloadTotal();
}

void DownloadList::MoveDownloadFilesUp() {
    const int count = SelectedCount();
    if (count == 0) {
        return;
    }
    // The top row has nowhere to go; a run that starts there rotates instead,
    // because each row below it swaps past the one above.
    int row = -1;
    for (int i = 0; i < count; ++i) {
        row = NextSelected(row);
        if (row < 0) {
            break;
        }
        if (row > 0) {
            MoveRow(row, row - 1);
        }
    }
    UpdateDownloadTotal();
}

void DownloadList::MoveDownloadFilesDown() {
    const int count = SelectedCount();
    if (count == 0) {
        return;
    }
    // The search starts above the last row, so a selected last row stays put.
    int from = RowCount() - 1;
    for (int i = 0; i < count; ++i) {
        const int row = PreviousSelected(from);
        if (row < 0) {
            continue;
        }
        MoveRow(row, row + 1);
        from = row;
    }
    UpdateDownloadTotal();
}

void DownloadList::UpdateDownloadTotal() {
    uint64_t total = 0;
    for (const uint64_t size : sizes_) {
        total += q8::CartridgeFootprint(size);
    }
    if (total == 0) {
        totalLabel_->clear();
        totalValue_->clear();
        return;
    }
    totalLabel_->setText(QStringLiteral("共计占用空间:"));
    totalValue_->setText(SizeText(total));
}

std::vector<q8::DownloadRow> DownloadList::Rows() const {
    std::vector<q8::DownloadRow> rows;
    rows.reserve(static_cast<size_t>(RowCount()));
    for (int row = 0; row < RowCount(); ++row) {
        const QTreeWidgetItem* item = topLevelItem(row);
        rows.push_back({item->text(NAME_COLUMN).toUtf8().toStdString(),
                        item->text(FOLDER_COLUMN).toUtf8().toStdString()});
    }
    return rows;
}

void DownloadList::MoveRow(int row, int to) {
    const QStringList texts = RowTexts(row);
    const uint64_t size = sizes_[static_cast<size_t>(row)];
    RemoveRow(row);
    sizes_.erase(sizes_.begin() + row);
    InsertRow(to, texts);
    sizes_.insert(sizes_.begin() + to, size);
}

}  // namespace q8ui
