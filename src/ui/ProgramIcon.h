#pragma once
// The program icon, drawn in code: a 64 x 64 cartridge with a download
// arrow. Used for the caption, the task bar and the About box.
// Thread: the window thread.

#include <QIcon>

namespace q8ui {

QIcon ProgramIcon();

}  // namespace q8ui
