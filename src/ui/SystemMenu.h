#pragma once
// The About and the port-settings item of the main window. On Windows they
// are appended to the real system menu; where the window manager owns that
// menu, the same items are offered in the window's context menu. Either way
// a chosen item arrives as a system command with its identifier.
// Thread: the window thread.

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

namespace q8ui {

// The identifiers of the items; any of 16 to 31 opens the About box, any of
// 32 to 47 the port settings.
inline constexpr int ABOUT_COMMAND = 16;
inline constexpr int PORT_SETTINGS_COMMAND = 32;
inline constexpr int COMMAND_MASK = 0xFFF0;
inline bool IsAboutCommand(int command) {
    return (command & COMMAND_MASK) == ABOUT_COMMAND;
}
inline bool IsPortSettingsCommand(int command) {
    return (command & COMMAND_MASK) == PORT_SETTINGS_COMMAND;
}

struct MenuItem {
    QString text;
    int command;
};

// Adds a separator and the items. `onCommand` gets the command of an item
// chosen from a context menu; on Windows the command comes through
// SystemCommandOf instead.
void AddMenuItems(QWidget* window, const std::vector<MenuItem>& items,
                  std::function<void(int)> onCommand);

// The system-menu command a native message carries, or -1 (always -1 where
// the window manager owns the system menu).
int SystemCommandOf(const QByteArray& eventType, void* message);

}  // namespace q8ui
