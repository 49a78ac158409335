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
  static std::mutex mutex;
  static std::string told;
  std::lock_guard<std::mutex> lock(mutex);
  if (why == told) return;
  told = why;
  common::Warn("playing silently: %s", why.c_str());
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
    std::lock_guard<std::mutex> lock(mutex_);
    drain = !drained_;
    drained_ = true;
  }
  if (drain) DrainOutput();
  // A range already complete sounds out before the output closes: the
  // window took it as played. A cut range left nothing to wait for.
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(DrainMs);
  for (;;) {
    int64_t left = OutputPending();
    bool draining = OutputDraining();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      left += static_cast<int64_t>(PlayableLocked());
      if (!outputOpen_) left = 0, draining = false;
    }
    auto now = std::chrono::steady_clock::now();
    if ((left <= 0 && !draining) || now >= until) break;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        std::max<std::chrono::microseconds>(Duration(left), std::chrono::milliseconds(DrainPollMs)),
        until - now));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
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
    std::lock_guard<std::mutex> lock(mutex_);
    // The worker opens the output: the window never waits for a server.
    outputOpen_ = true;
    choose_ = true;
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
    fresh_ = true;
    filling_ = true;
    kick_ = true;  // what was read ahead may be playable now
    state_ = State::PlayingRange;
    flushing_ = cut;
  }
  if (cut) FlushOutput();
  wake_.notify_all();
  return 0;
}

void Playback::Stop() {
  bool cut = false;
  int64_t pending = OutputPending();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot_->CompleteAny(MCI_NOTIFY_ABORTED);
    if (state_ == State::PlayingRange) {
      // The position stays where the sound stopped.
      CutLocked(SoundingLocked(pending));
      cut = flushing_ = drained_ = true;
    }
    state_ = State::Idle;
  }
  if (cut) FlushOutput();
  wake_.notify_all();
}

bool Playback::Playing() {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_ == State::PlayingRange;
}

int32_t Playback::Position() {
  int64_t pending = OutputPending();
  std::lock_guard<std::mutex> lock(mutex_);
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
  fresh_ = true;
  filling_ = true;
}

void Playback::FlushOutput() {
  {
    std::lock_guard<std::mutex> lock(outputMutex_);
    if (output_) output_->Flush();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  flushing_ = false;
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
    std::lock_guard<std::mutex> lock(mutex_);
    // Only the output chosen takes PCM: a server that has just made its
    // stream asks for it before it is chosen.
    if (output == taking_ && !flushing_ && !choosing_)
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
    std::lock_guard<std::mutex> lock(mutex_);
    choose_ = true;
  }
  wake_.notify_all();
}

bool Playback::CanReadAheadLocked() const {
  return state_ != State::Idle && read_ >= end_ && read_ < readable_ &&
         queue_.Space() >= buffer_.size();
}

bool Playback::WantsReadLocked() const {
  return filling_ || fresh_ || queue_.Size() < Bytes(reader_->LowWater());
}

Playback::Step Playback::NextStepLocked() const {
  size_t batch = buffer_.size();
  if (state_ == State::PlayingRange && read_ < end_)
    return !reading_ && queue_.Space() >= std::min(batch, Bytes(end_ - read_)) && WantsReadLocked()
               ? Step::ReadRange
               : Step::Wait;
  if (state_ == State::PlayingRange) return Step::AwaitEnd;
  if (!reading_ && CanReadAheadLocked() && WantsReadLocked()) return Step::ReadPastEnd;
  return Step::Wait;
}

// Hands the next batch to the reader's thread.
void Playback::StartReadLocked() {
  const bool speculative = read_ >= end_;
  const int32_t limit = speculative ? readable_ : end_;
  const int32_t batch = fresh_ ? FirstBatch : std::min(reader_->PreferredBatch(), 2 * batch_);
  job_.from = read_;
  job_.count =
      std::min({batch, limit - read_, static_cast<int32_t>(queue_.Space() / disc::SectorBytes)});
  job_.cuts = cuts_;
  job_.speculative = speculative;
  reading_ = true;
  readerWake_.notify_one();
}

