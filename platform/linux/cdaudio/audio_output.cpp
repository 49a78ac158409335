#include "platform/linux/cdaudio/audio_output.h"

#include <SDL.h>
#include <dlfcn.h>

#include "platform/linux/disc/track_table.h"

namespace cdaudio {

namespace {

// ALSA reports a machine without a sound card on stderr from inside SDL;
// the device reports that by falling back instead. SDL loads the same
// libasound, so its handler is ours to set.
void Silent(const char*, int, const char*, int, const char*, ...) {}

void QuietAlsa() {
  void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!alsa) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"));
  if (set) set(Silent);
  // Kept loaded: the handler must outlive every later use by SDL.
}

bool InitAudio() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Korvane");
    QuietAlsa();
    ready = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 || SDL_AudioInit("dummy") == 0;
  });
  return ready;
}

SDL_AudioDeviceID OpenDevice(void* self, SDL_AudioCallback callback) {
  SDL_AudioSpec want{};
  want.freq = disc::SampleRate;
  want.format = AUDIO_S16LSB;
  want.channels = 2;
  want.samples = AudioOutput::BufferFrames;
  want.callback = callback;
  want.userdata = self;
  SDL_AudioSpec have;
  return SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
}

}  // namespace

void AudioOutput::Callback(void* self, uint8_t* out, int bytes) {
  static_cast<AudioOutput*>(self)->pull_(out, bytes);
}

bool AudioOutput::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (device_) return true;
  if (!InitAudio()) return false;
  device_ = OpenDevice(this, Callback);
  if (!device_ &&
      SDL_strcmp(SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "", "dummy") != 0) {
    // No usable card: play silently in real time instead.
    if (SDL_AudioInit("dummy") == 0) device_ = OpenDevice(this, Callback);
  }
  if (device_) SDL_PauseAudioDevice(device_, 0);
  return device_ != 0;
}

void AudioOutput::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!device_) return;
  SDL_CloseAudioDevice(device_);
  device_ = 0;
}

}  // namespace cdaudio
