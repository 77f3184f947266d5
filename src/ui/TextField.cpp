#include "ui/TextField.h"

#include <QEvent>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace q8ui {

namespace {

// QLineEdit keeps this many pixels free on either side inside its contents.
constexpr int LINE_EDIT_SIDE_MARGIN_PX = 2;
// After the text it wants one pixel and the caret's width before it scrolls.
constexpr int LINE_EDIT_CARET_ROOM_PX = 2;

// "…" in the middle of the folder, the name kept whole where it fits;
// otherwise "…" in the middle of the whole path.
QString ElidePath(const QFontMetrics& metrics, const QString& path, int room) {
    const int cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    if (cut > 0) {
        const QString tail = path.mid(cut);  // the separator and the name
        const int folderRoom = room - metrics.horizontalAdvance(tail);
        if (folderRoom > 0) {
            const QString shown =
                metrics.elidedText(path.left(cut), Qt::ElideMiddle, folderRoom) + tail;
            if (metrics.horizontalAdvance(shown) <= room) {
                return shown;
            }
        }
    }
    return metrics.elidedText(path, Qt::ElideMiddle, room);
}

}  // namespace

TextField::TextField(QWidget* parent, Overflow overflow) : QLineEdit(parent), overflow_(overflow) {
    setReadOnly(true);
    setFrame(false);
    setFocusPolicy(Qt::NoFocus);
    // What is behind the field shows through: the window or a group box.
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::transparent);
    setPalette(p);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!fitting_) {
            full_ = text;
            Fit();
        }
    });
    // A read-only field scrolls to its caret, which setText puts at the end,
    // also when the text stays the same: keep it at the start so that the
    // first character shows (a selection made with the mouse may move it).
    connect(this, &QLineEdit::cursorPositionChanged, this, [this](int, int position) {
        if (!fitting_ && position != 0 && !hasSelectedText()) {
            setCursorPosition(0);
        }
    });
}

void TextField::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    Fit();
}

void TextField::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        Fit();
    }
}

int TextField::Room() const {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const QMargins margins = textMargins();
    return contents.width() - margins.left() - margins.right() - 2 * LINE_EDIT_SIDE_MARGIN_PX -
           LINE_EDIT_CARET_ROOM_PX;
}

void TextField::Fit() {
    const int room = Room();
    const bool fits = fontMetrics().horizontalAdvance(full_) <= room;
    QString shown = full_;
    if (!fits && overflow_ == Overflow::ElidePath) {
        shown = ElidePath(fontMetrics(), full_, room);
    }
    fitting_ = true;
    if (text() != shown) {
        setText(shown);
    }
    setCursorPosition(0);
    fitting_ = false;
    setToolTip(fits ? QString() : full_);
}

}  // namespace q8ui
