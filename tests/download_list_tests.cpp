#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "host/HostFile.h"
#include "ui/DownloadList.h"

namespace {

namespace fs = std::filesystem;

const std::string TOTAL_LABEL = "共计占用空间:";

class DownloadListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Made());
        dir_ = folder_.Path();
        list_.AddColumns();
    }

    // Sparse, so that a file of several GiB costs nothing.
    QString MakeFile(const std::string& name, uint64_t size) const {
        const std::string path = q8::JoinPath(dir_, name);
        std::ofstream(q8test::FsPath(path), std::ios::binary).close();
        fs::resize_file(q8test::FsPath(path), size);
        return QString::fromStdString(path);
    }
    std::string Text(int row, int column) const {
        return list_.RowTexts(row).value(column).toStdString();
    }
    // Rows W X Y Z, of 1 to 4 bytes, with the rows named in `selected` selected.
    void AddWXYZ(const std::string& selected) {
        QStringList paths;
        for (int i = 0; i < 4; ++i) {
            paths << MakeFile(std::string(1, "WXYZ"[i]), static_cast<uint64_t>(i + 1));
        }
        list_.AddFiles(paths);
        for (const char name : selected) {
            list_.SelectRow(static_cast<int>(std::string("WXYZ").find(name)), true);
        }
    }
    // Column 0 of every row, or of the selected rows only, as one string.
    std::string Names(bool selectedOnly = false) const {
        std::string names;
        for (int row = 0; row < list_.RowCount(); ++row) {
            names += !selectedOnly || list_.IsSelected(row) ? Text(row, 0) : "";
        }
        return names;
    }
    // Every row still carries its own size, size text and folder.
    void ExpectRowsIntact() const {
        const auto rows = list_.Rows();
        ASSERT_EQ(list_.Sizes().size(), rows.size());
        for (size_t row = 0; row < rows.size(); ++row) {
            const uint64_t size = list_.Sizes()[row];
            EXPECT_EQ(size, static_cast<uint64_t>(rows[row].name[0] - 'W' + 1)) << rows[row].name;
            EXPECT_EQ(Text(static_cast<int>(row), 1), std::to_string(size) + "*8bits");
            EXPECT_EQ(rows[row].folder, dir_);
        }
    }
    // RemoveAllRows would leave the sizes behind; the list's own removal does not.
    void Clear() {
        for (int row = 0; row < list_.RowCount(); ++row) {
            list_.SelectRow(row, true);
        }
        list_.RemoveDownloadFiles();
        ASSERT_EQ(list_.RowCount(), 0);
        ASSERT_TRUE(list_.Sizes().empty());
    }
    void SetMarkers() {
        label_->setText(QStringLiteral("marker"));
        value_->setText(QStringLiteral("marker"));
    }

    q8test::TempFolder folder_{"q8downloadlist"};
    std::string dir_;
    QWidget parent_;
    QLineEdit* label_ = new QLineEdit(&parent_);
    QLineEdit* value_ = new QLineEdit(&parent_);
    q8ui::DownloadList list_{&parent_, label_, value_};
};

TEST_F(DownloadListTest, ColumnsHaveTheirTitlesWidthsAndAlignment) {
    const struct {
        const char* title;
        int width;
        Qt::Alignment alignment;
    } columns[] = {{"文件名", 96, Qt::AlignLeft},
                   {"大小", 96, Qt::AlignRight},
                   {"修改时间", 128, Qt::AlignLeft},
                   {"路径", 256, Qt::AlignLeft}};
    ASSERT_EQ(list_.columnCount(), 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(list_.headerItem()->text(c).toStdString(), columns[c].title);
        EXPECT_EQ(list_.header()->sectionSize(c), columns[c].width) << c;
        EXPECT_EQ(list_.headerItem()->textAlignment(c) & Qt::AlignHorizontal_Mask,
                  static_cast<int>(columns[c].alignment))
            << c;
    }
}

TEST_F(DownloadListTest, AddFilesFillsRowsSkipsMissingPathsAndKeepsDuplicates) {
    const QString lesson = MakeFile("课文 一.txt", 100);
    std::tm local{};
    local.tm_year = 2005 - 1900;
    local.tm_mon = 3 - 1;
    local.tm_mday = 7;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 30;
    local.tm_isdst = -1;
    std::error_code error;
    fs::last_write_time(q8test::FsPath(lesson.toStdString()),
                        std::chrono::file_clock::from_sys(
                            std::chrono::system_clock::from_time_t(std::mktime(&local))),
                        error);
    ASSERT_FALSE(error) << error.message();

    list_.AddFiles({lesson, QString::fromStdString(q8::JoinPath(dir_, "gone.txt")),
                    MakeFile("b.dat", 2000), lesson});

    ASSERT_EQ(list_.RowCount(), 3);
    const std::vector<std::string> first = {"课文 一.txt", "100*8bits", "2005-03-07 09:05", dir_};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(Text(0, c), first[c]) << c;
        EXPECT_EQ(Text(2, c), first[c]) << c;
    }
    EXPECT_EQ(Text(1, 0), "b.dat");
    EXPECT_EQ(Text(1, 1), "1.95*8Kbits");
    EXPECT_EQ(list_.Sizes(), (std::vector<uint64_t>{100, 2000, 100}));
    EXPECT_EQ(list_.SelectedCount(), 0);

    const auto rows = list_.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "课文 一.txt");
    EXPECT_EQ(rows[1].name, "b.dat");
    EXPECT_EQ(rows[0].folder, dir_);
    EXPECT_EQ(label_->text().toStdString(), TOTAL_LABEL);
    EXPECT_EQ(value_->text().toStdString(), "48.00*8Kbits");
}

