// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's sound server, through libpulse's threaded main loop.
//
// The connection is made when the device opens, off the window's thread,
// and kept, and so is a stream on it, corked while nothing plays: a play
// only uncorks it, with no wait for the server to make and link a stream
// (tens of milliseconds under PipeWire). A server that is slow to
// answer is waited for, as nothing is taken from the playback meanwhile;
// one that is not there, or does not answer at all within AnswerMs, is
// reported Down, and looked for again in the background while sound is
// wanted, so sound comes back by itself when the server does.
//
// The server holds about two seconds of PCM and asks for it in
// quarter-second refills, so the player sleeps between them; a stop or a
// new range flushes what the server holds instead of waiting for it to
// drain.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/linux/cdaudio/output.h"

namespace cdaudio {

class PulseOutput : public Output {
 public:
  // What the server buffers for us, and how low it lets that run before
  // asking for more.
  static constexpr uint32_t TargetBytes = 2 * BytesPerSecond;
  static constexpr uint32_t RefillBytes = BytesPerSecond / 4;
  // Playback starts once this much is in: the first read of a range.
  static constexpr uint32_t StartBytes = 4 * disc::SectorBytes;
  // How long a server that took the connection may take to make a stream
  // before the device plays on without it (it is stopped, or hung); it is
  // still waited for in the background.
  static constexpr int AnswerMs = 5000;
  // How soon a server that went away, or refused us, is tried again while
  // sound is wanted.
  static constexpr int RetryMs = 250;

  PulseOutput(Pull pull, Changed changed) : pull_(std::move(pull)), changed_(std::move(changed)) {}
  ~PulseOutput() override;

  void Prepare() override;
  Readiness Open(std::string* why) override;
  void Close() override;
  void Flush() override;
  void Drain() override;
  bool Draining() override;
  void Kick() override;
  int64_t Pending() override;

 private:
  bool StartLoop();
  // The rest run under the loop's lock, or on its thread.
  void ConnectLocked(bool afresh);
  void MakeStreamLocked();
  void DropStreamLocked();
  void ForgetDrainLocked();
  void FlushLocked();
  void DropContextLocked();
  void SetLocked(Readiness readiness, const std::string& why = "");
  void FailedLocked(const std::string& why);
  void ArmLocked(pa_time_event* event, int ms);
  void CorkLocked(bool cork);
  bool StreamReadyLocked() const;
  int64_t LatencyLocked();
  void FillLocked(size_t bytes);
  void WriteLocked(size_t bytes);

  static void OnContextState(pa_context* context, void* self);
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnWrite(pa_stream* stream, size_t bytes, void* self);
  static void OnRetry(pa_mainloop_api* api, pa_time_event* event, const struct timeval* at,
                      void* self);
  static void OnNoAnswer(pa_mainloop_api* api, pa_time_event* event, const struct timeval* at,
                         void* self);

  Pull pull_;
  Changed changed_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_mainloop_api* api_ = nullptr;
  pa_time_event* retry_ = nullptr;     // the next attempt
  pa_time_event* noAnswer_ = nullptr;  // the deadline of a first attempt
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  // The server's answer to a drain: it comes once the last of the stream
  // has played, which its reported latency does not cover (PipeWire
  // holds back a last part shorter than its period until asked to drain).
  // PipeWire's service stays draining until the stream first runs dry,
  // a flush or new PCM notwithstanding, and then skips a whole period
  // ahead of what it holds; so the answer is kept past a flush, and the
  // stream flushed again once it has come, before it takes new PCM.
  pa_operation* drain_ = nullptr;
  bool drainHeard_ = false;  // what the drain let go has not been flushed
  Readiness readiness_ = Readiness::Connecting;
  std::string why_;        // why it is Down
  bool wanted_ = false;    // between Open and Close
  bool retrying_ = false;  // retry_ is armed
  bool opening_ = false;   // inside Open, which answers for itself
  bool corked_ = false;    // the stream is, or is being, corked
  // Opened, but corked until the first of the range is written: a stream
  // uncorked empty is played from the next period of the server's graph
  // on, which under PipeWire is up to one period after the data comes.
  bool uncorkOnData_ = false;
  int64_t sinceFlush_ = 0;  // bytes written since the last flush
  // What the server held when it went away, and when: it is taken to
  // sound on in silence, so the device knows where the sound would be.
  int64_t lostPending_ = 0;
  std::chrono::steady_clock::time_point lostAt_;
};

namespace {

std::string Reason(pa_context* context) {
  return std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context));
}

}  // namespace

