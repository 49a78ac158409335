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

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
                MCIDEVICEID device);
  void Stop();
  bool Playing();
  // The sector sounding now: within the range while it plays, where a
  // STOP cut it, or the end of a range that has sounded out.
  int32_t Position();

 private:
  enum class State { Idle, PlayingRange, HandedOver };
  enum class Step { Wait, ReadRange, AwaitEnd, ReadPastEnd };

  // The worker: chooses the output, reads the disc and times each range.
  void Run();
  void RunUntilQuit();
  Step NextStepLocked() const;
  bool CanReadAheadLocked() const;
  void AwaitEndLocked(std::unique_lock<std::mutex>& lock);
  void CloseWhenIdleLocked(std::unique_lock<std::mutex>& lock);
  // PCM for `output`: an index into the kinds of output, or silence.
  size_t Pull(size_t output, uint8_t* out, size_t bytes);
  void OnOutputChanged();
  // Bytes of the current range (and of the ones before it) not yet handed
  // to the output.
  size_t PlayableLocked() const;
  size_t SpeculativeLocked() const;
  // No range plays and all there was has been handed to the open output.
  bool IdleLocked() const;
  // The reader's rest is over: too little is read ahead, or a burst is on.
  bool WantsReadLocked() const;
  // A batch of sectors for the reader's thread to read.
  struct ReadJob {
    int32_t from = 0;
    int32_t count = 0;
    uint64_t cuts = 0;         // cuts_ when it was asked for
    bool speculative = false;  // past the range's end
  };
  void StartReadLocked();
  void ReadUntilQuit();
  void FinishReadLocked(const ReadJob& job, bool ok);
  void CutLocked(int32_t position);
  // Reads the range again from `position`, which is sounding now.
  void ResumeAtLocked(int32_t position);
  // The sector sounding, given what the output still holds.
  int32_t SoundingLocked(int64_t pending) const;
  // Drops what the output holds, with nothing handed to it meanwhile.
  void FlushOutput();

  // The output calls, each under outputMutex_ (but ChooseOutput's opening
  // of an output not in use) and never with mutex_ held: the outputs pull
  // with their own locks held.
  int64_t ChooseOutput(size_t* taking);
  void DrainOutput();
  void KickOutput();
  int64_t OutputPending();
  bool OutputDraining();
  void CloseOutput();

  disc::SectorReader* reader_;
  NotifySlot* slot_;

  std::mutex mutex_;
  std::condition_variable wake_;
  PcmQueue queue_;
  State state_ = State::Idle;
  bool quit_ = false;
  bool outputOpen_ = false;      // as the worker knows it
  bool choose_ = false;          // the output is to be chosen again
  bool drained_ = true;          // the output was told nothing follows what it holds
  bool flushing_ = false;        // nothing is handed over until the flush is done
  bool choosing_ = false;        // nor while the output is chosen again
  size_t taking_ = SIZE_MAX;     // the output chosen, the only one that takes PCM (SIZE_MAX: none)
  bool kick_ = false;            // there is new PCM for the output
  bool fresh_ = false;           // no sector of the range read yet
  int32_t batch_ = 0;            // sectors the last read delivered
  bool filling_ = true;          // reading on to ReadAhead(), not yet down to LowWater()
  uint64_t request_ = 0;         // tags the pending notification
  uint64_t cuts_ = 0;            // counts jumps of read_ that void a read in flight
  int32_t read_ = 0;             // next sector to read
  int32_t start_ = 0;            // start of the range being played
  int32_t end_ = 0;              // end of the range being played
  int32_t readable_ = 0;         // reading ahead stops here
  std::vector<uint8_t> buffer_;  // the reader's thread's alone
  bool reading_ = false;         // a job is with the reader's thread
  ReadJob job_;
  uint64_t reads_ = 0;  // counts the reads done
  std::condition_variable readerWake_;
  std::thread worker_;
  std::thread readerThread_;

  // The outputs come last, so they are destroyed first: an output's own
  // thread pulls into the queue and takes mutex_ until the output is
  // closed, so every output goes before what it pulls from. The worker is
  // joined before any of them.
  std::mutex outputMutex_;
  std::vector<std::unique_ptr<Output>> sounding_;  // one of each kind in SoundingKinds
  std::unique_ptr<Output> silence_;
  Output* output_ = nullptr;  // the one open, if any
};

}  // namespace cdaudio

#endif
