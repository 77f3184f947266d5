#pragma once
// A push button that is never a default button: Enter and Return press it
// only while it has the focus, as the platform's dialogs do, and never press
// some other button of the window.
// Thread: the window thread.

#include <QPushButton>

namespace q8ui {

class PlainButton : public QPushButton {
    Q_OBJECT

  public:
    PlainButton(const QString& text, QWidget* parent);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace q8ui
