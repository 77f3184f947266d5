#pragma once
// Qt's own texts (the buttons of message boxes, the file dialogs) in the
// language of the window's texts, Simplified Chinese, whatever the system's
// locale is.
// Thread: the window thread, once, after the application object exists.

namespace q8ui {

// Installs Qt's Chinese translation. False when it is not installed: Qt's
// texts stay in English.
bool UseQtChinese();

}  // namespace q8ui
