// A sound card through SDL, for machines without a sound server (SDL
// then goes to ALSA) and for a driver asked for by name in
// SDL_AUDIODRIVER. SDL pulls on its own thread and plays silence for
// whatever it could not have.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_SDL_OUTPUT_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_SDL_OUTPUT_H

#include "platform/linux/cdaudio/output.h"

namespace cdaudio {

class SdlOutput : public Output {
 public:
  // SDL's buffer, in sample frames: 1024 frames are 23 ms; ALSA holds two
  // of them, which bounds how long a stop takes to bite, as SDL cannot
  // flush.
  static constexpr int BufferFrames = 1024;

  explicit SdlOutput(Pull pull) : pull_(std::move(pull)) {}
  ~SdlOutput() override { Close(); }
  SdlOutput(const SdlOutput&) = delete;
  SdlOutput& operator=(const SdlOutput&) = delete;

  bool Open(std::string* why) override;
  void Close() override;
  void Flush() override {}
  void Kick() override {}
  int64_t Pending() override;

 private:
  static void Callback(void* self, uint8_t* out, int bytes);

  Pull pull_;
  uint32_t device_ = 0;
  bool initialised_ = false;
};

}  // namespace cdaudio

#endif
