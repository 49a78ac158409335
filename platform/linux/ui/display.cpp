// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/display.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "platform/linux/common/warn.h"
#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/top_window.h"

namespace ui {
namespace {

// IPAPGothic has the metrics of the platform's proportional Japanese
// Gothic. The leading space tells FLTK the name is a plain face name (an
// "I" first would otherwise be read as "italic"). Xft does no per-glyph
// fallback, so every text of the backend is drawn in this one face.
constexpr const char* JapaneseFace = " IPAPGothic";

// Xlib calls this when the server goes away mid-run; it must not return.
int OnDisplayLost(Display*) {
  common::Warn("lost the connection to the display");
  CloseWithoutDisplay();
}

// An error in one request, such as BadWindow for a window another client
// destroyed: the request did nothing, and the program goes on. Xlib's own
// handler would end the process.
int OnRequestFailed(Display*, XErrorEvent* error) {
  static bool told = false;
  if (!told)
    common::Warn("the display refused a request (error %d, request %d); going on",
                 error->error_code, error->request_code);
  told = true;
  return 0;
}

}  // namespace

bool OpenDisplay() {
  static bool opened = false;
  if (opened) return true;
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    common::Warn("cannot open the display: DISPLAY is not set; set it to a running X server");
    return false;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    common::Warn("cannot open the display '%s'; set DISPLAY to a running X server", name);
    return false;
  }
  // FLTK installs its own handlers only when it opens the display itself.
  XSetIOErrorHandler(OnDisplayLost);
  XSetErrorHandler(OnRequestFailed);
  fl_open_display(display);
  TopWindow::WatchForDestruction();
  Fl::set_font(FL_HELVETICA, JapaneseFace);
  Fl::scheme("base");
  Fl::lock();  // threads may now wake the loop with Fl::awake
  opened = true;
  return true;
}

bool DisplayIsOpen() { return fl_display != nullptr; }

RECT WorkArea() {
  int x = 0, y = 0, w = 0, h = 0;
  Fl::screen_xywh(x, y, w, h, 0);
  RECT area = {x, y, x + w, y + h};
  return area;
}

DialogFont OpenDialogFont(int points) {
  DialogFont font;
  font.face = FL_HELVETICA;
  font.size = PointsToPixels(points);
  fl_font(font.face, font.size);
  int latin = static_cast<int>(
      std::lround(fl_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")));
  font.units = BaseUnitsFromMetrics(latin, fl_height());
  return font;
}

BaseUnits BaseUnitsFromMetrics(int latinWidth, int height) {
  BaseUnits units;
  units.x = (latinWidth / 26 + 1) / 2;
  units.y = height;
  return units;
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  int64_t product = static_cast<int64_t>(number) * numerator;
  int64_t divisor = std::llabs(denominator);
  int64_t magnitude = (std::llabs(product) + divisor / 2) / divisor;
  bool negative = (product < 0) != (denominator < 0);
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT_MAX || result < INT_MIN) return -1;
  return static_cast<int>(result);
}

PixelRect ToPixels(BaseUnits units, int x, int y, int cx, int cy) {
  PixelRect rect;
  rect.x = MulDiv(x, units.x, 4);
  rect.y = MulDiv(y, units.y, 8);
  rect.w = MulDiv(cx, units.x, 4);
  rect.h = MulDiv(cy, units.y, 8);
  return rect;
}

int PointsToPixels(int points) { return MulDiv(points, 96, 72); }

}  // namespace ui

extern "C" {

// Only the work area is known here: the first screen, once a window has
// opened the display.
BOOL WINAPI SystemParametersInfoA(UINT action, UINT, LPVOID value, UINT) {
  if (action != SPI_GETWORKAREA || !value || !ui::DisplayIsOpen()) return FALSE;
  *static_cast<RECT*>(value) = ui::WorkArea();
  return TRUE;
}

}  // extern "C"
