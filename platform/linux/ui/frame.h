// A top-level window's outer frame on X: the window manager's decorations
// included, as the platform measures a window. Without a window manager
// the frame is the window itself.
#ifndef KORVANE_PLATFORM_LINUX_UI_FRAME_H
#define KORVANE_PLATFORM_LINUX_UI_FRAME_H

#include <FL/x.H>

#include "platform/platform.h"

namespace ui {

// The outer rectangle, border included, in screen coordinates. An
// iconified window keeps its frame where it will be restored.
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

}  // namespace ui

#endif
