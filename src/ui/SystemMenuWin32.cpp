// The window's items in the real system menu; the window's native event filter
// picks the command up from WM_SYSCOMMAND.

#include <windows.h>

#include "ui/SystemMenu.h"

namespace q8ui {

void AddMenuItems(QWidget* window, const std::vector<MenuItem>& items, std::function<void(int)>) {
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window->winId()), FALSE);
    if (menu == nullptr || items.empty()) {
        return;
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (const MenuItem& item : items) {
        AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.command),
                    reinterpret_cast<LPCWSTR>(item.text.utf16()));
    }
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
