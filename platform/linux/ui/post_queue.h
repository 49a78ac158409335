// Messages posted from any thread, delivered in order on the GUI thread.
// The queue wakes the GUI thread once when it stops being empty, so a busy
// poster never fills the toolkit's own wake-up channel.
#ifndef KORVANE_PLATFORM_LINUX_UI_POST_QUEUE_H
#define KORVANE_PLATFORM_LINUX_UI_POST_QUEUE_H

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

}  // namespace ui

#endif