PulseOutput::~PulseOutput() {
  if (!loop_) return;
  pa_threaded_mainloop_lock(loop_);
  DropStreamLocked();
  DropContextLocked();
  api_->time_free(retry_);
  api_->time_free(noAnswer_);
  pa_threaded_mainloop_unlock(loop_);
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

bool PulseOutput::StartLoop() {
  if (loop_) return true;
  pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
  if (!loop) return false;
  api_ = pa_threaded_mainloop_get_api(loop);
  retry_ = api_->time_new(api_, nullptr, OnRetry, this);
  noAnswer_ = api_->time_new(api_, nullptr, OnNoAnswer, this);
  if (pa_threaded_mainloop_start(loop) < 0) {
    api_->time_free(retry_);
    api_->time_free(noAnswer_);
    pa_threaded_mainloop_free(loop);
    return false;
  }
  loop_ = loop;
  return true;
}

void PulseOutput::Prepare() {
  if (!StartLoop()) return;
  pa_threaded_mainloop_lock(loop_);
  if (!context_) ConnectLocked(true);
  pa_threaded_mainloop_unlock(loop_);
}

Output::Readiness PulseOutput::Open(std::string* why) {
  if (!StartLoop()) {
    *why = "PulseAudio: cannot start its main loop";
    return Readiness::Down;
  }
  pa_threaded_mainloop_lock(loop_);
  opening_ = true;
  wanted_ = true;
  pa_context_state_t state = context_ ? pa_context_get_state(context_) : PA_CONTEXT_FAILED;
  if (!PA_CONTEXT_IS_GOOD(state) && !retrying_) {
    // Lost while nothing was wanted: the server may be back by now.
    DropStreamLocked();
    DropContextLocked();
    ConnectLocked(true);
  } else if (state == PA_CONTEXT_READY &&
             (!stream_ || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)))) {
    // Lost while nothing was wanted: a new one is on its way.
    DropStreamLocked();
    ArmLocked(noAnswer_, AnswerMs);
    SetLocked(Readiness::Connecting);
    MakeStreamLocked();
  } else {
    // A stream drained to its end is flushed before it takes a new range:
    // PipeWire's service otherwise keeps it drained, and plays nothing of
    // what comes next though it takes it at the pace of playing it.
    if (drain_ && pa_operation_get_state(drain_) == PA_OPERATION_DONE) {
      FlushLocked();
      ForgetDrainLocked();
    }
    uncorkOnData_ = corked_;
  }
  opening_ = false;
  Readiness readiness = readiness_;
  if (readiness == Readiness::Down) *why = why_;
  pa_threaded_mainloop_unlock(loop_);
  return readiness;
}

void PulseOutput::Close() {
  if (!loop_) return;
  pa_threaded_mainloop_lock(loop_);
  wanted_ = false;
  uncorkOnData_ = false;
  // The connection and the stream stay for the next Open, the stream
  // corked and empty, so that the server's sink may sleep.
  FlushLocked();
  CorkLocked(true);
  pa_threaded_mainloop_unlock(loop_);
}

// Arms `event` to fire in `ms`, or disarms it when `ms` is negative.
void PulseOutput::ArmLocked(pa_time_event* event, int ms) {
  if (event == retry_) retrying_ = ms >= 0;
  if (ms < 0) {
    api_->time_restart(event, nullptr);
    return;
  }
  struct timeval at;
  pa_timeval_add(pa_gettimeofday(&at), static_cast<pa_usec_t>(ms) * 1000);
  api_->time_restart(event, &at);
}

void PulseOutput::CorkLocked(bool cork) {
  if (!StreamReadyLocked() || corked_ == cork) return;
  corked_ = cork;
  if (pa_operation* operation = pa_stream_cork(stream_, cork ? 1 : 0, nullptr, nullptr))
    pa_operation_unref(operation);
}

bool PulseOutput::StreamReadyLocked() const {
  return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY;
}

// Tells the playback when what Open would answer has changed.
void PulseOutput::SetLocked(Readiness readiness, const std::string& why) {
  if (readiness == Readiness::Down) why_ = why;
  if (readiness == readiness_) return;
  readiness_ = readiness;
  if (!opening_) changed_();
}

