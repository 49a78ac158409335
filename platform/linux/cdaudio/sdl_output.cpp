// SPDX-License-Identifier: GPL-3.0-or-later
// A sound card through SDL, for machines without a sound server (SDL
// then goes to ALSA) and for a driver asked for by name in
// SDL_AUDIODRIVER. SDL pulls on its own thread and plays silence for
// whatever it could not have.
#include <SDL.h>
#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <mutex>

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

  Readiness Open(std::string* why) override;
  void Close() override;
  void Flush() override {}
  void Kick() override {}
  int64_t Pending() override;
  // SDL keeps its error text per thread, and frees it only when asked.
  void LeaveThread() override { SDL_TLSCleanup(); }

 private:
  static void Callback(void* self, uint8_t* out, int bytes);

  Pull pull_;
  uint32_t device_ = 0;
  bool initialised_ = false;
};

namespace {

// ALSA reports a machine without a sound card on stderr from inside SDL;
// the device says so in its own words instead. SDL loads the same
// libasound, so its handler is ours to set.
void Silent(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa() {
  static std::once_flag once;
  std::call_once(once, [] {
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!alsa) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
    if (set) set(Silent);
    // Kept loaded: the handler must outlive every later use by SDL.
  });
}

}  // namespace

void SdlOutput::Callback(void* self, uint8_t* out, int bytes) {
  size_t taken = static_cast<SdlOutput*>(self)->pull_(out, static_cast<size_t>(bytes));
  memset(out + taken, 0, static_cast<size_t>(bytes) - taken);
}

Output::Readiness SdlOutput::Open(std::string* why) {
  if (device_) return Readiness::Ready;
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Korvane");
  // The sound server has been tried already, and is not there (SDL's own
  // client would wait for ever on one that does not answer): SDL is for
  // ALSA, unless SDL_AUDIODRIVER, which overrides this, says otherwise.
  SDL_SetHint(SDL_HINT_AUDIODRIVER, "alsa");
  QuietAlsa();
  // Started afresh each time, so a driver that failed once (or the
  // environment's choice of one) is looked at again.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *why = std::string("SDL: ") + SDL_GetError();
    return Readiness::Down;
  }
  initialised_ = true;
  SDL_AudioSpec want{};
  want.freq = disc::SampleRate;
  want.format = AUDIO_S16LSB;
  want.channels = 2;
  want.samples = BufferFrames;
  want.callback = Callback;
  want.userdata = this;
  SDL_AudioSpec have;
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!device_) {
    *why = std::string("SDL: ") + SDL_GetError();
    Close();
    return Readiness::Down;
  }
  SDL_PauseAudioDevice(device_, 0);
  return Readiness::Ready;
}

void SdlOutput::Close() {
  if (device_) SDL_CloseAudioDevice(device_);
  device_ = 0;
  if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  initialised_ = false;
}

// SDL keeps no count of what it holds; it is never more than a couple of
// its small buffers, which the hand-over margin covers.
int64_t SdlOutput::Pending() { return 0; }

namespace {

std::unique_ptr<Output> MakeSdl(Output::Pull pull, Output::Changed) {
  return std::unique_ptr<Output>(new SdlOutput(std::move(pull)));
}

}  // namespace

const OutputKind SdlOutputKind = {nullptr, MakeSdl};

}  // namespace cdaudio
