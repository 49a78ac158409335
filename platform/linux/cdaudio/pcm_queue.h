// A fixed ring of PCM bytes between the device's reader and the audio
// output. Not locked: the playback guards it.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_PCM_QUEUE_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_PCM_QUEUE_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace cdaudio {

class PcmQueue {
 public:
  explicit PcmQueue(size_t capacity) : ring_(capacity) {}

  size_t size() const { return size_; }
  size_t space() const { return ring_.size() - size_; }

  // Adds up to space() bytes at the back; returns how many fitted.
  size_t Push(const uint8_t* data, size_t bytes);
  // Moves up to `bytes` from the front into `out`; returns how many.
  size_t Pop(uint8_t* out, size_t bytes);
  // Forgets the last `bytes` pushed (or all, when there are fewer).
  void DropBack(size_t bytes);
  void Clear() { head_ = size_ = 0; }

 private:
  std::vector<uint8_t> ring_;
  size_t head_ = 0;
  size_t size_ = 0;
};

}  // namespace cdaudio

#endif
