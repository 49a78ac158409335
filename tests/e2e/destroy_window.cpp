// SPDX-License-Identifier: GPL-3.0-or-later
// Destroys a window of another client, as a misbehaving pager or a script
// might: the window goes, its client stays connected. Usage:
// destroy_window WINDOW-ID
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: destroy_window WINDOW-ID\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "destroy_window: no display\n");
    return 1;
  }
  XDestroyWindow(display, static_cast<Window>(std::strtoul(argv[1], nullptr, 0)));
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
