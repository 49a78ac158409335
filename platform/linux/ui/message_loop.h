// The GUI thread's loop, shared by the dialog and the message box: FLTK's
// events and timeouts, then the messages other threads posted.
#ifndef KORVANE_PLATFORM_LINUX_UI_MESSAGE_LOOP_H
#define KORVANE_PLATFORM_LINUX_UI_MESSAGE_LOOP_H

#include "platform/linux/ui/post_queue.h"
#include "platform/platform.h"

namespace ui {

// Any thread: queues the message for the GUI thread, which delivers it in
// the order of posting. False when the window does not exist or the queue
// is full.
bool Post(const PostedMessage& message);

// Waits for something to happen and handles it.
void PumpOnce();

// Delivers the posted messages, oldest first. A message for a window that
// is gone, or whose dialog has ended, is dropped.
void DeliverPosted();

// Sends to a live window whose dialog has not ended; false otherwise.
bool DeliverTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace ui

#endif
