#include "platform/linux/ui/frame.h"

#include <X11/Xatom.h>

#include <chrono>
#include <functional>
#include <thread>

namespace ui {
namespace {

// The window manager answers in its own time; these bound the waits.
constexpr std::chrono::milliseconds MapTimeout(2000);
constexpr std::chrono::milliseconds MoveTimeout(500);

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
  rect->right = x + int(w + 2 * border);
  rect->bottom = y + int(h + 2 * border);
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
  RequestClientAt(client, x - (frame.left - requestX), y - (frame.top - requestY), frame);
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

}  // namespace ui
