#include "platform/linux/cdaudio/playback.h"

#include <string.h>

#include <algorithm>
#include <chrono>

namespace cdaudio {

namespace {

// The first read of a range is short, so the first sample is not kept
// waiting for a long one; each next one is at most twice as long as the
// one before, so it is read before what is queued has sounded.
constexpr int32_t FirstBatch = 4;

size_t Bytes(int32_t sectors) {
  return static_cast<size_t>(std::max<int32_t>(sectors, 0)) * disc::SectorBytes;
}

}  // namespace

Playback::Playback(disc::SectorReader* reader, NotifySlot* slot)
    : reader_(reader),
      slot_(slot),
      output_([this](uint8_t* out, int bytes) { Pull(out, bytes); }),
      queue_(Bytes(reader->ReadAhead()) + static_cast<size_t>(HandoverBytes)),
      buffer_(Bytes(reader->PreferredBatch())) {
  worker_ = std::thread(&Playback::Run, this);
}

Playback::~Playback() {
  Stop();
  {
    // A range already complete sounds out before the output closes: the
    // window took it as played. A cut range left nothing to wait for.
    std::unique_lock<std::mutex> lock(mutex_);
    if (outputOpen_)
      wake_.wait_for(lock, std::chrono::milliseconds(DrainMs),
                     [this] { return PlayableLocked() == 0; });
    quit_ = true;
  }
  wake_.notify_all();
  worker_.join();
  output_.Close();
}

MCIERROR Playback::Play(int32_t start, int32_t end, int32_t readable, bool notify, HWND window,
                        MCIDEVICEID device) {
  // Never with mutex_ held: SDL holds its own lock while it pulls.
  if (!output_.Open()) return MCIERR_HARDWARE;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    outputOpen_ = true;
    request_++;
    if (notify)
      slot_->Arm(window, device, request_, MCI_NOTIFY_SUPERSEDED);
    else
      slot_->CompleteAny(MCI_NOTIFY_ABORTED);
    if (state_ == State::PlayingRange) {
      CutLocked(start);  // a play cut short falls silent at once
    } else if (start != end_) {
      // Whatever is still sounding plays out; what was read ahead is not
      // what comes next.
      queue_.DropBack(SpeculativeLocked());
      read_ = start;
      cuts_++;
    }
    end_ = end;
    readable_ = std::max(readable, end);
    fresh_ = true;
    filling_ = true;
    state_ = State::PlayingRange;
  }
  wake_.notify_all();
  return 0;
}

void Playback::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot_->CompleteAny(MCI_NOTIFY_ABORTED);
    if (state_ == State::PlayingRange) CutLocked(end_);
    state_ = State::Idle;
  }
  wake_.notify_all();
}

bool Playback::Playing() {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_ == State::PlayingRange;
}

void Playback::CutLocked(int32_t position) {
  queue_.Clear();
  read_ = position;
  end_ = position;
  cuts_++;
}

size_t Playback::SpeculativeLocked() const { return Bytes(read_ - end_); }

size_t Playback::PlayableLocked() const {
  return queue_.size() - std::min(queue_.size(), SpeculativeLocked());
}

void Playback::Pull(uint8_t* out, int bytes) {
  size_t taken;
  bool wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    taken = queue_.Pop(out, std::min(static_cast<size_t>(bytes), PlayableLocked()));
    // The worker sleeps until there is work, and once more when the
    // output has just run dry.
    wake = NextStepLocked() != Step::Wait || (taken > 0 && PlayableLocked() == 0);
  }
  memset(out + taken, 0, static_cast<size_t>(bytes) - taken);
  if (wake) wake_.notify_all();
}

bool Playback::WantsReadLocked() const {
  return filling_ || fresh_ || queue_.size() < Bytes(reader_->LowWater());
}

Playback::Step Playback::NextStepLocked() const {
  size_t batch = buffer_.size();
  if (state_ == State::PlayingRange && read_ < end_)
    return queue_.space() >= std::min(batch, Bytes(end_ - read_)) && WantsReadLocked()
               ? Step::ReadRange
               : Step::Wait;
  if (state_ == State::PlayingRange && PlayableLocked() <= static_cast<size_t>(HandoverBytes))
    return Step::HandOver;
  if (state_ != State::Idle && read_ < readable_ && queue_.space() >= batch && WantsReadLocked())
    return Step::ReadPastEnd;
  return Step::Wait;
}

// Reads the next batch with the lock released; false when the disc failed.
bool Playback::ReadLocked(std::unique_lock<std::mutex>& lock) {
  bool speculative = read_ >= end_;
  int32_t limit = speculative ? readable_ : end_;
  int32_t batch = fresh_ ? FirstBatch : std::min(reader_->PreferredBatch(), 2 * batch_);
  int32_t count =
      std::min({batch, limit - read_, static_cast<int32_t>(queue_.space() / disc::SectorBytes)});
  int32_t from = read_;
  uint64_t cuts = cuts_;
  lock.unlock();
  bool ok = reader_->Read(from, count, buffer_.data());
  lock.lock();
  if (cuts != cuts_) return true;  // the range changed while reading: the sectors are stale
  if (!ok) {
    if (speculative) {
      readable_ = read_;  // nothing more to read ahead; the range itself is whole
      return true;
    }
    return false;
  }
  queue_.Push(buffer_.data(), Bytes(count));
  read_ += count;
  fresh_ = false;
  batch_ = count;
  filling_ = queue_.space() >= buffer_.size();  // a burst ends when the queue is full
  return true;
}

void Playback::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!quit_) {
    switch (NextStepLocked()) {
      case Step::ReadRange:
        if (!ReadLocked(lock)) {
          // A read the disc could not serve ends the play; a disc taken
          // out falls silent at once.
          slot_->Complete(request_, MCI_NOTIFY_FAILURE);
          state_ = State::Idle;
          if (reader_->DiscGone()) queue_.Clear();
          readable_ = end_ = read_;
        }
        break;
      case Step::HandOver:
        slot_->Complete(request_, MCI_NOTIFY_SUCCESSFUL);
        state_ = State::HandedOver;
        break;
      case Step::ReadPastEnd:
        ReadLocked(lock);
        break;
      case Step::Wait:
        if (state_ != State::PlayingRange && PlayableLocked() == 0 && outputOpen_)
          CloseWhenIdleLocked(lock);
        else
          wake_.wait(lock);
        break;
    }
  }
}

// The output has run dry: close it if nothing follows for a while, so an
// idle player costs no wake-ups.
void Playback::CloseWhenIdleLocked(std::unique_lock<std::mutex>& lock) {
  uint64_t request = request_;
  auto asked = [&] { return quit_ || request_ != request; };
  if (wake_.wait_for(lock, std::chrono::milliseconds(LingerMs), asked)) return;
  outputOpen_ = false;
  lock.unlock();
  output_.Close();
  lock.lock();
  // A PLAY that came while closing may have found the output still open.
  if (!quit_ && request_ != request) {
    lock.unlock();
    bool open = output_.Open();
    lock.lock();
    outputOpen_ = open;
  }
}
}  // namespace cdaudio
