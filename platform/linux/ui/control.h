// SPDX-License-Identifier: GPL-3.0-or-later
// A control of a dialog: the record behind its handle and the FLTK widget
// that draws it. Texts are kept as the system gave them (code page 932)
// and shown in UTF-8.
#ifndef KORVANE_PLATFORM_LINUX_UI_CONTROL_H
#define KORVANE_PLATFORM_LINUX_UI_CONTROL_H

#include <FL/Fl_Widget.H>

#include <memory>
#include <string>
#include <string_view>

#include "platform/linux/resources/resources.h"
#include "platform/linux/ui/display.h"
#include "platform/linux/ui/trace.h"
#include "platform/linux/ui/window_record.h"

namespace ui {

// How a control is drawn: where, and in which face and size.
struct ControlLayout {
  PixelRect rect;
  Fl_Font face;
  int fontSize;
};

class Control : public WindowRecord {
 public:
  Dialog& Owner() override { return dialog_; }
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  int Id() const { return id_; }
  DWORD Style() const { return style_; }
  virtual const char* ClassName() const = 0;
  virtual Fl_Widget& Widget() = 0;

  const std::string& Text() const { return text_; }
  void SetText(std::string_view cp932);
  bool Enabled() const { return enabled_; }
  void Enable(bool enable);
  // Reached by Tab, and the first of them takes the focus at start.
  bool IsTabStop() const { return (style_ & WS_TABSTOP) && Enabled(); }

  virtual void Describe(TraceWriter& out, const std::string& prefix);

 protected:
  Control(Dialog& dialog, const resources::DialogItem& item);
  // Applies what every control shares: font, visibility, enabled state.
  void Init(const ControlLayout& layout, const resources::DialogItem& item);
  virtual void ShowText(const std::string& utf8);

 private:
  Dialog& dialog_;
  int id_;
  DWORD style_;
  bool enabled_ = true;
  std::string text_;
};

// The control for a template item, or nothing when its class is unknown.
std::unique_ptr<Control> CreateControl(Dialog& dialog, const resources::DialogItem& item,
                                       const ControlLayout& layout);

// The control classes a dialog template may name, as the platform knows
// them: "Static", "Button" and the trackbar "msctls_trackbar32".
std::unique_ptr<Control> MakeStatic(Dialog& dialog, const resources::DialogItem& item,
                                    const ControlLayout& layout);
std::unique_ptr<Control> MakeButton(Dialog& dialog, const resources::DialogItem& item,
                                    const ControlLayout& layout);
std::unique_ptr<Control> MakeTrackbar(Dialog& dialog, const resources::DialogItem& item,
                                      const ControlLayout& layout);

}  // namespace ui

#endif
