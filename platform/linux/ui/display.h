// The X display and the dialog face.
#ifndef KORVANE_PLATFORM_LINUX_UI_DISPLAY_H
#define KORVANE_PLATFORM_LINUX_UI_DISPLAY_H

#include <FL/Enumerations.H>

#include "platform/linux/ui/dialog_units.h"
#include "platform/platform.h"

namespace ui {

// Opens the display once, for the GUI thread that calls it first. With no
// display it says so in one line on stderr and returns false, every time
// it is asked; nothing else is printed and nothing exits.
bool OpenDisplay();
bool DisplayIsOpen();

// The work area: the first screen, in screen coordinates.
RECT WorkArea();

// The dialog font: the face that stands in for the template's Japanese
// Gothic, at the template's size, with its base units.
struct DialogFont {
  Fl_Font face;
  int size;  // pixels
  BaseUnits units;
};
DialogFont OpenDialogFont(int points);

}  // namespace ui

#endif
