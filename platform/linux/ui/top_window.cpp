#include "platform/linux/ui/top_window.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/linux/ui/dialog.h"

namespace ui {

namespace {

// The window manager answers in its own time; these bound the waits.
constexpr std::chrono::milliseconds MapTimeout(2000);
// A window manager on a busy machine may take this long over a move; one
// that ignores moves costs it once.
constexpr std::chrono::milliseconds MoveTimeout(2000);

// Polls with round trips only: no event is dispatched meanwhile, so no
// handler of the program runs in the middle of a platform call.
bool WaitFor(std::chrono::milliseconds limit, const std::function<bool()>& done) {
  auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// The root window's child that holds `client`.
Window OuterWindow(Window client) {
  Window current = client;
  for (;;) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(fl_display, current, &root, &parent, &children, &count)) return 0;
    if (children) XFree(children);
    if (parent == root || parent == 0) return current;
    current = parent;
  }
}

bool ClientOrigin(Window client, int* x, int* y) {
  Window child;
  return XTranslateCoordinates(fl_display, client, DefaultRootWindow(fl_display), 0, 0, x, y,
                               &child);
}

// Asks for the client at (x, y) and waits until the frame has moved off
// `before`, or, when `expected` is given, until it is there.
void RequestClientAt(Window client, int x, int y, const RECT& before,
                     const POINT* expected = nullptr) {
  XMoveWindow(fl_display, client, x, y);
  XFlush(fl_display);
  WaitFor(MoveTimeout, [&] {
    RECT now;
    if (!FrameRect(client, &now)) return false;
    if (expected) return now.left == expected->x && now.top == expected->y;
    return now.left != before.left || now.top != before.top;
  });
}

}  // namespace

bool FrameRect(Window client, RECT* rect) {
  Window outer = OuterWindow(client);
  if (!outer) return false;
  Window root;
  int x, y;
  unsigned w, h, border, depth;
  if (!XGetGeometry(fl_display, outer, &root, &x, &y, &w, &h, &border, &depth)) return false;
  rect->left = x;
  rect->top = y;
  rect->right = x + static_cast<int>(w + 2 * border);
  rect->bottom = y + static_cast<int>(h + 2 * border);
  return true;
}

// Window managers differ in what a client's requested position means: the
// client's own corner (twm and most) or the frame's. The first request
// assumes the former; if the frame lands elsewhere, where it landed tells
// how this manager reads a request, and a second request allows for it.
bool MoveFrame(Window client, int x, int y) {
  RECT frame;
  int cx, cy;
  if (!FrameRect(client, &frame) || !ClientOrigin(client, &cx, &cy)) return false;
  if (frame.left == x && frame.top == y) return true;
  int requestX = cx + (x - frame.left), requestY = cy + (y - frame.top);
  RequestClientAt(client, requestX, requestY, frame);
  if (!FrameRect(client, &frame)) return false;
  if (frame.left == x && frame.top == y) return true;
  // The manager may move the frame in more than one step: wait for it to
  // land where it now should.
  POINT target{x, y};
  RequestClientAt(client, x - (frame.left - requestX), y - (frame.top - requestY), frame, &target);
  return FrameRect(client, &frame) && frame.left == x && frame.top == y;
}

bool WaitUntilViewable(Window client) {
  return WaitFor(MapTimeout, [&] { return IsMapped(client); });
}

bool IsMapped(Window client) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(fl_display, client, &attributes) &&
         attributes.map_state == IsViewable;
}

bool IsIconified(Window client) {
  Atom wmState = XInternAtom(fl_display, "WM_STATE", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  bool iconic = false;
  if (XGetWindowProperty(fl_display, client, wmState, 0, 2, False, wmState, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    if (format == 32 && count >= 1) iconic = reinterpret_cast<long*>(data)[0] == IconicState;
    XFree(data);
  }
  return iconic;
}

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

extern "C" {

// ---- Geometry, on the outer frame as the platform measures it ---------------
// Geometry applies to top-level windows: the dialogs.

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
  ui::Dialog* dialog = ui::Dialog::FromHandle(window);
  if (!dialog || !rect) return FALSE;
  *rect = dialog->FrameRect();
  return TRUE;
}

// Moves the outer frame's corner; the dialog's size is fixed and stacking
// is left to the window manager. Before the window is shown, the place is
// kept for when it is.
BOOL WINAPI SetWindowPos(HWND window, HWND, int x, int y, int, int, UINT flags) {
  ui::Dialog* dialog = ui::Dialog::FromHandle(window);
  if (!dialog) return FALSE;
  if (!(flags & SWP_NOMOVE)) dialog->MoveFrame(x, y);
  return TRUE;
}

BOOL WINAPI IsIconic(HWND window) {
  ui::Dialog* dialog = ui::Dialog::FromHandle(window);
  return dialog && dialog->IsIconified();
}

// On X an iconified window's frame stays where it will be restored, so the
// normal position is the frame's, in work-area coordinates.
BOOL WINAPI GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement) {
  ui::Dialog* dialog = ui::Dialog::FromHandle(window);
  if (!dialog || !placement) return FALSE;
  RECT frame = dialog->FrameRect();
  RECT area = ui::WorkArea();
  placement->flags = 0;
  placement->showCmd = dialog->IsIconified() ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
  placement->ptMinPosition = {-1, -1};
  placement->ptMaxPosition = {-1, -1};
  placement->rcNormalPosition = {frame.left - area.left, frame.top - area.top,
                                 frame.right - area.left, frame.bottom - area.top};
  return TRUE;
}

}  // extern "C"
