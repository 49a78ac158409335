// SPDX-License-Identifier: GPL-3.0-or-later
// Silence in real time: what is taken "sounds" at the rate a sound card
// would play it, by the monotonic clock, so a play still ends when it
// should on a machine with no sound at all.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
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

  Readiness Open(std::string* why) override;
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

Output::Readiness ClockOutput::Open(std::string*) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_) return Readiness::Ready;
  running_ = true;
  quit_ = false;
  pending_ = 0;
  sounded_ = Clock::now();
  thread_ = std::thread(&ClockOutput::Run, this);
  return Readiness::Ready;
}

void ClockOutput::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) return;
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  running_ = false;
  pending_ = 0;
}

void ClockOutput::Flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_ = 0;
  sounded_ = Clock::now();
}

void ClockOutput::Kick() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    kicked_ = true;
  }
  wake_.notify_all();
}

int64_t ClockOutput::Pending() {
  std::lock_guard<std::mutex> lock(mutex_);
  AdvanceLocked(Clock::now());
  return pending_;
}

void ClockOutput::AdvanceLocked(Clock::time_point now) {
  auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - sounded_).count();
  int64_t played = elapsed * BytesPerSecond / 1000000;
  played -= played % 4;
  if (played <= 0) return;
  if (played >= pending_) {
    // Ran dry: what comes next starts sounding when it is taken.
    pending_ = 0;
    sounded_ = now;
    return;
  }
  pending_ -= played;
  sounded_ += std::chrono::microseconds(played * 1000000 / BytesPerSecond);
}

void ClockOutput::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!quit_) {
    AdvanceLocked(Clock::now());
    kicked_ = false;
    bool starved = false;
    if (pending_ <= RefillBytes) {
      int64_t wanted = TargetBytes - pending_;
      wanted -= wanted % 4;
      lock.unlock();
      size_t taken = pull_(buffer_.data(), static_cast<size_t>(wanted));
      lock.lock();
      AdvanceLocked(Clock::now());
      pending_ += static_cast<int64_t>(taken);
      starved = taken == 0;
    }
    if (quit_ || kicked_) continue;
    if (pending_ == 0) {
      wake_.wait(lock, [this] { return quit_ || kicked_; });
    } else {
      // Until the level falls to the refill mark (or, with nothing more to
      // take, runs out), or sooner when kicked.
      int64_t over = starved ? pending_ : std::max<int64_t>(pending_ - RefillBytes, 4);
      auto at = sounded_ + std::chrono::microseconds(over * 1000000 / BytesPerSecond);
      wake_.wait_until(lock, at, [this] { return quit_ || kicked_; });
    }
  }
}

namespace {

std::unique_ptr<Output> MakeClock(Output::Pull pull, Output::Changed) {
  return std::unique_ptr<Output>(new ClockOutput(std::move(pull)));
}

}  // namespace

const OutputKind ClockOutputKind = {nullptr, MakeClock};

}  // namespace cdaudio
