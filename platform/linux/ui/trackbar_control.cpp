// SPDX-License-Identifier: GPL-3.0-or-later
// The trackbar: a horizontal slider whose range and position the system
// sets with TBM_ messages. The user may drag the thumb or move it with the
// arrow keys; that changes the position TBM_GETPOS reports and nothing
// else: no message goes to the dialog.
#include <FL/Fl.H>
#include <FL/Fl_Slider.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

#include "platform/linux/ui/control.h"
#include "platform/linux/ui/display.h"
#include "platform/shared/trackbar_range.h"

namespace ui {
namespace {

// At the base resolution; they grow with the screen's, as the template does.
constexpr int ThumbWidth = 11;
constexpr int ChannelHeight = 4;
constexpr int ThumbInset = 3;

int Scaled(int length) { return MulDiv(length, ScreenDpi(), BaseDpi); }

// A channel across the control and a raised thumb, without ticks, moved by
// the platform's keys: the arrows by one, Page Up and Page Down by a fifth
// of the range, Home and End to its ends. Where a key or a drag leaves the
// thumb is only a request: the control's callback clamps it into the range.
class TrackbarWidget : public Fl_Slider {
 public:
  TrackbarWidget(int x, int y, int w, int h)
      : Fl_Slider(x, y, w, h),
        thumbW_(Scaled(ThumbWidth)),
        channelH_(Scaled(ChannelHeight)),
        inset_(Scaled(ThumbInset)) {
    type(FL_HOR_SLIDER);
    box(FL_FLAT_BOX);
    step(1);
    slider_size(static_cast<double>(thumbW_) / w);
  }

  void draw() override {
    draw_box(FL_FLAT_BOX, color());
    int cy = y() + h() / 2;
    draw_box(FL_THIN_DOWN_BOX, x() + thumbW_ / 2, cy - channelH_ / 2, w() - thumbW_, channelH_,
             FL_WHITE);
    int thumbX = x() + static_cast<int>(std::lround(Fraction() * (w() - thumbW_)));
    int thumbH = h() - 2 * inset_;
    draw_box(FL_UP_BOX, thumbX, y() + inset_, thumbW_, thumbH, FL_BACKGROUND_COLOR);
    if (Fl::focus() == this) draw_focus(FL_FLAT_BOX, x(), y(), w(), h());
  }

  int handle(int event) override {
    if (event != FL_KEYBOARD) return Fl_Slider::handle(event);
    double page = std::max(1.0, std::round((maximum() - minimum()) / 5));
    double target;
    switch (Fl::event_key()) {
      case FL_Left:
      case FL_Up:
        target = value() - 1;
        break;
      case FL_Right:
      case FL_Down:
        target = value() + 1;
        break;
      case FL_Page_Up:
        target = value() - page;
        break;
      case FL_Page_Down:
        target = value() + page;
        break;
      case FL_Home:
        target = minimum();
        break;
      case FL_End:
        target = maximum();
        break;
      default:
        return Fl_Slider::handle(event);
    }
    value(target);
    do_callback();
    return 1;
  }

 private:
  // Where the thumb stands, 0 at the left end and 1 at the right.
  double Fraction() const {
    if (maximum() <= minimum()) return 0;
    double f = (value() - minimum()) / (maximum() - minimum());
    return f < 0 ? 0 : f > 1 ? 1 : f;
  }

  int thumbW_, channelH_, inset_;  // pixels
};

class TrackbarControl : public Control {
 public:
  TrackbarControl(Dialog& dialog, const resources::DialogItem& item, const ControlLayout& layout)
      : Control(dialog, item),
        slider_(new TrackbarWidget(layout.rect.x, layout.rect.y, layout.rect.w, layout.rect.h)) {
    slider_->callback(OnUserMove, this);
    Init(layout, item);
    Sync();
  }

  const char* ClassName() const override { return TRACKBAR_CLASSA; }
  Fl_Widget& Widget() override { return *slider_; }

  // The redraw flag of the setters does not matter here: FLTK redraws a
  // changed widget once, at the next turn of the loop.
  LRESULT Handle(UINT message, WPARAM, LPARAM lParam) override {
    switch (message) {
      case TBM_GETPOS:
        return range_.pos;
      case TBM_GETRANGEMIN:
        return range_.rangeMin;
      case TBM_GETRANGEMAX:
        return range_.rangeMax;
      case TBM_SETPOS:
        range_.SetPos(static_cast<LONG>(lParam));
        break;
      case TBM_SETRANGEMIN:
        range_.SetMin(static_cast<LONG>(lParam));
        break;
      case TBM_SETRANGEMAX:
        range_.SetMax(static_cast<LONG>(lParam));
        break;
      default:
        return 0;
    }
    Sync();
    return 0;
  }

  void Describe(TraceWriter& out, const std::string& prefix) override {
    Control::Describe(out, prefix);
    out.Add(prefix + "range",
            std::to_string(range_.rangeMin) + " " + std::to_string(range_.rangeMax));
    out.Add(prefix + "pos", range_.pos);
  }

 protected:
  void ShowText(const std::string&) override {}  // a trackbar shows no text

 private:
  void Sync() {
    slider_->bounds(range_.rangeMin, range_.rangeMax);
    slider_->value(range_.pos);
    slider_->redraw();
  }

  static void OnUserMove(Fl_Widget*, void* data) {
    auto* self = static_cast<TrackbarControl*>(data);
    self->range_.SetPos(static_cast<LONG>(std::lround(self->slider_->value())));
    self->Sync();
  }

  TrackbarWidget* slider_;  // owned by the dialog's window
  shared::TrackbarRange range_;
};

}  // namespace

std::unique_ptr<Control> MakeTrackbar(Dialog& dialog, const resources::DialogItem& item,
                                      const ControlLayout& layout) {
  return std::make_unique<TrackbarControl>(dialog, item, layout);
}

}  // namespace ui

extern "C" {

// The trackbar, the one common control the dialog uses, is built into the
// dialog manager and always there.
void WINAPI InitCommonControls(void) {}

}  // extern "C"
