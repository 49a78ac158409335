// SPDX-License-Identifier: GPL-3.0-or-later
// A push button. With BS_BITMAP it shows only the picture that BM_SETIMAGE
// puts on it, etched grey while disabled. A click, Space while it has the
// focus, or BM_CLICK sends WM_COMMAND (id, BN_CLICKED) to the dialog.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>

#include "platform/linux/ui/control.h"
#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/picture.h"

namespace ui {
namespace {

// Draws its picture centred, pushed one pixel down and right while pressed.
class PictureButton : public Fl_Button {
 public:
  PictureButton(int x, int y, int w, int h) : Fl_Button(x, y, w, h) {}

  void draw() override {
    draw_box(value() ? down_box() : box(), color());
    Fl_Image* picture = active_r() ? image() : deimage();
    if (picture) {
      int shift = value() ? 1 : 0;
      picture->draw(x() + (w() - picture->w()) / 2 + shift, y() + (h() - picture->h()) / 2 + shift);
    } else {
      draw_label();
    }
    if (Fl::focus() == this) draw_focus();
  }
};

class ButtonControl : public Control {
 public:
  ButtonControl(Dialog& dialog, const resources::DialogItem& item, const ControlLayout& layout)
      : Control(dialog, item),
        button_(new PictureButton(layout.rect.x, layout.rect.y, layout.rect.w, layout.rect.h)) {
    button_->down_box(FL_DOWN_BOX);
    button_->callback(OnClick, this);
    Init(layout, item);
  }

  const char* ClassName() const override { return "Button"; }
  Fl_Widget& Widget() override { return *button_; }

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case BM_SETIMAGE:
        return reinterpret_cast<LRESULT>(SetPicture(wParam, reinterpret_cast<HANDLE>(lParam)));
      case BM_GETIMAGE:
        return picture_ && picture_->Type() == wParam
                   ? reinterpret_cast<LRESULT>(picture_->Handle())
                   : 0;
      case BM_CLICK:
        if (Enabled()) Click();
        return 0;
      default:
        return 0;
    }
  }

  void Describe(TraceWriter& out, const std::string& prefix) override {
    Control::Describe(out, prefix);
    out.Add(prefix + "image",
            picture_ ? std::to_string(picture_->Width()) + "x" + std::to_string(picture_->Height())
                     : std::string("none"));
  }

 protected:
  void ShowText(const std::string& utf8) override {
    if (!(Style() & BS_BITMAP)) Control::ShowText(utf8);
  }

 private:
  // Returns the previous picture's handle; a handle that is not a picture
  // of the given type takes the picture off.
  HANDLE SetPicture(WPARAM type, HANDLE handle) {
    HANDLE previous = picture_ ? picture_->Handle() : nullptr;
    Picture* picture = Picture::FromHandle(handle);
    picture_ = picture && picture->Type() == type ? picture : nullptr;
    button_->image(picture_ ? picture_->Normal() : nullptr);
    button_->deimage(picture_ ? picture_->Disabled() : nullptr);
    button_->redraw();
    return previous;
  }

  void Click() { Owner().Command(static_cast<WORD>(Id()), BN_CLICKED, Hwnd()); }

  static void OnClick(Fl_Widget*, void* self) { static_cast<ButtonControl*>(self)->Click(); }

  PictureButton* button_;  // owned by the dialog's window
  Picture* picture_ = nullptr;
};

}  // namespace

std::unique_ptr<Control> MakeButton(Dialog& dialog, const resources::DialogItem& item,
                                    const ControlLayout& layout) {
  return std::make_unique<ButtonControl>(dialog, item, layout);
}

}  // namespace ui
