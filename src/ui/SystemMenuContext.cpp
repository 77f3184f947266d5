// Where the window manager draws the system menu, a program cannot add to it:
// the window's items go into its context menu instead, which the
// right mouse button, Shift+F10 and the Menu key open.

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>

#include "ui/SystemMenu.h"

namespace q8ui {

namespace {

// Opens the window's context menu from the keyboard, where the focus is, as
// the platform opens a keyboard context menu.
class KeyboardContextMenu : public QObject {
  public:
    explicit KeyboardContextMenu(QWidget* window) : QObject(window), window_(window) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_ || event->type() != QEvent::KeyPress ||
            !OpensMenu(*static_cast<QKeyEvent*>(event))) {
            return false;
        }
        QWidget* focus = window_->focusWidget();
        QWidget* at = focus != nullptr && window_->isAncestorOf(focus) ? focus : window_;
        const QPoint local = at->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at->mapTo(window_, local),
                               at->mapToGlobal(local));
        QCoreApplication::sendEvent(window_, &menu);
        return true;
    }

  private:
    static bool OpensMenu(const QKeyEvent& key) {
        const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
        return (key.key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
               (key.key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
    }

    QWidget* window_;
};

}  // namespace

void AddMenuItems(QWidget* window, const std::vector<MenuItem>& items,
                  std::function<void(int)> onCommand) {
    auto* separator = new QAction(window);
    separator->setSeparator(true);
    window->addAction(separator);
    for (const MenuItem& item : items) {
        auto* action = new QAction(item.text, window);
        const int command = item.command;
        QObject::connect(action, &QAction::triggered, window,
                         [onCommand, command] { onCommand(command); });
        window->addAction(action);
    }
    window->setContextMenuPolicy(Qt::ActionsContextMenu);
    // The keys reach the window when the control with the focus passes them on.
    window->installEventFilter(new KeyboardContextMenu(window));
}

int SystemCommandOf(const QByteArray&, void*) {
    return -1;
}

}  // namespace q8ui
