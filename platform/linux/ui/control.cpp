// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/control.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <strings.h>

#include "platform/linux/ui/codepage.h"
#include "platform/linux/ui/dialog.h"

namespace ui {

Control::Control(Dialog& dialog, const resources::DialogItem& item)
    : dialog_(dialog), id_(item.id), style_(item.style) {}

void Control::Init(const ControlLayout& layout, const resources::DialogItem& item) {
  Fl_Widget& w = Widget();
  w.labelfont(layout.face);
  w.labelsize(layout.fontSize);
  if (!(style_ & WS_VISIBLE)) w.hide();
  Enable(!(style_ & WS_DISABLED));
  SetText(Utf8ToCp932(item.text));
}

LRESULT Control::Handle(UINT, WPARAM, LPARAM) { return 0; }

void Control::SetText(std::string_view cp932) {
  text_ = std::string(cp932);
  ShowText(Cp932ToUtf8(text_));
}

void Control::ShowText(const std::string& utf8) { Widget().copy_label(utf8.c_str()); }

// A disabled control loses the focus to the dialog itself, as on the
// platform: FLTK would pass it to some other control, which the next Space
// would then press unasked.
void Control::Enable(bool enable) {
  enabled_ = enable;
  if (enable) {
    Widget().activate();
    return;
  }
  bool focused = Fl::focus() == &Widget();
  Widget().deactivate();
  if (focused && Widget().window() && !Owner().Abandoned()) Fl::focus(Widget().window());
}

void Control::Describe(TraceWriter& out, const std::string& prefix) {
  out.Add(prefix + "class", ClassName());
  out.Add(prefix + "text", Cp932ToUtf8(text_));
  out.Add(prefix + "enabled", Enabled() ? 1 : 0);
  Fl_Widget& w = Widget();
  out.Add(prefix + "rect", std::to_string(w.x()) + " " + std::to_string(w.y()) + " " +
                               std::to_string(w.w()) + " " + std::to_string(w.h()));
}

std::unique_ptr<Control> CreateControl(Dialog& dialog, const resources::DialogItem& item,
                                       const ControlLayout& layout) {
  const char* name = item.className.c_str();
  if (strcasecmp(name, "Static") == 0) return MakeStatic(dialog, item, layout);
  if (strcasecmp(name, "Button") == 0) return MakeButton(dialog, item, layout);
  if (strcasecmp(name, TRACKBAR_CLASSA) == 0) return MakeTrackbar(dialog, item, layout);
  return nullptr;
}

}  // namespace ui

namespace {

ui::Control* ControlOf(HWND window) { return dynamic_cast<ui::Control*>(ui::FromHandle(window)); }

}  // namespace

extern "C" {

// Returns whether the window was disabled before.
BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  ui::Control* control = ControlOf(window);
  if (!control) return FALSE;
  BOOL wasDisabled = !control->Enabled();
  control->Enable(enable != FALSE);
  return wasDisabled;
}

// The dialog itself is never disabled.
BOOL WINAPI IsWindowEnabled(HWND window) {
  if (ui::Control* control = ControlOf(window)) return control->Enabled();
  return ui::FromHandle(window) ? TRUE : FALSE;
}

}  // extern "C"