// The reader's thread: the disc is read here, with the lock released, so
// that a read that takes seconds (a scratch, the drive's own retries)
// never holds up the timing of a range's end.
void Playback::ReadUntilQuit() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    readerWake_.wait(lock, [this] { return quit_ || reading_; });
    if (quit_) return;
    const ReadJob job = job_;
    lock.unlock();
    const bool ok = reader_->Read(job.from, job.count, buffer_.data());
    lock.lock();
    FinishReadLocked(job, ok);
    reading_ = false;
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
  fresh_ = false;
  batch_ = job.count;
  filling_ = queue_.Space() >= buffer_.size();  // a burst ends when the queue is full
  // Read past a range's end, it may belong to the range played now: the
  // window's next one, asked for while it was read.
  if (job.from < end_) kick_ = true;
}

// The whole range has been read: it is complete once all but the
// hand-over of it has sounded, by what the output says it still holds.
void Playback::AwaitEndLocked(std::unique_lock<std::mutex>& lock) {
  uint64_t cuts = cuts_, request = request_;
  lock.unlock();
  int64_t pending = OutputPending();
  lock.lock();
  if (cuts != cuts_ || request != request_ || state_ != State::PlayingRange) return;
  int64_t left = static_cast<int64_t>(PlayableLocked()) + pending;
  if (left <= HandoverBytes) {
    slot_->Complete(request_, MCI_NOTIFY_SUCCESSFUL);
    state_ = State::HandedOver;
    return;
  }
  if (!reading_ && CanReadAheadLocked() && WantsReadLocked()) {
    StartReadLocked();
    return;
  }
  const uint64_t reads = reads_;
  auto changed = [&] {
    return quit_ || choose_ || kick_ || cuts != cuts_ || request != request_ || reads != reads_;
  };
  wake_.wait_for(lock, Duration(left - HandoverBytes) + std::chrono::milliseconds(1), changed);
}

void Playback::Run() {
  RunUntilQuit();
  std::lock_guard<std::mutex> lock(outputMutex_);
  for (auto& output : sounding_) output->LeaveThread();
}

void Playback::RunUntilQuit() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!quit_) {
    if (choose_) {
      choose_ = false;
      choosing_ = true;  // nothing is handed over until the playing position is known
      bool wanted = outputOpen_;
      size_t taking = taking_;
      lock.unlock();
      int64_t unsounded = wanted ? ChooseOutput(&taking) : -1;
      lock.lock();
      taking_ = taking;
      // What the output before held, or took ahead of the clock, has not
      // sounded: the new one starts where the sound is, not where the
      // reading is, though not before the range (the one before's tail
      // is lost with the output that held it).
      if (unsounded >= 0 && state_ == State::PlayingRange)
        ResumeAtLocked(std::max(SoundingLocked(unsounded), start_));
      choosing_ = false;
      kick_ = true;
      continue;
    }
    if (kick_ && !flushing_) {
      kick_ = false;
      lock.unlock();
      KickOutput();
      lock.lock();
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
          wake_.wait(lock, [this] {
            return quit_ || choose_ || (kick_ && !flushing_) || NextStepLocked() != Step::Wait ||
                   IdleLocked();
          });
        break;
    }
  }
}

