// The sound card, through SDL: 44100 Hz, 16-bit stereo, pulled by SDL's
// own thread. Without a usable card it falls back to SDL's dummy driver,
// which keeps time without a sound, so a play still ends when it should.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_AUDIO_OUTPUT_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_AUDIO_OUTPUT_H

#include <stdint.h>

#include <functional>
#include <mutex>

namespace cdaudio {

class AudioOutput {
 public:
  // Fills the buffer with the next bytes to play; runs on SDL's thread.
  using Pull = std::function<void(uint8_t* out, int bytes)>;

  // SDL's buffer, in sample frames: 512 frames are 11.6 ms, which bounds
  // both the delay to the first sample and how long a stop takes to bite.
  static constexpr int BufferFrames = 512;

  explicit AudioOutput(Pull pull) : pull_(std::move(pull)) {}
  ~AudioOutput() { Close(); }
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // Opens and starts the output unless it runs already; false when not
  // even the silent fallback could be had.
  bool Open();
  void Close();

 private:
  static void Callback(void* self, uint8_t* out, int bytes);

  Pull pull_;
  std::mutex mutex_;
  uint32_t device_ = 0;
};

}  // namespace cdaudio

#endif
