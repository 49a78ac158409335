// The dialog's FLTK window: turns the keys the platform's dialog manager
// handles, and the title bar's close button, into the dialog's messages.
#ifndef KORVANE_PLATFORM_LINUX_UI_DIALOG_WINDOW_H
#define KORVANE_PLATFORM_LINUX_UI_DIALOG_WINDOW_H

#include <FL/Fl_Double_Window.H>

namespace ui {

class Dialog;

class DialogWindow : public Fl_Double_Window {
 public:
  DialogWindow(Dialog& dialog, int w, int h);
  int handle(int event) override;
  // The client area's corner, kept as given when the window is shown
  // rather than left to the window manager.
  void PlaceAt(int x, int y) {
    position(x, y);
    force_position(1);
  }

 private:
  static void OnCallback(Fl_Widget* window, void* data);
  Dialog& dialog_;
};

}  // namespace ui

#endif
