#include "ui/ReportList.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace q8ui {

namespace {

// Underlines every cell of the list's hot row.
class HotRowDelegate : public QStyledItemDelegate {
  public:
    explicit HotRowDelegate(ReportList* list) : QStyledItemDelegate(list), list_(list) {}

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!index.parent().isValid() && index.row() == list_->HotRow()) {
            option->font.setUnderline(true);
        }
    }

  private:
    const ReportList* list_;
};

}  // namespace

ReportList::ReportList(Selection selection, QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(selection == Selection::Multiple ? QAbstractItemView::ExtendedSelection
                                                      : QAbstractItemView::SingleSelection);
    setFocusPolicy(Qt::StrongFocus);  // a tab stop, so that the keyboard reaches the rows
    setItemDelegate(new HotRowDelegate(this));
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

void ReportList::AddColumn(const QString& title, int widthPixels, Qt::Alignment alignment) {
    const int column = columnCount();
    setColumnCount(column + 1);
    QTreeWidgetItem* head = headerItem();
    head->setText(column, title);
    head->setTextAlignment(column, alignment | Qt::AlignVCenter);
    header()->resizeSection(column, widthPixels);
}

void ReportList::HideSelectionWithoutFocus() {
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Inactive, QPalette::Base));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Inactive, QPalette::Text));
    setPalette(p);
}

QStringList ReportList::RowTexts(int row) const {
    QStringList texts;
    const QTreeWidgetItem* item = topLevelItem(row);
    for (int c = 0; item != nullptr && c < columnCount(); ++c) {
        texts << item->text(c);
    }
    return texts;
}

void ReportList::InsertRow(int row, const QStringList& texts) {
    auto* item = new QTreeWidgetItem();
    const QTreeWidgetItem* head = headerItem();
    for (int c = 0; c < texts.size() && c < columnCount(); ++c) {
        item->setText(c, texts[c]);
        item->setTextAlignment(c, Qt::Alignment(head->textAlignment(c)));
    }
    insertTopLevelItem(row, item);
    // The mark and the hot row stay on their rows.
    if (hot_ >= row) {
        ++hot_;
    }
    if (mark_ >= row) {
        ++mark_;
    }
}

void ReportList::RemoveRow(int row) {
    if (row == hot_) {
        hot_ = -1;
    } else if (row < hot_) {
        --hot_;
    }
    if (row == mark_) {
        mark_ = -1;
    } else if (row < mark_) {
        --mark_;
    }
    delete takeTopLevelItem(row);
}

void ReportList::RemoveAllRows() {
    clear();
    mark_ = -1;
    hot_ = -1;
}

bool ReportList::IsSelected(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr && item->isSelected();
}

int ReportList::SelectedCount() const {
    int count = 0;
    for (int row = 0; row < RowCount(); ++row) {
        count += IsSelected(row) ? 1 : 0;
    }
    return count;
}

void ReportList::SelectRow(int row, bool selected) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setSelected(selected);
    }
}

int ReportList::NextSelected(int row) const {
    for (int r = row < 0 ? 0 : row + 1; r < RowCount(); ++r) {
        if (IsSelected(r)) {
            return r;
        }
    }
    return -1;
}

int ReportList::PreviousSelected(int row) const {
    for (int r = row - 1; r >= 0; --r) {
        if (IsSelected(r)) {
            return r;
        }
    }
    return -1;
}

void ReportList::SetHotRow(int row) {
    hot_ = row;
    viewport()->update();
}

QString ReportList::CutTextAt(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) {
        return QString();
    }
    // The delegate's own measure of the cell, the one it elides by.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int needed = itemDelegateForIndex(index)->sizeHint(option, index).width();
    return needed > columnWidth(index.column()) ? index.data(Qt::DisplayRole).toString()
                                                : QString();
}

bool ReportList::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QTreeWidget::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = CutTextAt(help->pos());
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, viewport(), visualRect(indexAt(help->pos())));
    }
    return true;
}

void ReportList::keyPressEvent(QKeyEvent* event) {
    const int markBefore = mark_;
    const QItemSelection before = selectionModel()->selection();
    QTreeWidget::keyPressEvent(event);
    if (mark_ >= 0 && (mark_ != markBefore || selectionModel()->selection() != before)) {
        emit SelectedByKey(mark_);
    }
}

void ReportList::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    emit ClickedAt(item != nullptr ? indexOfTopLevelItem(item) : -1);
}

void ReportList::focusOutEvent(QFocusEvent* event) {
    QTreeWidget::focusOutEvent(event);
    emit FocusLost();
}

void ReportList::selectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected) {
    QTreeWidget::selectionChanged(selected, deselected);
    const QModelIndexList rows = selected.indexes();
    if (!rows.isEmpty()) {
        mark_ = rows.last().row();
    }
}

}  // namespace q8ui
