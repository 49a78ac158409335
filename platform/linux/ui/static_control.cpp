// SPDX-License-Identifier: GPL-3.0-or-later
// A static text: a label, sunken when SS_SUNKEN, aligned by SS_CENTER or
// SS_RIGHT, written from the top and wrapped as the platform does.
#include <FL/Fl_Box.H>

#include "platform/linux/ui/control.h"

namespace ui {
namespace {

class StaticControl : public Control {
 public:
  StaticControl(Dialog& dialog, const resources::DialogItem& item, const ControlLayout& layout)
      : Control(dialog, item),
        box_(new Fl_Box(layout.rect.x, layout.rect.y, layout.rect.w, layout.rect.h)) {
    box_->box((item.style & SS_SUNKEN) ? FL_THIN_DOWN_BOX : FL_NO_BOX);
    Fl_Align align = FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP;
    switch (item.style & 0x3) {
      case SS_CENTER:
        break;
      case 0x2:  // SS_RIGHT
        align |= FL_ALIGN_RIGHT;
        break;
      default:
        align |= FL_ALIGN_LEFT;
    }
    box_->align(align);
    Init(layout, item);
  }

  const char* ClassName() const override { return "Static"; }
  Fl_Widget& Widget() override { return *box_; }

 private:
  Fl_Box* box_;  // owned by the dialog's window
};

}  // namespace

std::unique_ptr<Control> MakeStatic(Dialog& dialog, const resources::DialogItem& item,
                                    const ControlLayout& layout) {
  return std::make_unique<StaticControl>(dialog, item, layout);
}

}  // namespace ui
