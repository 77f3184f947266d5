// Where the window manager draws the system menu, a program cannot add to it:
// the About item goes into the window's context menu instead.

#include <QAction>

#include "ui/SystemMenu.h"

namespace q8ui {

void AddAboutItem(QWidget* window, const QString& text, std::function<void(int)> onCommand) {
    auto* separator = new QAction(window);
    separator->setSeparator(true);
    auto* about = new QAction(text, window);
    QObject::connect(about, &QAction::triggered, window,
                     [onCommand] { onCommand(ABOUT_COMMAND); });
    window->addAction(separator);
    window->addAction(about);
    window->setContextMenuPolicy(Qt::ActionsContextMenu);
}

int SystemCommandOf(const QByteArray&, void*) { return -1; }

}  // namespace q8ui
