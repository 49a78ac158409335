// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/cdaudio/playback.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>

#include "platform/linux/cdaudio/notify_slot.h"
#include "platform/linux/common/warn.h"
#include "platform/linux/disc/disc.h"

namespace cdaudio {

namespace {

// The kinds of output that sound, tried in this order.
const OutputKind* const SoundingKinds[] = {&PulseOutputKind, &SdlOutputKind};

// Which output may take PCM: one of SoundingKinds, or these.
constexpr size_t Silence = std::size(SoundingKinds);
constexpr size_t NoOutput = SIZE_MAX;  // none chosen

// The first read of a range is short, so the first sample is not kept
// waiting for a long one; each next one is at most twice as long as the
// one before, so it is read before what is queued has sounded.
constexpr int32_t FirstBatch = 4;

size_t Bytes(int32_t sectors) {
  return static_cast<size_t>(std::max<int32_t>(sectors, 0)) * disc::SectorBytes;
}

std::chrono::microseconds Duration(int64_t bytes) {
  return std::chrono::microseconds(bytes * 1000000 / BytesPerSecond);
}

// Says once per reason that playback is silent: the only line the outputs
// leave on stderr.
void TellSilent(const std::string& why) {
  static common::OnceWarning silent;
  silent.Warn(why, "playing silently: %s", why.c_str());
}

}  // namespace

size_t PcmQueue::Push(const uint8_t* data, size_t bytes) {
  bytes = std::min(bytes, Space());
  size_t tail = (head_ + size_) % ring_.size();
  size_t first = std::min(bytes, ring_.size() - tail);
  std::memcpy(&ring_[tail], data, first);
  std::memcpy(&ring_[0], data + first, bytes - first);
  size_ += bytes;
  return bytes;
}

size_t PcmQueue::Pop(uint8_t* out, size_t bytes) {
  bytes = std::min(bytes, size_);
  size_t first = std::min(bytes, ring_.size() - head_);
  std::memcpy(out, &ring_[head_], first);
  std::memcpy(out + first, &ring_[0], bytes - first);
  head_ = (head_ + bytes) % ring_.size();
  size_ -= bytes;
  return bytes;
}

void PcmQueue::DropBack(size_t bytes) { size_ -= std::min(bytes, size_); }

Playback::Playback(disc::SectorReader* reader, NotifySlot* slot)
    : reader_(reader),
      slot_(slot),
      queue_(Bytes(reader->ReadAhead()) + static_cast<size_t>(HandoverBytes)),
      buffer_(Bytes(reader->PreferredBatch())) {
  auto pull = [this](size_t output) {
    return [this, output](uint8_t* out, size_t bytes) { return Pull(output, out, bytes); };
  };
  for (size_t kind = 0; kind < std::size(SoundingKinds); kind++)
    sounding_.push_back(SoundingKinds[kind]->make(pull(kind), [this] { OnOutputChanged(); }));
  silence_ = ClockOutputKind.make(pull(Silence), nullptr);
  // The sound server is slow to answer on a busy machine: ask it now, so
  // that it is ready by the first play.
  for (size_t kind = 0; kind < sounding_.size(); kind++)
    if (!SoundingKinds[kind]->passedOver || !SoundingKinds[kind]->passedOver())
      sounding_[kind]->Prepare();
  worker_ = std::thread(&Playback::Run, this);
  readerThread_ = std::thread(&Playback::ReadUntilQuit, this);
}

Playback::~Playback() {
  Stop();
  bool drain;
  {
    MutexLock lock(mutex_);
    drain = !drained_;
    drained_ = true;
  }
  if (drain) DrainOutput();
  {
    // A range already complete sounds out before the output closes: the
    // window took it as played. A cut range left nothing to wait for.
    MutexLock lock(mutex_);
    SoundOutLocked(lock, Clock::now() + std::chrono::milliseconds(DrainMs), true,
                   [] { return false; });
    closing_ = true;
  }
  wake_.notify_all();
  readerWake_.notify_all();
  worker_.join();
  readerThread_.join();
  CloseOutput();
}

MCIERROR Playback::Play(int32_t start, int32_t end, int32_t readable, bool notify, HWND window,
                        MCIDEVICEID device) {
  bool cut = false;
  {
    MutexLock lock(mutex_);
    // The worker opens the output: the window never waits for a server.
    outputOpen_ = true;
    outputStale_ = true;
    drained_ = false;
    request_++;
    if (notify)
      slot_->Arm(window, device, request_, MCI_NOTIFY_SUPERSEDED);
    else
      slot_->CompleteAny(MCI_NOTIFY_ABORTED);
    if (state_ == State::PlayingRange) {
      CutLocked(start);  // a play cut short falls silent at once
      cut = true;
    } else if (start != end_) {
      // Whatever is still sounding plays out; what was read ahead is not
      // what comes next.
      queue_.DropBack(SpeculativeLocked());
      read_ = start;
      cuts_++;
    }
    start_ = start;
    end_ = end;
    readable_ = std::max(readable, end);
    pace_ = Pace::First;
    pcmUntold_ = true;  // what was read ahead may be playable now
    state_ = State::PlayingRange;
    if (cut) holds_++;
  }
  if (cut) FlushOutput();
  wake_.notify_all();
  return 0;
}

void Playback::Stop() {
  bool cut = false;
  int64_t pending = OutputPending();
  {
    MutexLock lock(mutex_);
    slot_->CompleteAny(MCI_NOTIFY_ABORTED);
    if (state_ == State::PlayingRange) {
      // The position stays where the sound stopped.
      CutLocked(SoundingLocked(pending));
      cut = true;
      drained_ = true;
      holds_++;
    }
    state_ = State::Idle;
  }
  if (cut) FlushOutput();
  wake_.notify_all();
}

bool Playback::Playing() {
  MutexLock lock(mutex_);
  return state_ == State::PlayingRange;
}

int32_t Playback::Position() {
  int64_t pending = OutputPending();
  MutexLock lock(mutex_);
  return SoundingLocked(pending);
}

int32_t Playback::SoundingLocked(int64_t pending) const {
  int64_t unsounded = static_cast<int64_t>(PlayableLocked()) + std::max<int64_t>(pending, 0);
  return std::min(read_, end_) - static_cast<int32_t>(unsounded / disc::SectorBytes);
}

void Playback::CutLocked(int32_t position) {
  queue_.Clear();
  read_ = position;
  end_ = position;
  cuts_++;
}

void Playback::ResumeAtLocked(int32_t position) {
  queue_.Clear();
  read_ = position;
  cuts_++;
  pace_ = Pace::First;
}

void Playback::FlushOutput() {
  {
    MutexLock lock(outputMutex_);
    if (output_) output_->Flush();
  }
  MutexLock lock(mutex_);
  holds_--;
}

size_t Playback::SpeculativeLocked() const { return Bytes(read_ - end_); }

bool Playback::IdleLocked() const {
  return state_ != State::PlayingRange && PlayableLocked() == 0 && outputOpen_;
}

size_t Playback::PlayableLocked() const {
  return queue_.Size() - std::min(queue_.Size(), SpeculativeLocked());
}

size_t Playback::Pull(size_t output, uint8_t* out, size_t bytes) {
  size_t taken = 0;
  bool wake;
  {
    MutexLock lock(mutex_);
    // Only the output chosen takes PCM: a server that has just made its
    // stream asks for it before it is chosen.
    if (output == taking_ && holds_ == 0)
      taken = queue_.Pop(out, std::min(bytes, PlayableLocked()));
    // The worker sleeps until there is room to read into, and once more
    // when all there is to play has been handed over: to time the range's
    // end, or to tell the output that nothing follows.
    Step step = NextStepLocked();
    wake = step == Step::ReadRange || step == Step::ReadPastEnd ||
           (taken > 0 && PlayableLocked() == 0);
  }
  if (wake) wake_.notify_all();
  return taken;
}

void Playback::OnOutputChanged() {
  {
    MutexLock lock(mutex_);
    outputStale_ = true;
  }
  wake_.notify_all();
}

bool Playback::CanReadAheadLocked() const {
  return state_ != State::Idle && read_ >= end_ && read_ < readable_ &&
         queue_.Space() >= buffer_.size();
}

bool Playback::WantsReadLocked() const {
  return pace_ != Pace::TopUp || queue_.Size() < Bytes(reader_->LowWater());
}

Playback::Step Playback::NextStepLocked() const {
  size_t batch = buffer_.size();
  if (state_ == State::PlayingRange && read_ < end_)
    return !job_ && queue_.Space() >= std::min(batch, Bytes(end_ - read_)) && WantsReadLocked()
               ? Step::ReadRange
               : Step::Wait;
  if (state_ == State::PlayingRange) return Step::AwaitEnd;
  if (!job_ && CanReadAheadLocked() && WantsReadLocked()) return Step::ReadPastEnd;
  return Step::Wait;
}

// Hands the next batch to the reader's thread.
void Playback::StartReadLocked() {
  const bool speculative = read_ >= end_;
  const int32_t limit = speculative ? readable_ : end_;
  const int32_t batch =
      pace_ == Pace::First ? FirstBatch : std::min(reader_->PreferredBatch(), 2 * batch_);
  ReadJob job;
  job.from = read_;
  job.count =
      std::min({batch, limit - read_, static_cast<int32_t>(queue_.Space() / disc::SectorBytes)});
  job.cuts = cuts_;
  job.speculative = speculative;
  job_ = job;
  readerWake_.notify_one();
}

// The reader's thread: the disc is read here, with the lock released, so
// that a read that takes seconds (a scratch, the drive's own retries)
// never holds up the timing of a range's end.
void Playback::ReadUntilQuit() {
  MutexLock lock(mutex_);
  for (;;) {
    lock.Wait(readerWake_, [this]() REQUIRES(mutex_) { return closing_ || job_; });
    if (closing_) return;
    const ReadJob job = *job_;
    mutex_.Unlock();
    const bool ok = reader_->Read(job.from, job.count, buffer_.data());
    mutex_.Lock();
    FinishReadLocked(job, ok);
    job_.reset();
    reads_++;
    wake_.notify_all();
  }
}

void Playback::FinishReadLocked(const ReadJob& job, bool ok) {
  if (job.cuts != cuts_) return;  // the range changed while reading: the sectors are stale
  if (!ok && job.speculative) {
    readable_ = read_;  // nothing more to read ahead; the range itself is whole
    return;
  }
  if (!ok) {
    // A read the disc could not serve ends the play; a disc taken out
    // falls silent at once.
    slot_->Complete(request_, MCI_NOTIFY_FAILURE);
    state_ = State::Idle;
    if (reader_->DiscGone()) queue_.Clear();
    readable_ = end_ = read_;
    return;
  }
  queue_.Push(buffer_.data(), Bytes(job.count));
  read_ += job.count;
  batch_ = job.count;
  // A burst ends when the queue is full.
  pace_ = queue_.Space() >= buffer_.size() ? Pace::Burst : Pace::TopUp;
  // Read past a range's end, it may belong to the range played now: the
  // window's next one, asked for while it was read.
  if (job.from < end_) pcmUntold_ = true;
}

// The whole range has been read: it is complete once all but the
// hand-over of it has sounded, by what the output says it still holds.
void Playback::AwaitEndLocked(MutexLock& lock) {
  const uint64_t cuts = cuts_;
  const uint64_t request = request_;
  mutex_.Unlock();
  int64_t pending = OutputPending();
  mutex_.Lock();
  if (cuts != cuts_ || request != request_ || state_ != State::PlayingRange) return;
  int64_t left = static_cast<int64_t>(PlayableLocked()) + pending;
  if (left <= HandoverBytes) {
    slot_->Complete(request_, MCI_NOTIFY_SUCCESSFUL);
    state_ = State::HandedOver;
    return;
  }
  if (!job_ && CanReadAheadLocked() && WantsReadLocked()) {
    StartReadLocked();
    return;
  }
  const uint64_t reads = reads_;
  auto changed = [&]() REQUIRES(mutex_) {
    return closing_ || outputStale_ || pcmUntold_ || cuts != cuts_ || request != request_ ||
           reads != reads_;
  };
  lock.WaitUntil(
      wake_, Clock::now() + Duration(left - HandoverBytes) + std::chrono::milliseconds(1), changed);
}

void Playback::Run() {
  RunUntilQuit();
  MutexLock lock(outputMutex_);
  for (auto& output : sounding_) output->LeaveThread();
}

void Playback::RunUntilQuit() {
  MutexLock lock(mutex_);
  while (!closing_) {
    if (outputStale_) {
      ChooseLocked();
      continue;
    }
    if (pcmUntold_ && holds_ == 0) {
      pcmUntold_ = false;
      mutex_.Unlock();
      KickOutput();
      mutex_.Lock();
      continue;
    }
    switch (NextStepLocked()) {
      case Step::ReadRange:
      case Step::ReadPastEnd:
        StartReadLocked();
        break;
      case Step::AwaitEnd:
        AwaitEndLocked(lock);
        break;
      case Step::Wait:
        if (IdleLocked())
          CloseWhenIdleLocked(lock);
        else
          lock.Wait(wake_, [this]() REQUIRES(mutex_) {
            return closing_ || outputStale_ || (pcmUntold_ && holds_ == 0) ||
                   NextStepLocked() != Step::Wait || IdleLocked();
          });
        break;
    }
  }
}

// Nothing is handed over until the playing position is known.
void Playback::ChooseLocked() {
  outputStale_ = false;
  holds_++;
  const bool wanted = outputOpen_;
  size_t taking = taking_;
  mutex_.Unlock();
  int64_t unsounded = wanted ? ChooseOutput(&taking) : -1;
  mutex_.Lock();
  taking_ = taking;
  // What the output before held, or took ahead of the clock, has not
  // sounded: the new one starts where the sound is, not where the
  // reading is, though not before the range (the one before's tail
  // is lost with the output that held it).
  if (unsounded >= 0 && state_ == State::PlayingRange)
    ResumeAtLocked(std::max(SoundingLocked(unsounded), start_));
  holds_--;
  pcmUntold_ = true;
}

// Nothing more to hand over. Near the end of what it holds, the output is
// told that nothing follows, so that it plays all of it (PipeWire's server
// keeps back a last part shorter than its period until then; what the
// window asks for next is still taken on without a gap); then it is closed
// if nothing follows for a while, so an idle player costs no wake-ups.
void Playback::CloseWhenIdleLocked(MutexLock& lock) {
  const uint64_t request = request_;
  auto asked = [&]() REQUIRES(mutex_) { return AskedLocked(request); };
  if (!drained_ && !DrainNearEndLocked(lock, request)) return;
  // The linger starts once the last of the sound is out.
  mutex_.Unlock();
  auto until = Clock::now() + Duration(OutputPending()) + std::chrono::milliseconds(DrainMs);
  mutex_.Lock();
  if (!SoundOutLocked(lock, until, false, asked)) return;
  if (lock.WaitUntil(wake_, Clock::now() + std::chrono::milliseconds(LingerMs), asked)) return;
  outputOpen_ = false;
  taking_ = NoOutput;
  mutex_.Unlock();
  CloseOutput();
  mutex_.Lock();
}

bool Playback::AskedLocked(uint64_t request) const {
  return closing_ || outputStale_ || request_ != request;
}

bool Playback::DrainNearEndLocked(MutexLock& lock, uint64_t request) {
  auto asked = [&]() REQUIRES(mutex_) { return AskedLocked(request); };
  for (;;) {
    mutex_.Unlock();
    int64_t early = OutputPending() - DrainLeadBytes;
    mutex_.Lock();
    if (asked()) return false;
    if (early <= 0) break;
    if (lock.WaitUntil(wake_, Clock::now() + Duration(early), asked)) return false;
  }
  drained_ = true;
  mutex_.Unlock();
  DrainOutput();
  mutex_.Lock();
  return !asked();
}

template <typename Interrupted>
bool Playback::SoundOutLocked(MutexLock& lock, Clock::time_point until, bool queued,
                              Interrupted interrupted) {
  for (;;) {
    mutex_.Unlock();
    int64_t left = OutputPending();
    bool draining = OutputDraining();
    mutex_.Lock();
    if (interrupted()) return false;
    if (!outputOpen_) return true;
    if (queued) left += static_cast<int64_t>(PlayableLocked());
    auto now = Clock::now();
    if ((!draining && (!queued || left <= 0)) || now >= until) return true;
    auto poll = std::max<Clock::duration>(Duration(left), std::chrono::milliseconds(DrainPollMs));
    if (lock.WaitUntil(wake_, std::min(until, now + poll), interrupted)) return false;
  }
}

// The first output that is ready, in order, less those the environment
// passes over, else silence. One on its way is waited for when nothing
// sounds yet (no PCM is taken meanwhile, so none is lost); otherwise what
// runs runs on until it is ready, and the outputs after it are not tried
// (SDL would reach the same server through ALSA, and wait on it for
// ever). Nor are they while an output that went away in use looks for
// its way back: the server coming back would be reached twice, by SDL
// through ALSA's plug-in for it as well. Returns what the output
// replaced had not sounded, or -1 when the output stays; `taking` becomes
// the one chosen.
int64_t Playback::ChooseOutput(size_t* taking) {
  MutexLock lock(outputMutex_);
  Output* chosen = nullptr;
  bool gone = false;  // the output in use went away, and looks for its way back
  std::string whys;
  for (size_t kind = 0; kind < sounding_.size() && !chosen; kind++) {
    if (SoundingKinds[kind]->passedOver && SoundingKinds[kind]->passedOver()) continue;
    std::string why;
    Output::Readiness readiness = OpenLocked(sounding_[kind].get(), &why);
    if (readiness == Output::Readiness::Connecting) return -1;
    if (readiness == Output::Readiness::Ready) {
      chosen = sounding_[kind].get();
      *taking = kind;
      away_ = NoOutput;
      break;
    }
    if (output_ == sounding_[kind].get()) {
      gone = true;
      away_ = kind;
    }
    whys += (whys.empty() ? "" : "; ") + why;
    if (kind == away_) break;
  }
  if (!chosen) {
    if (output_ == silence_.get()) return -1;
    std::string never;  // silence is always to be had
    OpenLocked(silence_.get(), &never);
    chosen = silence_.get();
    *taking = Silence;
    TellSilent(whys);
  }
  if (chosen == output_) return -1;
  int64_t unsounded = output_ ? output_->Pending() : -1;
  if (output_ && !gone) output_->Close();
  output_ = chosen;
  return unsounded;
}

// Only the worker changes output_, so an output not in use can be opened
// with the lock let go.
Output::Readiness Playback::OpenLocked(Output* output, std::string* why) {
  if (output == output_) return output->Open(why);
  outputMutex_.Unlock();
  Output::Readiness readiness = output->Open(why);
  outputMutex_.Lock();
  return readiness;
}

void Playback::DrainOutput() {
  MutexLock lock(outputMutex_);
  if (output_) output_->Drain();
}

bool Playback::OutputDraining() {
  MutexLock lock(outputMutex_);
  return output_ && output_->Draining();
}

void Playback::KickOutput() {
  MutexLock lock(outputMutex_);
  if (output_) output_->Kick();
}

int64_t Playback::OutputPending() {
  MutexLock lock(outputMutex_);
  return output_ ? output_->Pending() : 0;
}

// Every output, so that none goes on looking for its server; the next
// play tries them all afresh.
void Playback::CloseOutput() {
  MutexLock lock(outputMutex_);
  for (auto& output : sounding_) output->Close();
  silence_->Close();
  output_ = nullptr;
  away_ = NoOutput;
}

}  // namespace cdaudio
