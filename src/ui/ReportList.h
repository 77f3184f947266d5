#pragma once
// A report-style list: columns of texts, whole rows selected, a selection
// mark (the row most recently selected) and a hot row that the program sets
// and that is drawn underlined. Both lists of the main window are one. A list
// is a tab stop; the arrow keys move its selection. A cell whose text is cut
// shows it whole as its tool tip.
// Thread: the window thread.

#include <QStringList>
#include <QTreeWidget>

namespace q8ui {

class ReportList : public QTreeWidget {
    Q_OBJECT

  public:
    enum class Selection { Single, Multiple };

    ReportList(Selection selection, QWidget* parent);

    void AddColumn(const QString& title, int widthPixels, Qt::Alignment alignment);

    // Draw the selection only while the list has the focus.
    void HideSelectionWithoutFocus();

    int RowCount() const { return topLevelItemCount(); }
    QStringList RowTexts(int row) const;
    // A new, unselected row at `row` (RowCount() appends).
    void InsertRow(int row, const QStringList& texts);
    void RemoveRow(int row);
    void RemoveAllRows();

    bool IsSelected(int row) const;
    int SelectedCount() const;
    void SelectRow(int row, bool selected);
    // The first selected row after `row` (-1: from the top), or -1.
    int NextSelected(int row) const;
    // The nearest selected row above `row`, never `row` itself, or -1.
    int PreviousSelected(int row) const;

    // The row most recently selected, -1 when none is (or after RemoveAllRows).
    int SelectionMark() const { return mark_; }
    int HotRow() const { return hot_; }
    void SetHotRow(int row);

    // The whole text of the cell at `pos` (viewport pixels) when the column
    // is too narrow for it, else empty.
    QString CutTextAt(const QPoint& pos) const;

  signals:
    // Any click released over the list: the row under it, or -1 for empty space.
    void ClickedAt(int row);
    void FocusLost();
    // A key changed the selection; `row` is the new selection mark.
    void SelectedByKey(int row);

  protected:
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

  private:
    int mark_ = -1;
    int hot_ = -1;
};

}  // namespace q8ui
