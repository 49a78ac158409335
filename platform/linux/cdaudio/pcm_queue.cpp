#include "platform/linux/cdaudio/pcm_queue.h"

#include <string.h>

#include <algorithm>

namespace cdaudio {

size_t PcmQueue::Push(const uint8_t* data, size_t bytes) {
  bytes = std::min(bytes, space());
  size_t tail = (head_ + size_) % ring_.size();
  size_t first = std::min(bytes, ring_.size() - tail);
  memcpy(&ring_[tail], data, first);
  memcpy(&ring_[0], data + first, bytes - first);
  size_ += bytes;
  return bytes;
}

size_t PcmQueue::Pop(uint8_t* out, size_t bytes) {
  bytes = std::min(bytes, size_);
  size_t first = std::min(bytes, ring_.size() - head_);
  memcpy(out, &ring_[head_], first);
  memcpy(out + first, &ring_[0], bytes - first);
  head_ = (head_ + bytes) % ring_.size();
  size_ -= bytes;
  return bytes;
}

void PcmQueue::DropBack(size_t bytes) { size_ -= std::min(bytes, size_); }

}  // namespace cdaudio
