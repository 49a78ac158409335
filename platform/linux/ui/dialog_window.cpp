#include "platform/linux/ui/dialog_window.h"

#include <FL/Fl.H>

#include "platform/linux/ui/dialog.h"

namespace ui {

DialogWindow::DialogWindow(Dialog& dialog, int w, int h) : TopWindow(w, h), dialog_(dialog) {
  callback(OnCallback, &dialog);
}

// Tab with no control focused (the focused one was disabled) goes to the
// first tab stop, or with Shift to the last.
int DialogWindow::handle(int event) {
  if (event == FL_KEYBOARD && Fl::event_key() == FL_Tab && Fl::focus() == this) {
    dialog_.FocusTabStop(Fl::event_shift() != 0);
    return 1;
  }
  // FLTK hands a window's own focus down to some child whenever a control
  // is enabled; the focus stays where it is instead.
  if (event == FL_FOCUS && Fl::focus() == this) return 1;
  return TopWindow::handle(event);
}

void DialogWindow::OnEnter() { dialog_.PressDefault(); }

void DialogWindow::resize(int x, int y, int w, int h) {
  TopWindow::resize(x, y, w, h);
  dialog_.NoteMoved();
}

void DialogWindow::OnDestroyedElsewhere() { CloseWithoutDisplay(); }

// FLTK calls the window's callback for Esc and for the close button, and
// would hide the window; the dialog decides instead. Esc is IDCANCEL; the
// close button is WM_CLOSE. Neither closes anything by itself: only
// EndDialog ends the dialog.
void DialogWindow::OnCallback(Fl_Widget*, void* data) {
  Dialog& dialog = *static_cast<Dialog*>(data);
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape)
    dialog.Command(IDCANCEL, BN_CLICKED, nullptr);
  else
    dialog.Handle(WM_CLOSE, 0, 0);
}

}  // namespace ui
