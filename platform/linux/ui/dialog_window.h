// The dialog's FLTK window: turns the keys the platform's dialog manager
// handles, and the title bar's close button, into the dialog's messages.
#ifndef KORVANE_PLATFORM_LINUX_UI_DIALOG_WINDOW_H
#define KORVANE_PLATFORM_LINUX_UI_DIALOG_WINDOW_H

#include "platform/linux/ui/top_window.h"

namespace ui {

class Dialog;

class DialogWindow : public TopWindow {
 public:
  DialogWindow(Dialog& dialog, int w, int h);
  int handle(int event) override;
  // FLTK's word that the window moved: the dialog measures its frame.
  void resize(int x, int y, int w, int h) override;

 protected:
  void OnEnter() override;
  void OnDestroyedElsewhere() override;

 private:
  static void OnCallback(Fl_Widget* window, void* data);
  Dialog& dialog_;
};

}  // namespace ui

#endif
