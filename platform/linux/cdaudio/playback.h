// SPDX-License-Identifier: GPL-3.0-or-later
// Playing a range of the disc: per open device, one worker thread times
// the ranges and feeds the audio output, and posts the completion of each
// play request to the window that asked for it; another reads the disc
// ahead of the output, so a slow read never delays a completion.
//
// A range counts as played once all but the last HandoverBytes of it
// have sounded, as the output reports it. Its tail then keeps sounding
// through a STOP, and a PLAY that starts where it ended follows on
// without a gap; the worker has already read ahead into what follows. A
// STOP or PLAY that interrupts a range flushes the output: it falls
// silent at once, however much the output holds.
//
// The output is the first of the sounding kinds that is ready (the sound
// server, else SDL and through it ALSA), else silence kept in real time.
// The sound server is asked for when the device opens; a play that comes
// before it is ready waits for it, losing nothing, as long as it may still
// come. Whenever an output becomes ready or goes away the choice is made
// again, at the position then playing: a device whose server dies plays
// on in silence, and is heard again as soon as the server is back.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_PLAYBACK_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_PLAYBACK_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/cdaudio/mutex.h"
#include "platform/linux/cdaudio/output.h"
#include "platform/platform.h"

namespace disc {
class SectorReader;
}

namespace cdaudio {

class NotifySlot;

// A fixed ring of PCM bytes between the device's reader and the audio
// output. Not locked: the playback guards it.
class PcmQueue {
 public:
  explicit PcmQueue(size_t capacity) : ring_(capacity) {}

  size_t Size() const { return size_; }
  size_t Space() const { return ring_.size() - size_; }

  // Adds up to Space() bytes at the back; returns how many fitted.
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

// The device's states and who moves it between them:
//
//   from          request or event                          to
//   any           Play                                      PlayingRange
//   PlayingRange  Stop                                      Idle
//   PlayingRange  the worker: all but HandoverBytes sounded HandedOver (SUCCESSFUL posted)
//   PlayingRange  the reader's thread: a read failed        Idle (FAILURE posted)
//   HandedOver    Stop                                      Idle
//
// A Play or Stop that meets PlayingRange cuts the range: the queue is
// emptied and the output flushed. One that meets HandedOver lets its tail
// sound. Reading past a range's end (ahead of the window's next one) goes
// on in HandedOver and stops in Idle.
//
// Locks, always taken in this order and never the other way:
//   outputMutex_, then an output's own lock, then mutex_, then the
// notification slot's. The output calls (EXCLUDES(mutex_)) are made with
// mutex_ let go, since an output's thread holds its own lock while it
// pulls, and Pull takes mutex_. The …Locked methods REQUIRE mutex_; clang
// checks both where it builds (mutex.h).
class Playback {
 public:
  // Audio still to sound when a range is reported complete: the time the
  // window has to ask for the next range without a gap.
  static constexpr int64_t HandoverBytes = BytesPerSecond / 4;  // 250 ms
  // How long an idle output stays open, so a quick Stop and Play reuse it.
  static constexpr int LingerMs = 2000;
  // The longest a CLOSE waits for a completed range to sound out.
  static constexpr int DrainMs = 1000;
  // How near the end of what it holds an output is told that nothing
  // follows: late enough that the window's next range, asked for at the
  // hand-over, comes first.
  static constexpr int64_t DrainLeadBytes = BytesPerSecond / 10;  // 100 ms
  // How often an output that drains beyond what it reports is asked
  // whether it is done.
  static constexpr int DrainPollMs = 20;