// A first attempt is Connecting, and given AnswerMs; a retry leaves the
// output Down until it succeeds.
void PulseOutput::ConnectLocked(bool afresh) {
  if (afresh) {
    SetLocked(Readiness::Connecting);
    ArmLocked(noAnswer_, AnswerMs);
  }
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Korvane");
  pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
  context_ = pa_context_new_with_proplist(api_, "Korvane", properties);
  pa_proplist_free(properties);
  if (!context_) {
    FailedLocked("PulseAudio: cannot make a context");
    return;
  }
  pa_context_set_state_callback(context_, OnContextState, this);
  // A server that is not running is not started for us: that is the
  // desktop's business.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
    FailedLocked(Reason(context_));
}

void PulseOutput::MakeStreamLocked() {
  pa_sample_spec spec = {PA_SAMPLE_S16LE, disc::SampleRate, 2};
  stream_ = pa_stream_new(context_, "CD audio", &spec, nullptr);
  if (!stream_) {
    FailedLocked(Reason(context_));
    return;
  }
  pa_stream_set_state_callback(stream_, OnStreamState, this);
  pa_stream_set_write_callback(stream_, OnWrite, this);
  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.tlength = TargetBytes;
  attributes.prebuf = StartBytes;
  attributes.minreq = RefillBytes;
  attributes.fragsize = static_cast<uint32_t>(-1);
  // Timing is interpolated between the server's reports, so asking how
  // much is still to sound costs no round trip.
  auto flags =
      static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
  corked_ = !wanted_;
  if (corked_) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
  sinceFlush_ = 0;
  lostPending_ = 0;
  if (pa_stream_connect_playback(stream_, nullptr, &attributes, flags, nullptr, nullptr) < 0)
    FailedLocked(Reason(context_));
}