// Nothing more to hand over. Near the end of what it holds, the output is
// told that nothing follows, so that it plays all of it (PipeWire's server
// keeps back a last part shorter than its period until then; what the
// window asks for next is still taken on without a gap); then it is closed
// if nothing follows for a while, so an idle player costs no wake-ups.
void Playback::CloseWhenIdleLocked(std::unique_lock<std::mutex>& lock) {
  uint64_t request = request_;
  auto asked = [&] { return quit_ || choose_ || request_ != request; };
  if (!drained_) {
    for (;;) {
      lock.unlock();
      int64_t early = OutputPending() - DrainLeadBytes;
      lock.lock();
      if (asked()) return;
      if (early <= 0) break;
      if (wake_.wait_for(lock, Duration(early), asked)) return;
    }
    drained_ = true;
    lock.unlock();
    DrainOutput();
    lock.lock();
    if (asked()) return;
  }
  // The linger starts once the last of the sound is out.
  lock.unlock();
  auto until = std::chrono::steady_clock::now() + Duration(OutputPending()) +
               std::chrono::milliseconds(DrainMs);
  lock.lock();
  for (;;) {
    lock.unlock();
    int64_t pending = OutputPending();
    bool draining = OutputDraining();
    lock.lock();
    if (!draining || std::chrono::steady_clock::now() >= until) break;
    auto poll = std::max<std::chrono::microseconds>(Duration(pending),
                                                    std::chrono::milliseconds(DrainPollMs));
    if (wake_.wait_for(lock, poll, asked)) return;
  }
  if (wake_.wait_for(lock, std::chrono::milliseconds(LingerMs), asked)) return;
  outputOpen_ = false;
  taking_ = NoOutput;
  lock.unlock();
  CloseOutput();
  lock.lock();
}

// The first output that is ready, in order, less those the environment
// passes over, else silence. One on its way is waited for when nothing
// sounds yet (no PCM is taken meanwhile, so none is lost); otherwise what
// runs runs on until it is ready, and the outputs after it are not tried
// (SDL would reach the same server through ALSA, and wait on it for
// ever). Returns what the output replaced had not sounded, or -1 when the
// output stays; `taking` becomes the one chosen.
//
// Only this thread changes output_. An output other than the one in use
// is opened without outputMutex_, which the window's thread takes to ask
// where the sound is: opening a sound card can block for a long while.
int64_t Playback::ChooseOutput(size_t* taking) {
  std::unique_lock<std::mutex> lock(outputMutex_);
  Output* chosen = nullptr;
  bool gone = false;  // the output in use went away, and looks for its way back
  std::string whys;
  auto open = [&](Output* output, std::string* why) {
    if (output == output_) return output->Open(why);
    lock.unlock();
    Output::Readiness readiness = output->Open(why);
    lock.lock();
    return readiness;
  };
  for (size_t kind = 0; kind < sounding_.size() && !chosen; kind++) {
    if (SoundingKinds[kind]->passedOver && SoundingKinds[kind]->passedOver()) continue;
    std::string why;
    switch (open(sounding_[kind].get(), &why)) {
      case Output::Readiness::Ready:
        chosen = sounding_[kind].get();
        *taking = kind;
        break;
      case Output::Readiness::Connecting:
        return -1;
      case Output::Readiness::Down:
        gone = gone || output_ == sounding_[kind].get();
        whys += (whys.empty() ? "" : "; ") + why;
        break;
    }
  }
  if (!chosen) {
    if (output_ == silence_.get()) return -1;
    std::string never;  // silence is always to be had
    open(silence_.get(), &never);
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

void Playback::DrainOutput() {
  std::lock_guard<std::mutex> lock(outputMutex_);
  if (output_) output_->Drain();
}

bool Playback::OutputDraining() {
  std::lock_guard<std::mutex> lock(outputMutex_);
  return output_ && output_->Draining();
}

void Playback::KickOutput() {
  std::lock_guard<std::mutex> lock(outputMutex_);
  if (output_) output_->Kick();
}

int64_t Playback::OutputPending() {
  std::lock_guard<std::mutex> lock(outputMutex_);
  return output_ ? output_->Pending() : 0;
}

// Every output, so that none goes on looking for its server.
void Playback::CloseOutput() {
  std::lock_guard<std::mutex> lock(outputMutex_);
  for (auto& output : sounding_) output->Close();
  silence_->Close();
  output_ = nullptr;
}

}  // namespace cdaudio
