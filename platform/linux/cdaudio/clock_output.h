// Silence in real time: what is taken "sounds" at the rate a sound card
// would play it, by the monotonic clock, so a play still ends when it
// should on a machine with no sound at all.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_CLOCK_OUTPUT_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_CLOCK_OUTPUT_H

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/linux/cdaudio/output.h"

namespace cdaudio {

class ClockOutput : public Output {
 public:
  // Taken ahead of the clock, and the level that makes it take more.
  static constexpr int64_t TargetBytes = BytesPerSecond / 2;
  static constexpr int64_t RefillBytes = BytesPerSecond / 4;

  explicit ClockOutput(Pull pull) : pull_(std::move(pull)), buffer_(TargetBytes) {}
  ~ClockOutput() override { Close(); }
  ClockOutput(const ClockOutput&) = delete;
  ClockOutput& operator=(const ClockOutput&) = delete;

  bool Open(std::string* why) override;
  void Close() override;
  void Flush() override;
  void Kick() override;
  int64_t Pending() override;

 private:
  using Clock = std::chrono::steady_clock;

  void Run();
  // Moves the sounded mark on to now.
  void AdvanceLocked(Clock::time_point now);

  Pull pull_;
  std::vector<uint8_t> buffer_;  // where the silence goes
  std::mutex mutex_;
  std::condition_variable wake_;
  bool running_ = false;
  bool quit_ = false;
  bool kicked_ = false;
  int64_t pending_ = 0;        // taken and not sounded
  Clock::time_point sounded_;  // when pending_ was last brought up to date
  std::thread thread_;
};

}  // namespace cdaudio

#endif
