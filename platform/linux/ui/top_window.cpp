#include "platform/linux/ui/top_window.h"

#include <FL/Fl.H>
#include <FL/x.H>

#include "platform/linux/ui/frame.h"

namespace ui {

TopWindow::TopWindow(int w, int h) : Fl_Double_Window(w, h) {
  xclass("korvane");
  size_range(w, h, w, h);  // no sizing border, no maximise box
}

int TopWindow::handle(int event) {
  if (event == FL_SHORTCUT && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
    OnEnter();
    return 1;
  }
  return Fl_Double_Window::handle(event);
}

void TopWindow::PlaceAt(int x, int y) {
  position(x, y);
  force_position(1);
}

bool TopWindow::Present(const POINT* frame) {
  show();
  Window xid = fl_xid(this);
  if (!WaitUntilViewable(xid)) return false;
  if (frame) MoveFrame(xid, frame->x, frame->y);
  XSetInputFocus(fl_display, xid, RevertToParent, CurrentTime);
  return true;
}

// Only another client destroys a window FLTK still knows: hiding one takes
// it out of FLTK's list before the window is destroyed.
void TopWindow::WatchForDestruction() {
  Fl::add_system_handler(
      [](void* event, void*) {
        const XEvent* x = static_cast<const XEvent*>(event);
        if (x->type != DestroyNotify) return 0;
        auto* window = dynamic_cast<TopWindow*>(fl_find(x->xdestroywindow.window));
        if (window) window->OnDestroyedElsewhere();
        return 0;
      },
      nullptr);
}

POINT CentredOn(const RECT& over, int w, int h) {
  return POINT{(over.left + over.right - w) / 2, (over.top + over.bottom - h) / 2};
}

}  // namespace ui
