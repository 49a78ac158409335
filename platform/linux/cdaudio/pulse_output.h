// The desktop's sound server, through libpulse's threaded main loop. The
// server holds about two seconds of PCM and asks for it in quarter-second
// refills, so the player sleeps between them; a stop or a new range
// flushes what the server holds instead of waiting for it to drain.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_PULSE_OUTPUT_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_PULSE_OUTPUT_H

#include <pulse/pulseaudio.h>

#include <atomic>

#include "platform/linux/cdaudio/output.h"

namespace cdaudio {

class PulseOutput : public Output {
 public:
  // What the server buffers for us, and how low it lets that run before
  // asking for more.
  static constexpr uint32_t TargetBytes = 2 * BytesPerSecond;
  static constexpr uint32_t RefillBytes = BytesPerSecond / 4;
  // Playback starts once this much is in: the first read of a range.
  static constexpr uint32_t StartBytes = 4 * 2352;
  // The longest Open waits for a server that accepts the connection and
  // then does not answer (stopped, or hung).
  static constexpr int ConnectMs = 1000;

  PulseOutput(Pull pull, Lost lost) : pull_(std::move(pull)), lost_(std::move(lost)) {}
  ~PulseOutput() override { Close(); }
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  bool Open(std::string* why) override;
  void Close() override;
  void Flush() override;
  void Kick() override;
  int64_t Pending() override;

 private:
  static void OnContextState(pa_context* context, void* self);
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnWrite(pa_stream* stream, size_t bytes, void* self);
  bool ConnectLocked(std::string* why);
  static void OnTimeout(pa_mainloop_api* api, pa_time_event* event, const struct timeval* at,
                        void* self);
  void FillLocked(size_t bytes);
  void DeadLocked();

  Pull pull_;
  Lost lost_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  std::atomic<bool> dead_{false};  // the server went away since Open
  bool timedOut_ = false;          // Open has waited long enough
  int64_t sinceFlush_ = 0;         // bytes written since the last flush
};

}  // namespace cdaudio

#endif
