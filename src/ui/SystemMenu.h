#pragma once
// The About item of the main window. On Windows it is appended to the real
// system menu; where the window manager owns that menu, the same item is
// offered in the window's context menu. Either way a chosen item arrives as
// a system command with its identifier.
// Thread: the window thread.

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>

namespace q8ui {

// The identifier of the About item; any of 16 to 31 opens the box.
inline constexpr int ABOUT_COMMAND = 16;
inline bool IsAboutCommand(int command) { return (command & 0xFFF0) == ABOUT_COMMAND; }

// Adds a separator and the item `text` with ABOUT_COMMAND. `onCommand` gets
// the command of the item when it is chosen from a context menu; on Windows
// the command comes through SystemCommandOf instead.
void AddAboutItem(QWidget* window, const QString& text, std::function<void(int)> onCommand);

// The system-menu command a native message carries, or -1 (always -1 where
// the window manager owns the system menu).
int SystemCommandOf(const QByteArray& eventType, void* message);

}  // namespace q8ui
