// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI thread's loop, shared by the dialog and the message box: FLTK's
// events and timeouts, then the messages other threads posted. Messages
// posted from any thread are delivered in order on the GUI thread; the
// queue wakes the GUI thread once when it stops being empty, so a busy
// poster never fills the toolkit's own wake-up channel.
#ifndef KORVANE_PLATFORM_LINUX_UI_MESSAGE_LOOP_H
#define KORVANE_PLATFORM_LINUX_UI_MESSAGE_LOOP_H

#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/platform.h"

namespace ui {

struct PostedMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class PostQueue {
 public:
  // The platform's limit: a thread's queue refuses messages beyond it.
  static constexpr size_t Capacity = 10000;

  explicit PostQueue(std::function<void()> wake) : wake_(std::move(wake)) {}

  // Any thread. False when the queue is full.
  bool Push(const PostedMessage& message);
  // The GUI thread: the oldest message, or nothing once the queue is empty.
  std::optional<PostedMessage> Pop();

 private:
  std::mutex mutex_;
  std::deque<PostedMessage> messages_;
  bool wakePending_ = false;
  std::function<void()> wake_;
};

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

// Told of each message SendMessageA sends, before it is handled, on the GUI
// thread: how a watcher (the desktop's media service) sees what the system
// sets on its controls. One watcher; nullptr tells no one.
using SentWatcher = void (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void WatchSent(SentWatcher watcher);

}  // namespace ui

#endif