  Playback(disc::SectorReader* reader, NotifySlot* slot);
  ~Playback();  // stops, posts ABORTED to a pending play, lets a completed one sound out, joins
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // Plays sectors [start, end); the worker may read on up to `readable`.
  // With `notify`, completion is posted to `window` for `device`.
  MCIERROR Play(int32_t start, int32_t end, int32_t readable, bool notify, HWND window,
                MCIDEVICEID device) EXCLUDES(mutex_, outputMutex_);
  void Stop() EXCLUDES(mutex_, outputMutex_);
  bool Playing() EXCLUDES(mutex_);
  // The sector sounding now: within the range while it plays, where a
  // STOP cut it, or the end of a range that has sounded out.
  int32_t Position() EXCLUDES(mutex_, outputMutex_);

 private:
  using Clock = std::chrono::steady_clock;

  enum class State { Idle, PlayingRange, HandedOver };
  enum class Step { Wait, ReadRange, AwaitEnd, ReadPastEnd };
  // How the reader's thread is asked to read: a short first batch of a
  // range, a burst on to ReadAhead(), or topping up below LowWater().
  enum class Pace { First, Burst, TopUp };

  // The worker: chooses the output, reads the disc and times each range.
  void Run() EXCLUDES(mutex_, outputMutex_);
  void RunUntilQuit() EXCLUDES(mutex_, outputMutex_);
  void ChooseLocked() REQUIRES(mutex_) EXCLUDES(outputMutex_);
  Step NextStepLocked() const REQUIRES(mutex_);
  bool CanReadAheadLocked() const REQUIRES(mutex_);
  void AwaitEndLocked(MutexLock& lock) REQUIRES(mutex_) EXCLUDES(outputMutex_);
  void CloseWhenIdleLocked(MutexLock& lock) REQUIRES(mutex_) EXCLUDES(outputMutex_);
  // Whether the worker is to give up waiting: the device closes, the
  // output is to be chosen again, or a request came after `request`.
  bool AskedLocked(uint64_t request) const REQUIRES(mutex_);
  // Tells the output, near the end of what it holds, that nothing follows;
  // false when asked first.
  bool DrainNearEndLocked(MutexLock& lock, uint64_t request) REQUIRES(mutex_)
      EXCLUDES(outputMutex_);
  // Waits, polling the output, while it drains what it was let go of and,
  // with `queued`, while anything of the range is left to sound, until
  // `until` at the latest; false when `interrupted()` came first.
  template <typename Interrupted>
  bool SoundOutLocked(MutexLock& lock, Clock::time_point until, bool queued,
                      Interrupted interrupted) REQUIRES(mutex_) EXCLUDES(outputMutex_);
  // PCM for `output`: an index into the kinds of output, or silence.
  size_t Pull(size_t output, uint8_t* out, size_t bytes) EXCLUDES(mutex_);
  void OnOutputChanged() EXCLUDES(mutex_);
  // Bytes of the current range (and of the ones before it) not yet handed
  // to the output.
  size_t PlayableLocked() const REQUIRES(mutex_);
  size_t SpeculativeLocked() const REQUIRES(mutex_);
  // No range plays and all there was has been handed to the open output.
  bool IdleLocked() const REQUIRES(mutex_);
  // The reader's rest is over: too little is read ahead, or a burst is on.
  bool WantsReadLocked() const REQUIRES(mutex_);
  // A batch of sectors for the reader's thread to read.
  struct ReadJob {
    int32_t from = 0;
    int32_t count = 0;
    uint64_t cuts = 0;         // cuts_ when it was asked for
    bool speculative = false;  // past the range's end
  };
  void StartReadLocked() REQUIRES(mutex_);
  void ReadUntilQuit() EXCLUDES(mutex_);
  void FinishReadLocked(const ReadJob& job, bool ok) REQUIRES(mutex_);
  void CutLocked(int32_t position) REQUIRES(mutex_);
  // Reads the range again from `position`, which is sounding now.
  void ResumeAtLocked(int32_t position) REQUIRES(mutex_);
  // The sector sounding, given what the output still holds.
  int32_t SoundingLocked(int64_t pending) const REQUIRES(mutex_);
  // Drops what the output holds, with nothing handed to it meanwhile.
  void FlushOutput() EXCLUDES(mutex_, outputMutex_);

