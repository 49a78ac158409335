// The desktop's sound server, through libpulse's threaded main loop. The
// server holds about two seconds of PCM and asks for it in quarter-second
// refills, so the player sleeps between them; a stop or a new range
// flushes what the server holds instead of waiting for it to drain.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
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
  static constexpr uint32_t StartBytes = 4 * 2352;
  // The longest Open waits for a server that accepts the connection and
  // then does not answer (stopped, or hung).
  static constexpr int ConnectMs = 1000;

  PulseOutput(Pull pull, Lost lost) : pull_(std::move(pull)), lost_(std::move(lost)) {}
  ~PulseOutput() override { Close(); }

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

namespace {

bool Settled(pa_context_state_t state) {
  return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
}

bool Settled(pa_stream_state_t state) {
  return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
}

}  // namespace

bool PulseOutput::Open(std::string* why) {
  if (loop_ && !dead_) return true;
  Close();
  loop_ = pa_threaded_mainloop_new();
  if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) {
    *why = "PulseAudio: cannot start its main loop";
    Close();
    return false;
  }
  pa_threaded_mainloop_lock(loop_);
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  timedOut_ = false;
  struct timeval deadline;
  pa_timeval_add(pa_gettimeofday(&deadline), static_cast<pa_usec_t>(ConnectMs) * 1000);
  pa_time_event* timer = api->time_new(api, &deadline, OnTimeout, this);
  bool ready = ConnectLocked(why);
  api->time_free(timer);
  pa_threaded_mainloop_unlock(loop_);
  if (!ready) Close();
  return ready;
}

bool PulseOutput::ConnectLocked(std::string* why) {
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Korvane");
  pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
  context_ =
      pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Korvane", properties);
  pa_proplist_free(properties);
  if (!context_) {
    *why = "PulseAudio: cannot make a context";
    return false;
  }
  pa_context_set_state_callback(context_, OnContextState, this);
  // A server that is not running is not started for us: that is the
  // desktop's business, and we fall back instead.
  if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    *why = std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context_));
    return false;
  }
  while (!Settled(pa_context_get_state(context_)) && !timedOut_) pa_threaded_mainloop_wait(loop_);
  if (pa_context_get_state(context_) != PA_CONTEXT_READY) {
    *why = std::string("PulseAudio: ") +
           (timedOut_ ? "the server does not answer" : pa_strerror(pa_context_errno(context_)));
    return false;
  }

  pa_sample_spec spec = {PA_SAMPLE_S16LE, 44100, 2};
  stream_ = pa_stream_new(context_, "CD audio", &spec, nullptr);
  if (!stream_) {
    *why = std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context_));
    return false;
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
  if (pa_stream_connect_playback(stream_, nullptr, &attributes, flags, nullptr, nullptr) < 0) {
    *why = std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context_));
    return false;
  }
  while (!Settled(pa_stream_get_state(stream_)) && !timedOut_) pa_threaded_mainloop_wait(loop_);
  if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
    *why = std::string("PulseAudio: ") +
           (timedOut_ ? "the server does not answer" : pa_strerror(pa_context_errno(context_)));
    return false;
  }
  dead_ = false;
  sinceFlush_ = 0;
  return true;
}

void PulseOutput::Close() {
  if (!loop_) return;
  pa_threaded_mainloop_lock(loop_);
  if (stream_) {
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
  }
  if (context_) {
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
  }
  pa_threaded_mainloop_unlock(loop_);
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
  loop_ = nullptr;
  dead_ = false;
}

void PulseOutput::OnTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  output->timedOut_ = true;
  pa_threaded_mainloop_signal(output->loop_, 0);
}

void PulseOutput::OnContextState(pa_context* context, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) output->DeadLocked();
  pa_threaded_mainloop_signal(output->loop_, 0);
}

void PulseOutput::OnStreamState(pa_stream* stream, void* self) {
  auto* output = static_cast<PulseOutput*>(self);
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) output->DeadLocked();
  pa_threaded_mainloop_signal(output->loop_, 0);
}

// Only a stream that was playing can die; one still connecting just fails
// to open.
void PulseOutput::DeadLocked() {
  if (dead_ || !stream_ || pa_stream_get_state(stream_) == PA_STREAM_CREATING) return;
  dead_ = true;
  if (lost_) lost_();
}

void PulseOutput::OnWrite(pa_stream*, size_t bytes, void* self) {
  static_cast<PulseOutput*>(self)->FillLocked(bytes);
}

void PulseOutput::FillLocked(size_t bytes) {
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
  if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY) {
    if (pa_operation* flush = pa_stream_flush(stream_, nullptr, nullptr)) pa_operation_unref(flush);
    // The interpolated timing is stale until the server's next report.
    if (pa_operation* update = pa_stream_update_timing_info(stream_, nullptr, nullptr))
      pa_operation_unref(update);
  }
  sinceFlush_ = 0;
  pa_threaded_mainloop_unlock(loop_);
}

void PulseOutput::Kick() {
  if (!loop_) return;
  pa_threaded_mainloop_lock(loop_);
  if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY) {
    size_t writable = pa_stream_writable_size(stream_);
    if (writable != static_cast<size_t>(-1)) FillLocked(writable);
  }
  pa_threaded_mainloop_unlock(loop_);
}

int64_t PulseOutput::Pending() {
  if (!loop_) return 0;
  pa_threaded_mainloop_lock(loop_);
  int64_t pending = 0;
  if (stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY) {
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream_, &latency, &negative) == 0) {
      pending = negative ? 0 : static_cast<int64_t>(latency) * BytesPerSecond / 1000000;
    } else {
      pending = std::min<int64_t>(sinceFlush_, TargetBytes);  // no report since the flush
    }
  }
  pa_threaded_mainloop_unlock(loop_);
  return pending;
}

namespace {

// The sound server is passed over when SDL_AUDIODRIVER names a driver:
// that is the environment's choice.
bool SdlDriverAsked() {
  const char* asked = std::getenv("SDL_AUDIODRIVER");
  return asked && *asked;
}

std::unique_ptr<Output> MakePulse(Output::Pull pull, Output::Lost lost) {
  return std::unique_ptr<Output>(new PulseOutput(std::move(pull), std::move(lost)));
}

}  // namespace

const OutputKind PulseOutputKind = {SdlDriverAsked, MakePulse, "the sound server went away"};

}  // namespace cdaudio
