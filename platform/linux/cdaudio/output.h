// Where the device's PCM goes: 44100 Hz, 16-bit little-endian stereo,
// bit-exact. An output pulls what it can take from the playback, on its
// own thread or on Kick, and says how much of what it took has not
// sounded yet.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_OUTPUT_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace cdaudio {

constexpr int64_t BytesPerSecond = 44100 * 4;

class Output {
 public:
  // Copies up to `bytes` of PCM into `out`; returns how many. Called with
  // the output's own lock held: it must never call back into the output.
  using Pull = std::function<size_t(uint8_t* out, size_t bytes)>;
  // Told, from the output's thread, that the output died under playback.
  using Lost = std::function<void()>;

  Output() = default;
  // An output owns a stream and often a thread that calls back into it.
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  virtual ~Output() = default;

  // Opens and starts the output unless it runs already; false, with the
  // reason in `why`, when it cannot be had.
  virtual bool Open(std::string* why) = 0;
  virtual void Close() = 0;
  // Drops whatever has been taken and has not sounded.
  virtual void Flush() = 0;
  // There is PCM to take: take it now rather than at the next refill.
  virtual void Kick() = 0;
  // Bytes taken that have not sounded yet.
  virtual int64_t Pending() = 0;
};

// One kind of output, as the playback tries them in turn.
struct OutputKind {
  // Whether the environment asks for another kind; null: never.
  bool (*passedOver)();
  std::unique_ptr<Output> (*make)(Output::Pull pull, Output::Lost lost);
  // What the device says when this output dies under playback; null for
  // one that never reports that.
  const char* lostWhy;
};

extern const OutputKind PulseOutputKind;  // the desktop's sound server (pulse_output.cpp)
extern const OutputKind SdlOutputKind;    // a sound card through SDL (sdl_output.cpp)
extern const OutputKind ClockOutputKind;  // silence in real time (clock_output.cpp)

}  // namespace cdaudio

#endif