void PulseOutput::DropStreamLocked() {
  ForgetDrainLocked();
  if (!stream_) return;
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_write_callback(stream_, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

void PulseOutput::DropContextLocked() {
  if (!context_) return;
  pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  context_ = nullptr;
}

// The server refused us, went away, or lost our stream: Down for `why`,
// and tried again shortly while sound is wanted. The context and stream
// go at the retry, not inside their own callbacks.
void PulseOutput::FailedLocked(const std::string& why) {
  ArmLocked(noAnswer_, -1);
  if (wanted_) ArmLocked(retry_, RetryMs);
  SetLocked(Readiness::Down, why);
}

void PulseOutput::OnRetry(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  output->ArmLocked(output->retry_, -1);
  if (!output->wanted_) return;
  output->DropStreamLocked();
  if (output->context_ && pa_context_get_state(output->context_) == PA_CONTEXT_READY) {
    output->MakeStreamLocked();
    return;
  }
  output->DropContextLocked();
  output->ConnectLocked(false);
}

void PulseOutput::OnNoAnswer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  output->ArmLocked(output->noAnswer_, -1);
  // The attempt goes on: a server that was only stopped answers later.
  if (output->readiness_ == Readiness::Connecting)
    output->SetLocked(Readiness::Down, "PulseAudio: the server does not answer");
}

void PulseOutput::OnContextState(pa_context* context, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  pa_context_state_t state = pa_context_get_state(context);
  if (state == PA_CONTEXT_READY) {
    if (!output->stream_) output->MakeStreamLocked();
  } else if (!PA_CONTEXT_IS_GOOD(state)) {
    // Called before the context's streams fail with it.
    bool playing = output->StreamReadyLocked();
    if (playing) {
      output->lostPending_ = output->LatencyLocked();
      output->lostAt_ = std::chrono::steady_clock::now();
    }
    output->FailedLocked(playing ? "PulseAudio: the server went away" : Reason(context));
  }
}

void PulseOutput::OnStreamState(pa_stream* stream, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  pa_stream_state_t state = pa_stream_get_state(stream);
  if (state == PA_STREAM_READY) {
    output->ArmLocked(output->noAnswer_, -1);
    output->CorkLocked(!output->wanted_);  // made for a play since closed
    output->SetLocked(Readiness::Ready);
  } else if (!PA_STREAM_IS_GOOD(state) &&
             PA_CONTEXT_IS_GOOD(pa_context_get_state(output->context_))) {
    // The context's failure says its own; this is the stream's alone (its
    // sink went, say).
    output->FailedLocked("PulseAudio: the stream was lost");
  }
}

void PulseOutput::OnWrite(pa_stream*, size_t bytes, void* self) {
  static_cast<PulseOutput*>(self)->FillLocked(bytes);
}

void PulseOutput::FillLocked(size_t bytes) {
  int64_t before = sinceFlush_;
  WriteLocked(bytes);
  if (uncorkOnData_ && sinceFlush_ > before) {
    uncorkOnData_ = false;
    CorkLocked(false);
  }
}

void PulseOutput::WriteLocked(size_t bytes) {
  bytes -= bytes % 4;  // whole sample frames only
  while (bytes > 0) {
    void* data = nullptr;
    size_t size = bytes;
    if (pa_stream_begin_write(stream_, &data, &size) < 0 || !data) return;
    size = std::min(size, bytes);
    size -= size % 4;
    size_t taken = pull_(static_cast<uint8_t*>(data), size);
    if (taken == 0) {
      pa_stream_cancel_write(stream_);
      return;
    }
    if (pa_stream_write(stream_, data, taken, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
    sinceFlush_ += static_cast<int64_t>(taken);
    bytes -= taken;
    if (taken < size) return;
  }
}

void PulseOutput::Flush() {
  if (!loop_) return;
  pa_threaded_mainloop_lock(loop_);
  FlushLocked();
  pa_threaded_mainloop_unlock(loop_);
}

void PulseOutput::FlushLocked() {
  drainHeard_ = false;
  if (StreamReadyLocked()) {
    if (pa_operation* flush = pa_stream_flush(stream_, nullptr, nullptr)) pa_operation_unref(flush);
    // The interpolated timing is stale until the server's next report.
    if (pa_operation* update = pa_stream_update_timing_info(stream_, nullptr, nullptr))
      pa_operation_unref(update);
  }
  sinceFlush_ = 0;
  lostPending_ = 0;
}

// PipeWire's server plays a last part shorter than its period only when
// the stream drains.
void PulseOutput::Drain() {
  if (!loop_) return;
  pa_threaded_mainloop_lock(loop_);
  if (StreamReadyLocked()) {
    ForgetDrainLocked();
    // A corked stream never drains.
    uncorkOnData_ = false;
    CorkLocked(false);
    drain_ = pa_stream_drain(stream_, nullptr, nullptr);
    drainHeard_ = drain_ != nullptr;
  }
  pa_threaded_mainloop_unlock(loop_);
}

bool PulseOutput::Draining() {
  if (!loop_) return false;
  pa_threaded_mainloop_lock(loop_);
  bool draining = drainHeard_ && drain_ && pa_operation_get_state(drain_) == PA_OPERATION_RUNNING;
  pa_threaded_mainloop_unlock(loop_);
  return draining;
}

void PulseOutput::ForgetDrainLocked() {
  if (!drain_) return;
  pa_operation_unref(drain_);
  drain_ = nullptr;
}

void PulseOutput::Kick() {
  if (!loop_) return;
  pa_threaded_mainloop_lock(loop_);
  if (StreamReadyLocked()) {
    size_t writable = pa_stream_writable_size(stream_);
    if (writable != static_cast<size_t>(-1)) FillLocked(writable);
  }
  pa_threaded_mainloop_unlock(loop_);
}

int64_t PulseOutput::Pending() {
  if (!loop_) return 0;
  pa_threaded_mainloop_lock(loop_);
  int64_t pending = 0;
  if (StreamReadyLocked()) {
    pending = LatencyLocked();
  } else if (lostPending_ > 0) {
    auto since = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - lostAt_);
    pending = std::max<int64_t>(lostPending_ - since.count() * BytesPerSecond / 1000000, 0);
  }
  pa_threaded_mainloop_unlock(loop_);
  return pending;
}

int64_t PulseOutput::LatencyLocked() {
  pa_usec_t latency = 0;
  int negative = 0;
  if (pa_stream_get_latency(stream_, &latency, &negative) == 0)
    return negative ? 0 : static_cast<int64_t>(latency) * BytesPerSecond / 1000000;
  return std::min<int64_t>(sinceFlush_, TargetBytes);  // no report since the flush
}

namespace {

// The sound server is passed over when SDL_AUDIODRIVER names a driver:
// that is the environment's choice.
bool SdlDriverAsked() {
  const char* asked = std::getenv("SDL_AUDIODRIVER");
  return asked && *asked;
}

std::unique_ptr<Output> MakePulse(Output::Pull pull, Output::Changed changed) {
  return std::unique_ptr<Output>(new PulseOutput(std::move(pull), std::move(changed)));
}

}  // namespace

const OutputKind PulseOutputKind = {SdlDriverAsked, MakePulse};

}  // namespace cdaudio
