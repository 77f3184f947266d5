#include "ui/PlainButton.h"

#include <QKeyEvent>

namespace q8ui {

PlainButton::PlainButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    // A dialog makes an auto-default button its default one, and Enter then
    // presses it wherever the focus is.
    setAutoDefault(false);
    setDefault(false);
}

void PlainButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // The keypad's Enter comes with the keypad modifier.
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter && plain) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

}  // namespace q8ui
