// The About item in the real system menu; the window's native event filter
// picks the command up from WM_SYSCOMMAND.

#include <windows.h>

#include "ui/SystemMenu.h"

namespace q8ui {

void AddAboutItem(QWidget* window, const QString& text, std::function<void(int)>) {
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window->winId()), FALSE);
    if (menu == nullptr || text.isEmpty()) {
        return;
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, ABOUT_COMMAND, reinterpret_cast<LPCWSTR>(text.utf16()));
}

int SystemCommandOf(const QByteArray& eventType, void* message) {
    if (eventType != "windows_generic_MSG") {
        return -1;
    }
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_SYSCOMMAND) {
        return -1;
    }
    return static_cast<int>(msg->wParam & 0xFFFF);
}

}  // namespace q8ui
