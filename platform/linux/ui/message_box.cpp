// SPDX-License-Identifier: GPL-3.0-or-later
// The message box: a modal box with a warning sign, the text and one OK
// button, laid out as the platform lays it out. It belongs to its owner dialog:
// FLTK makes it transient for the dialog when that is on screen, and it is
// centred over the dialog then, or on the screen while the dialog is still
// hidden (as during start-up).
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "platform/linux/common/warn.h"
#include "platform/linux/ui/codepage.h"
#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/display.h"
#include "platform/linux/ui/message_loop.h"
#include "platform/linux/ui/top_window.h"
#include "platform/linux/ui/trace.h"

namespace {

constexpr int Margin = 12;
constexpr int IconSize = 32;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 23;
constexpr int MaxTextWidth = 480;
constexpr int MinWidth = 180;
constexpr int FontPoints = 9;
// FLTK draws a left-aligned label 3 pixels in from each side of its box;
// the box is that much wider than the text, or the text would wrap where
// it was measured to fit.
constexpr int LabelInset = 3;

// Lengths above are at the base resolution; the box grows with its font.
int Scaled(int length) { return ui::MulDiv(length, ui::ScreenDpi(), ui::BaseDpi); }

// The warning sign: a yellow triangle edged in black, with an exclamation
// mark.
class WarningSign : public Fl_Widget {
 public:
  WarningSign(int x, int y) : Fl_Widget(x, y, Scaled(IconSize), Scaled(IconSize)) {}

  void draw() override {
    int size = w();
    int l = x() + Scaled(1), r = x() + size - Scaled(2), t = y() + Scaled(1),
        b = y() + size - Scaled(3);
    int m = x() + size / 2 - 1;
    fl_color(fl_rgb_color(255, 255, 0));
    fl_polygon(m, t, r, b, l, b);
    fl_color(FL_BLACK);
    fl_line_style(FL_SOLID, Scaled(2));
    fl_loop(m, t, r, b, l, b);
    fl_line_style(0);
    fl_rectf(m - Scaled(1), y() + Scaled(10), Scaled(4), Scaled(11));
    fl_rectf(m - Scaled(1), y() + Scaled(23), Scaled(4), Scaled(3));
  }
};

// Enter, Esc, Space on the button and the close button all dismiss it.
class MessageBoxWindow : public ui::TopWindow {
 public:
  MessageBoxWindow(int w, int h) : TopWindow(w, h) { callback(Dismiss, this); }

  static void Dismiss(Fl_Widget*, void* self) {
    static_cast<MessageBoxWindow*>(self)->dismissed = true;
  }

  bool dismissed = false;

 protected:
  void OnEnter() override { dismissed = true; }
  // Nobody can dismiss it any more.
  void OnDestroyedElsewhere() override { dismissed = true; }
};

// Over the owner's frame when it is on screen, else over the work area;
// kept on the screen.
void Place(MessageBoxWindow& box, HWND owner) {
  ui::WindowRecord* record = ui::FromHandle(owner);
  ui::Dialog* dialog = record ? &record->Owner() : nullptr;
  RECT area = ui::WorkArea();
  RECT over = dialog && dialog->IsShown() && !dialog->IsIconified() ? dialog->FrameRect() : area;
  POINT corner = ui::CentredOn(over, box.w(), box.h());
  LONG x = std::max(area.left, std::min(corner.x, area.right - box.w()));
  LONG y = std::max(area.top, std::min(corner.y, area.bottom - box.h()));
  box.PlaceAt(x, y);
}

const char* IconName(UINT type) { return (type & 0xF0) == MB_ICONWARNING ? "warning" : "none"; }

}  // namespace

namespace ui {

// Shows the text (UTF-8) under the caption, with the warning sign when the
// type asks for MB_ICONWARNING, and returns once the user dismisses it.
// Needs the display open.
void ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  bool warning = (type & 0xF0) == MB_ICONWARNING;
  int fontSize = PointsToPixels(FontPoints, ScreenDpi());
  int margin = Scaled(Margin), iconSize = Scaled(IconSize), buttonW = Scaled(ButtonWidth),
      buttonH = Scaled(ButtonHeight);
  fl_font(FL_HELVETICA, fontSize);
  int textW = Scaled(MaxTextWidth), textH = 0;
  fl_measure(text.c_str(), textW, textH, 0);
  int textX = margin + (warning ? iconSize + margin : 0);
  int contentH = std::max(textH, warning ? iconSize : 0);
  int w = std::max({textX + textW + margin, buttonW + 2 * margin, Scaled(MinWidth)});
  int h = margin + contentH + margin + buttonH + margin;

  MessageBoxWindow box(w, h);
  box.copy_label(caption.c_str());
  box.set_modal();
  if (warning) new WarningSign(margin, margin);
  auto* label = new Fl_Box(textX - LabelInset, margin + (contentH - textH) / 2,
                           textW + 2 * LabelInset, textH);
  label->copy_label(text.c_str());
  label->labelfont(FL_HELVETICA);
  label->labelsize(fontSize);
  label->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  auto* ok = new Fl_Button((w - buttonW) / 2, h - margin - buttonH, buttonW, buttonH, "OK");
  ok->labelfont(FL_HELVETICA);
  ok->labelsize(fontSize);
  ok->callback(MessageBoxWindow::Dismiss, &box);
  box.end();
  Place(box, owner);

  int index = trace::MessageBoxOpened(caption, text, IconName(type));
  box.Present();
  ok->take_focus();
  trace::Publish();
  while (!box.dismissed) PumpOnce();
  box.hide();
  trace::MessageBoxClosed(index);
  trace::Publish();
}

}  // namespace ui

extern "C" {

// Only the OK button and the warning sign are drawn: the system asks for
// nothing else. Returns IDOK when the user dismisses the box, 0 if it
// cannot be shown (the text then goes to stderr).
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string message = ui::Cp932ToUtf8(text ? text : "");
  std::string title = ui::Cp932ToUtf8(caption ? caption : "Error");
  if (!ui::OpenDisplay()) {
    common::Warn("%s: %s", title.c_str(), message.c_str());
    return 0;
  }
  ui::ShowMessageBox(owner, message, title, type);
  return IDOK;
}

}  // extern "C"
