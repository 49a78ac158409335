// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/display.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xresource.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

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
  static common::OnceWarning refused;
  refused.Warn("refused", "the display refused a request (error %d, request %d); going on",
               error->error_code, error->request_code);
  return 0;
}

// Resolutions outside these are a typing error, not a screen.
constexpr double LowestDpi = 30;
constexpr double HighestDpi = 960;

int screenDpi = BaseDpi;

// Xft.dpi as the X resources held it when the display opened (the
// RESOURCE_MANAGER property that xrdb and the desktops' settings daemons
// set); nothing when it is not there.
std::optional<std::string> XftDpiResource(Display* display) {
  const char* text = XResourceManagerString(display);
  if (!text) return std::nullopt;
  XrmInitialize();
  XrmDatabase database = XrmGetStringDatabase(text);
  if (!database) return std::nullopt;
  char* type = nullptr;
  XrmValue value = {0, nullptr};
  std::optional<std::string> found;
  if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
    found = std::string(value.addr, strnlen(value.addr, value.size));
  XrmDestroyDatabase(database);
  return found;
}

int ReadScreenDpi(Display* display) {
  int screen = DefaultScreen(display);
  int own = DpiOfScreen(DisplayWidth(display, screen), DisplayWidthMM(display, screen));
  std::optional<std::string> resource = XftDpiResource(display);
  if (!resource) return own;
  std::optional<int> dpi = ParseDpi(resource->c_str());
  if (dpi) return *dpi;
  common::Warn("Xft.dpi '%s' in the X resources is no resolution; using the screen's %d dpi",
               resource->c_str(), own);
  return own;
}

}  // namespace

std::optional<int> ParseDpi(const char* value) {
  if (!value) return std::nullopt;
  // from_chars reads "96.0" alike in every locale; strtod would not.
  const char* begin = value;
  const char* end = value + std::strlen(value);
  while (begin < end && (*begin == ' ' || *begin == '\t')) begin++;
  while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) end--;
  double dpi = 0;
  std::from_chars_result read = std::from_chars(begin, end, dpi);
  if (read.ec != std::errc() || read.ptr != end || !std::isfinite(dpi) || dpi < LowestDpi ||
      dpi > HighestDpi)
    return std::nullopt;
  return static_cast<int>(std::lround(dpi));
}

int DpiOfScreen(int pixels, int millimetres) {
  if (pixels <= 0 || millimetres <= 0) return BaseDpi;
  double dpi = pixels * 25.4 / millimetres;
  return dpi < LowestDpi || dpi > HighestDpi ? BaseDpi : static_cast<int>(std::lround(dpi));
}

int PictureFactor(int dpi) { return dpi < 2 * BaseDpi ? 1 : dpi / BaseDpi; }

int ScreenDpi() { return screenDpi; }

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
  screenDpi = ReadScreenDpi(display);
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
  font.size = PointsToPixels(points, ScreenDpi());
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

int PointsToPixels(int points, int dpi) { return MulDiv(points, dpi, 72); }

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
