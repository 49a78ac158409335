#include "platform/linux/ui/post_queue.h"

namespace ui {

bool PostQueue::Push(const PostedMessage& message) {
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (messages_.size() >= Capacity) return false;
    messages_.push_back(message);
    wake = !wakePending_;
    wakePending_ = true;
  }
  if (wake) wake_();
  return true;
}

// The consumer drains to empty after every wake-up; finding the queue
// empty re-arms the wake-up for the next poster.
std::optional<PostedMessage> PostQueue::Pop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.empty()) {
    wakePending_ = false;
    return std::nullopt;
  }
  PostedMessage message = messages_.front();
  messages_.pop_front();
  return message;
}

}  // namespace ui
