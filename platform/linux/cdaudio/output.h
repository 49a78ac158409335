// SPDX-License-Identifier: GPL-3.0-or-later
// Where the device's PCM goes: the disc's rate (44100 Hz), 16-bit little-endian stereo,
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

#include "platform/linux/disc/track_table.h"

namespace cdaudio {

constexpr int64_t BytesPerSecond = disc::SampleRate * disc::SampleBytes;

class Output {
 public:
  // Copies up to `bytes` of PCM into `out`; returns how many. Called with
  // the output's own lock held: it must never call back into the output.
  using Pull = std::function<size_t(uint8_t* out, size_t bytes)>;
  // Told, from the output's own thread, that it became ready or went
  // away: what Open would answer has changed.
  using Changed = std::function<void()>;

  enum class Readiness {
    Ready,       // taking PCM
    Connecting,  // on its way, and Changed comes when it is there or not
    Down,        // not to be had now, for the reason Open gives
  };

  Output() = default;
  // An output owns a stream and often a thread that calls back into it.
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  virtual ~Output() = default;

  // Gets ready ahead of the first Open, where that takes time.
  virtual void Prepare() {}
  // Opens and starts the output unless it runs already; `why` says why it
  // is Down.
  virtual Readiness Open(std::string* why) = 0;
  // Stops taking PCM and drops what it holds; a connection behind it may
  // be kept for the next Open.
  virtual void Close() = 0;
  // Drops whatever has been taken and has not sounded.
  virtual void Flush() = 0;
  // Nothing follows what has been taken: let all of it sound, though an
  // output would otherwise wait for more before playing its last part.
  virtual void Drain() {}
  // Whether what Drain let go is still on its way to the speakers, where
  // the output cannot tell it from Pending.
  virtual bool Draining() { return false; }
  // There is PCM to take: take it now rather than at the next refill.
  virtual void Kick() = 0;
  // Bytes taken that have not sounded yet.
  virtual int64_t Pending() = 0;
  // The calling thread, which has opened or closed the output, ends: let
  // go of what the output's library keeps for that thread.
  virtual void LeaveThread() {}
};

// One kind of output, as the playback tries them in turn.
struct OutputKind {
  // Whether the environment asks for another kind; null: never.
  bool (*passedOver)();
  std::unique_ptr<Output> (*make)(Output::Pull pull, Output::Changed changed);
};

extern const OutputKind PulseOutputKind;  // the desktop's sound server (pulse_output.cpp)
extern const OutputKind SdlOutputKind;    // a sound card through SDL (sdl_output.cpp)
extern const OutputKind ClockOutputKind;  // silence in real time (clock_output.cpp)

}  // namespace cdaudio

#endif