  // The output calls. ChooseOutput opens an output not in use with
  // outputMutex_ let go (OpenLocked): the window's thread takes it to ask
  // where the sound is, and opening a sound card can block for a long
  // while.
  int64_t ChooseOutput(size_t* taking) EXCLUDES(mutex_, outputMutex_);
  Output::Readiness OpenLocked(Output* output, std::string* why) REQUIRES(outputMutex_)
      EXCLUDES(mutex_);
  void DrainOutput() EXCLUDES(mutex_, outputMutex_);
  void KickOutput() EXCLUDES(mutex_, outputMutex_);
  int64_t OutputPending() EXCLUDES(mutex_, outputMutex_);
  bool OutputDraining() EXCLUDES(mutex_, outputMutex_);
  void CloseOutput() EXCLUDES(mutex_, outputMutex_);

  disc::SectorReader* reader_;
  NotifySlot* slot_;

  // The outputs' lock comes first (see the order above).
  Mutex outputMutex_ ACQUIRED_BEFORE(mutex_);
  Mutex mutex_;
  std::condition_variable wake_;
  PcmQueue queue_ GUARDED_BY(mutex_);
  State state_ GUARDED_BY(mutex_) = State::Idle;
  bool closing_ GUARDED_BY(mutex_) = false;      // the threads are to end
  bool outputOpen_ GUARDED_BY(mutex_) = false;   // as the worker knows it
  bool outputStale_ GUARDED_BY(mutex_) = false;  // the output is to be chosen again
  bool drained_ GUARDED_BY(mutex_) = true;     // the output was told nothing follows what it holds
  bool pcmUntold_ GUARDED_BY(mutex_) = false;  // the output has not been kicked for new PCM
  // Why nothing is handed to the output now: a flush under way (Play or
  // Stop), the output being chosen again (the worker); zero when none.
  int holds_ GUARDED_BY(mutex_) = 0;
  // The output chosen, the only one that takes PCM (SIZE_MAX: none).
  size_t taking_ GUARDED_BY(mutex_) = SIZE_MAX;
  Pace pace_ GUARDED_BY(mutex_) = Pace::Burst;
  int32_t batch_ GUARDED_BY(mutex_) = 0;     // sectors the last read delivered
  uint64_t request_ GUARDED_BY(mutex_) = 0;  // tags the pending notification
  uint64_t cuts_ GUARDED_BY(mutex_) = 0;     // counts jumps of read_ that void a read in flight
  int32_t read_ GUARDED_BY(mutex_) = 0;      // next sector to read
  int32_t start_ GUARDED_BY(mutex_) = 0;     // start of the range being played
  int32_t end_ GUARDED_BY(mutex_) = 0;       // end of the range being played
  int32_t readable_ GUARDED_BY(mutex_) = 0;  // reading ahead stops here
  std::vector<uint8_t> buffer_;              // the reader's thread's alone
  std::optional<ReadJob> job_ GUARDED_BY(mutex_);  // with the reader's thread, if any
  uint64_t reads_ GUARDED_BY(mutex_) = 0;          // counts the reads done
  std::condition_variable readerWake_;
  std::thread worker_;
  std::thread readerThread_;

  // The outputs come last, so they are destroyed first: an output's own
  // thread pulls into the queue and takes mutex_ until the output is
  // closed, so every output goes before what it pulls from. The worker is
  // joined before any of them.
  std::vector<std::unique_ptr<Output>> sounding_;  // one of each kind in SoundingKinds
  std::unique_ptr<Output> silence_;
  Output* output_ GUARDED_BY(outputMutex_) = nullptr;  // the one open, if any
  // The kind of output that went away in use, until it is back (SIZE_MAX:
  // none): the kinds after it are not tried meanwhile.
  size_t away_ GUARDED_BY(outputMutex_) = SIZE_MAX;
};

}  // namespace cdaudio

#endif
