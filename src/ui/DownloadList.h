#pragma once
// The queue of host files the next download batch sends, top row first: the
// list control of the main window's download group, the file sizes kept in
// step with its rows, and the two fields that show the cartridge space the
// queued files will take. Nothing here talks to the device.
// Thread: the window thread.

#include <QLineEdit>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "session/DownloadTransfer.h"
#include "ui/ReportList.h"

namespace q8ui {

class DownloadList : public ReportList {
    Q_OBJECT

  public:
    // `totalLabel` and `totalValue`: the fields "共计占用空间:" and its value.
    DownloadList(QWidget* parent, QLineEdit* totalLabel, QLineEdit* totalValue);

    // Adds the four columns ("文件名", "大小", "修改时间", "路径").
    void AddColumns();

    // Appends one row per path, in order: name, FormatSize of the size, the
    // local last-write time "%Y-%m-%d %H:%M", and the folder. A path whose
    // status cannot be read is skipped silently. Then UpdateDownloadTotal.
    void AddFiles(const QStringList& paths);

    // The buttons "删除", "上移" and "下移" of the download group. With no row
    // selected they change nothing and leave the total fields alone.
    void RemoveDownloadFiles();
    void MoveDownloadFilesUp();
    void MoveDownloadFilesDown();

    // Sums the cartridge footprints of the sizes and writes the two fields,
    // or empties both when the sum is 0.
    void UpdateDownloadTotal();

    // What the batch sends: name and folder of every row, in order.
    std::vector<q8::DownloadRow> Rows() const;
    const std::vector<uint64_t>& Sizes() const { return sizes_; }

  private:
    // Rows change only with their sizes, through the operations above.
    using ReportList::InsertRow;
    using ReportList::RemoveAllRows;
    using ReportList::RemoveRow;

    // Moves `row` to `to` with its size; the moved row comes back unselected.
    void MoveRow(int row, int to);

    QLineEdit* totalLabel_;
    QLineEdit* totalValue_;
    // One per row, same order. 64 bits, so that a file of 4 GiB or more is not
    // taken for its size modulo 4 GiB.
    std::vector<uint64_t> sizes_;
};

}  // namespace q8ui
