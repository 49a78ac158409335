// MessageBoxA: a modal box with a warning sign, the text and one OK button,
// laid out as the platform lays it out. It belongs to its owner dialog:
// FLTK makes it transient for the dialog when that is on screen, and it is
// centred over the dialog then, or on the screen while the dialog is still
// hidden (as during start-up).
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdio>

#include "platform/linux/ui/codepage.h"
#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/display.h"
#include "platform/linux/ui/frame.h"
#include "platform/linux/ui/message_loop.h"
#include "platform/linux/ui/trace.h"

namespace {

constexpr int Margin = 12;
constexpr int IconSize = 32;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 23;
constexpr int MaxTextWidth = 480;
constexpr int MinWidth = 180;
constexpr int FontPoints = 9;

// The warning sign: a yellow triangle edged in black, with an exclamation
// mark.
class WarningSign : public Fl_Widget {
 public:
  WarningSign(int x, int y) : Fl_Widget(x, y, IconSize, IconSize) {}

  void draw() override {
    int l = x() + 1, r = x() + IconSize - 2, t = y() + 1, b = y() + IconSize - 3;
    int m = x() + IconSize / 2 - 1;
    fl_color(fl_rgb_color(255, 255, 0));
    fl_polygon(m, t, r, b, l, b);
    fl_color(FL_BLACK);
    fl_line_style(FL_SOLID, 2);
    fl_loop(m, t, r, b, l, b);
    fl_line_style(0);
    fl_rectf(m - 1, y() + 10, 4, 11);
    fl_rectf(m - 1, y() + 23, 4, 3);
  }
};

// Enter, Esc, Space on the button and the close button all dismiss it.
class MessageBoxWindow : public Fl_Double_Window {
 public:
  MessageBoxWindow(int w, int h) : Fl_Double_Window(w, h) { callback(Dismiss, this); }

  int handle(int event) override {
    if (event == FL_SHORTCUT && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      dismissed = true;
      return 1;
    }
    return Fl_Double_Window::handle(event);
  }

  void PlaceAt(int x, int y) {
    position(x, y);
    force_position(1);
  }

  static void Dismiss(Fl_Widget*, void* self) {
    static_cast<MessageBoxWindow*>(self)->dismissed = true;
  }

  bool dismissed = false;
};

// Over the owner's frame when it is on screen, else over the work area;
// kept on the screen.
void Place(MessageBoxWindow& box, HWND owner) {
  ui::WindowRecord* record = ui::FromHandle(owner);
  ui::Dialog* dialog = record ? &record->dialog() : nullptr;
  RECT area = ui::WorkArea();
  RECT over = dialog && dialog->IsShown() && !dialog->IsIconified() ? dialog->FrameRect() : area;
  int x = (over.left + over.right - box.w()) / 2;
  int y = (over.top + over.bottom - box.h()) / 2;
  x = std::max(int(area.left), std::min(x, int(area.right) - box.w()));
  y = std::max(int(area.top), std::min(y, int(area.bottom) - box.h()));
  box.PlaceAt(x, y);
}

const char* IconName(UINT type) { return (type & 0xF0) == MB_ICONWARNING ? "warning" : "none"; }

}  // namespace

// Only the OK button and the warning sign are drawn: the system asks for
// nothing else. Returns IDOK when the user dismisses the box, 0 if it
// cannot be shown (the text then goes to stderr).
extern "C" int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string message = ui::Cp932ToUtf8(text ? text : "");
  std::string title = ui::Cp932ToUtf8(caption ? caption : "Error");
  if (!ui::OpenDisplay()) {
    std::fprintf(stderr, "korvane: %s: %s\n", title.c_str(), message.c_str());
    return 0;
  }
  bool warning = (type & 0xF0) == MB_ICONWARNING;
  int fontSize = ui::PointsToPixels(FontPoints);
  fl_font(FL_HELVETICA, fontSize);
  int textW = MaxTextWidth, textH = 0;
  fl_measure(message.c_str(), textW, textH, 0);
  int textX = Margin + (warning ? IconSize + Margin : 0);
  int contentH = std::max(textH, warning ? IconSize : 0);
  int w = std::max({textX + textW + Margin, ButtonWidth + 2 * Margin, MinWidth});
  int h = Margin + contentH + Margin + ButtonHeight + Margin;

  MessageBoxWindow box(w, h);
  box.copy_label(title.c_str());
  box.xclass("korvane");
  box.size_range(w, h, w, h);
  box.set_modal();
  if (warning) new WarningSign(Margin, Margin);
  auto* label = new Fl_Box(textX, Margin + (contentH - textH) / 2, textW, textH);
  label->copy_label(message.c_str());
  label->labelfont(FL_HELVETICA);
  label->labelsize(fontSize);
  label->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  auto* ok = new Fl_Button((w - ButtonWidth) / 2, h - Margin - ButtonHeight, ButtonWidth,
                           ButtonHeight, "OK");
  ok->labelfont(FL_HELVETICA);
  ok->labelsize(fontSize);
  ok->callback(MessageBoxWindow::Dismiss, &box);
  box.end();
  Place(box, owner);

  int index = ui::trace::MessageBoxOpened(title, message, IconName(type));
  box.show();
  Window xid = fl_xid(&box);
  if (ui::WaitUntilViewable(xid)) XSetInputFocus(fl_display, xid, RevertToParent, CurrentTime);
  ok->take_focus();
  ui::trace::Publish();
  while (!box.dismissed) ui::PumpOnce();
  box.hide();
  ui::trace::MessageBoxClosed(index);
  ui::trace::Publish();
  return IDOK;
}
