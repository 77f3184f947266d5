#pragma once
// Windows are laid out in dialog units, as the platform's dialog templates
// are: a horizontal unit is a quarter of the dialog font's average character
// width, a vertical unit an eighth of its height. Every window uses 9-point
// "宋体" where it is installed, else an installed CJK font.
// Thread: the window thread.

#include <QFont>
#include <QRect>
#include <QWidget>

namespace q8ui {

// The dialog font: 9-point "宋体" (or "SimSun") when installed, else the first
// installed family that covers Simplified Chinese, else the default font.
QFont DialogFont();

// Pixels per 4 horizontal and per 8 vertical dialog units.
struct DialogBase {
    int x = 0;  // average character width
    int y = 0;  // character height
};

DialogBase BaseUnitsOf(const QFont& font);

// A rectangle given in dialog units, in pixels (rounded like the platform's
// MulDiv: to the nearest pixel).
QRect DialogRect(const DialogBase& base, int x, int y, int w, int h);

// Places `widget` at a rectangle given in dialog units.
void PlaceInUnits(QWidget* widget, const DialogBase& base, int x, int y, int w, int h);

}  // namespace q8ui
