#pragma once
// The program icon, drawn in code at 16 to 256 pixels: a cartridge with a
// download arrow. Used for the caption, the task bar, the About box and the
// icons the package installs.
// Thread: the window thread.

#include <QIcon>

namespace q8ui {

QIcon ProgramIcon();

}  // namespace q8ui
