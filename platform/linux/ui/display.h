// SPDX-License-Identifier: GPL-3.0-or-later
// The X display, the dialog face and the dialog units measured in it.
#ifndef KORVANE_PLATFORM_LINUX_UI_DISPLAY_H
#define KORVANE_PLATFORM_LINUX_UI_DISPLAY_H

#include <FL/Enumerations.H>

#include <optional>

#include "platform/platform.h"

namespace ui {

// Dialog units: a template measures its geometry in quarters of the dialog
// font's average character width and eighths of its height, so a dialog
// keeps its proportions whatever the font.
struct BaseUnits {
  int x = 0;  // average character width, pixels
  int y = 0;  // character height, pixels
};

struct PixelRect {
  int x = 0, y = 0, w = 0, h = 0;
};

// Base units from the font's metrics, rounded the platform's way: the width
// of "A".."Z" followed by "a".."z", over 26, plus one, halved; the height is
// the font's ascent plus descent.
BaseUnits BaseUnitsFromMetrics(int latinWidth, int height);

// number * numerator / denominator through 64 bits, rounded half away from
// zero; -1 when the denominator is 0 or the result does not fit.
int MulDiv(int number, int numerator, int denominator);

// A rectangle in dialog units to pixels. Position and size convert
// separately, as the platform does, so neighbours may share a pixel.
PixelRect ToPixels(BaseUnits units, int x, int y, int cx, int cy);

// Points of a font in pixels at `dpi` dots per inch.
int PointsToPixels(int points, int dpi);

// The resolution the platform assumes, where 1 point is 4/3 of a pixel.
constexpr int BaseDpi = 96;

// The resolution a desktop asks for with `Xft.dpi` in the X resources
// (GNOME, KDE and Xfce set 192 for a 200 % scale): `value` read as a
// number, rounded; nothing when it is no number or no sane resolution.
std::optional<int> ParseDpi(const char* value);

// The screen's own resolution from its size in pixels and millimetres;
// the base resolution when the screen tells no size.
int DpiOfScreen(int pixels, int millimetres);

// The whole factor pictures are enlarged by at `dpi`, so that their pixel
// art stays crisp: dpi / 96 rounded down, at least 1.
int PictureFactor(int dpi);

// The resolution the dialogs are laid out at: Xft.dpi, else the screen's
// own, read when the display opens; the base resolution before that.
int ScreenDpi();

// Opens the display once, for the GUI thread that calls it first. With no
// display it says so in one line on stderr and returns false, every time
// it is asked; nothing else is printed and nothing exits.
bool OpenDisplay();
bool DisplayIsOpen();

// The work area: the first screen, in screen coordinates.
RECT WorkArea();

// The dialog font: the face that stands in for the template's Japanese
// Gothic, at the template's size at the screen's resolution, with its base
// units; the whole template scales with it.
struct DialogFont {
  Fl_Font face;
  int size;  // pixels
  BaseUnits units;
};
DialogFont OpenDialogFont(int points);

}  // namespace ui

#endif