TEST_F(DownloadListTest, TotalSumsFootprintsAndIsEmptyWhenZero) {
    const struct {
        std::vector<uint64_t> sizes;
        std::vector<std::string> cells;
        std::string total;  // empty: both fields empty
    } cases[] = {
        {{1, 16384, 16385}, {"1*8bits", "16.00*8Kbits", "16.00*8Kbits"}, "64.00*8Kbits"},
        {{0, 0}, {"0*8bits", "0*8bits"}, ""},
        {{}, {}, ""},
        // Past 4 GiB: a 32-bit size would show 1 GiB.
        {{5ULL << 30}, {"5120.00*8Mbits"}, "5120.00*8Mbits"},
    };
    for (const auto& test : cases) {
        Clear();
        QStringList paths;
        for (size_t i = 0; i < test.sizes.size(); ++i) {
            std::string name = "f";  // GCC 12 -O3 misreads "f" + to_string as overlapping
            name += std::to_string(i);
            paths << MakeFile(name, test.sizes[i]);
        }
        SetMarkers();
        list_.AddFiles(paths);
        ASSERT_EQ(list_.RowCount(), static_cast<int>(test.cells.size())) << test.total;
        for (int row = 0; row < list_.RowCount(); ++row) {
            EXPECT_EQ(Text(row, 1), test.cells[row]) << test.total;
        }
        EXPECT_EQ(label_->text().toStdString(), test.total.empty() ? "" : TOTAL_LABEL);
        EXPECT_EQ(value_->text().toStdString(), test.total);
    }
}

TEST_F(DownloadListTest, RemoveTakesSelectedRowsWithTheirSizes) {
    const std::string label = TOTAL_LABEL;
    const struct {
        std::string selected;
        std::string order;
        std::string label;
        std::string value;
    } cases[] = {
        {"XZ", "WY", label, "32.00*8Kbits"},
        {"W", "XYZ", label, "48.00*8Kbits"},
        {"WXYZ", "", "", ""},
        {"", "WXYZ", "marker", "marker"},  // nothing selected: fields left alone
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.selected);
        AddWXYZ(test.selected);
        SetMarkers();
        list_.RemoveDownloadFiles();
        EXPECT_EQ(Names(), test.order);
        ExpectRowsIntact();
        EXPECT_EQ(label_->text().toStdString(), test.label);
        EXPECT_EQ(value_->text().toStdString(), test.value);
        Clear();
    }
}

TEST_F(DownloadListTest, MovesShiftSelectedRowsByOneExceptAtTheEdge) {
    const struct {
        bool up;
        std::string selected;
        std::string order;
        std::string stillSelected;
    } cases[] = {
        {true, "X", "XWYZ", ""},     {true, "W", "WXYZ", "W"},    {true, "WX", "XWYZ", "W"},
        {true, "WXY", "XYWZ", "W"},  {true, "WXYZ", "XYZW", "W"}, {true, "XZ", "XWZY", ""},
        {false, "Y", "WXZY", ""},    {false, "Z", "WXYZ", "Z"},   {false, "YZ", "WXZY", "Z"},
        {false, "XYZ", "WZXY", "Z"}, {false, "WY", "XWZY", ""},   {false, "WXYZ", "ZWXY", "Z"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE((test.up ? "up " : "down ") + test.selected);
        AddWXYZ(test.selected);
        SetMarkers();
        test.up ? list_.MoveDownloadFilesUp() : list_.MoveDownloadFilesDown();
        EXPECT_EQ(Names(), test.order);
        EXPECT_EQ(Names(true), test.stillSelected);
        ExpectRowsIntact();
        // Rewritten even when nothing moved.
        EXPECT_EQ(label_->text().toStdString(), TOTAL_LABEL);
        EXPECT_EQ(value_->text().toStdString(), "64.00*8Kbits");
        Clear();
    }
}

TEST_F(DownloadListTest, MovesWithNothingSelectedChangeNothing) {
    AddWXYZ("");
    SetMarkers();
    list_.MoveDownloadFilesUp();
    list_.MoveDownloadFilesDown();
    EXPECT_EQ(Names(), "WXYZ");
    ExpectRowsIntact();
    EXPECT_EQ(label_->text().toStdString(), "marker");
    EXPECT_EQ(value_->text().toStdString(), "marker");
}

}  // namespace
