// SPDX-License-Identifier: GPL-3.0-or-later
// Top-level windows: the FLTK window the dialog and the message box both
// are (of a fixed size, placed exactly where it is put, brought up with the
// keyboard focus, and told of Enter when no control took it), and its
// outer frame on X, where the platform's geometry calls measure it.
#ifndef KORVANE_PLATFORM_LINUX_UI_TOP_WINDOW_H
#define KORVANE_PLATFORM_LINUX_UI_TOP_WINDOW_H

#include <FL/Fl_Double_Window.H>
#include <FL/x.H>

#include "platform/platform.h"

namespace ui {

// A top-level window's outer frame on X, as the platform measures a
// window: the rectangle with the window manager's decorations and border
// included, in screen coordinates (without a window manager, the window
// itself). An iconified window keeps its frame where it will be restored.
bool FrameRect(Window client, RECT* rect);

// Moves the frame's top-left corner to (x, y), whatever the window manager
// does with a client's requested position, and waits (briefly) until it
// is there. False if the frame did not get there.
bool MoveFrame(Window client, int x, int y);

// Waits (briefly) until the window is mapped, so the window manager has
// framed it.
bool WaitUntilViewable(Window client);

bool IsMapped(Window client);
// ICCCM WM_STATE says Iconic.
bool IsIconified(Window client);

class TopWindow : public Fl_Double_Window {
 public:
  TopWindow(int w, int h);
  int handle(int event) override;

  // The client area's corner, kept as given when the window is shown
  // rather than left to the window manager.
  void PlaceAt(int x, int y);
  // Shows the window and waits (briefly) until the window manager has
  // mapped it; then moves its outer frame's corner to `frame`, when given,
  // and gives it the keyboard focus. False if it did not appear.
  bool Present(const POINT* frame = nullptr);
  // Brings the shown window up at a user's request made elsewhere (a
  // desktop's media controls): out of its icon, above the others, with the
  // window manager asked to make it the active window.
  void Raise();

  // Watches for top-level windows that another client destroys. Once, with
  // the display open.
  static void WatchForDestruction();

 protected:
  // Enter, or the keypad's Enter, that no control handled.
  virtual void OnEnter() = 0;
  // Another client destroyed the window: it is gone from the screen and
  // must not be touched again.
  virtual void OnDestroyedElsewhere() = 0;
};

// The corner that centres a w x h window on `over`.
POINT CentredOn(const RECT& over, int w, int h);

}  // namespace ui

#endif
