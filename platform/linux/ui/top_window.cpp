// SPDX-License-Identifier: GPL-3.0-or-later
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
// that ignores moves costs it a few times.
constexpr std::chrono::milliseconds MoveTimeout(2000);
constexpr int MoveRounds = 4;
// How long a frame that has reached its place must stay there.
constexpr std::chrono::milliseconds SettleTime(100);

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
// `before`.
void RequestClientAt(Window client, int x, int y, const RECT& before) {
  XMoveWindow(fl_display, client, x, y);
  XFlush(fl_display);
  WaitFor(MoveTimeout, [&] {
    RECT now;
    return FrameRect(client, &now) && (now.left != before.left || now.top != before.top);
  });
}

// Whether the frame stays at `at` for a moment: a manager busy placing a
// new window may still move it.
bool Settled(Window client, const RECT& at) {
  return !WaitFor(SettleTime, [&] {
    RECT now;
    return !FrameRect(client, &now) || now.left != at.left || now.top != at.top;
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
// assumes the former; where the frame lands tells how this manager reads a
// request, and the next request allows for it. A manager still placing
// the new window may move it meanwhile: the frame is asked again until it
// stays where it should.
bool MoveFrame(Window client, int x, int y) {
  bool learned = false;
  int offsetX = 0, offsetY = 0;  // where the frame lands, less where the client was asked to be
  for (int round = 0; round < MoveRounds; round++) {
    RECT frame;
    int cx, cy;
    if (!FrameRect(client, &frame) || !ClientOrigin(client, &cx, &cy)) return false;
    if (frame.left == x && frame.top == y) {
      if (Settled(client, frame)) return true;
      continue;
    }
    int requestX = learned ? x - offsetX : cx + (x - frame.left);
    int requestY = learned ? y - offsetY : cy + (y - frame.top);
    RequestClientAt(client, requestX, requestY, frame);
    RECT landed;
    if (FrameRect(client, &landed) && (landed.left != frame.left || landed.top != frame.top)) {
      offsetX = landed.left - requestX;
      offsetY = landed.top - requestY;
      learned = true;
    }
  }
  return false;
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

// _NET_ACTIVE_WINDOW from a source of type 2, one that acts for the user
// directly, as a pager does; a window manager without it just maps and
// raises.
void TopWindow::Raise() {
  show();
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = fl_xid(this);
  event.xclient.message_type = XInternAtom(fl_display, "_NET_ACTIVE_WINDOW", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = 2;
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(fl_display, DefaultRootWindow(fl_display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(fl_display);
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
