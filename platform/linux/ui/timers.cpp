// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/timers.h"

#include <FL/Fl.H>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>

#include "platform/linux/ui/message_loop.h"
#include "platform/linux/ui/window_record.h"

namespace ui {
namespace {

// The platform's bounds on a period.
constexpr UINT MinimumPeriod = 10;
constexpr UINT MaximumPeriod = 0x7FFFFFFF;

struct Timer {
  HWND window;
  UINT_PTR id;
  TIMERPROC procedure;
  Clock::duration period;
  Clock::time_point deadline;
};

// Keyed by a serial number that FLTK carries as the timeout's data, so an
// expiry of a timer killed meanwhile finds nothing.
std::map<uintptr_t, Timer>& Timers() {
  static std::map<uintptr_t, Timer> timers;
  return timers;
}
uintptr_t nextSerial = 1;

void OnExpiry(void* data);

void Schedule(uintptr_t serial, Clock::time_point deadline) {
  double seconds = std::chrono::duration<double>(deadline - Clock::now()).count();
  Fl::add_timeout(seconds > 0 ? seconds : 0, OnExpiry, reinterpret_cast<void*>(serial));
}

void Remove(std::map<uintptr_t, Timer>::iterator it) {
  Fl::remove_timeout(OnExpiry, reinterpret_cast<void*>(it->first));
  Timers().erase(it);
}

std::map<uintptr_t, Timer>::iterator Find(HWND window, UINT_PTR id) {
  auto& timers = Timers();
  for (auto it = timers.begin(); it != timers.end(); ++it)
    if (it->second.window == window && it->second.id == id) return it;
  return timers.end();
}

// The next expiry is scheduled before the message is handled, so the timer
// keeps running through a modal loop entered by its handler, and a handler
// that kills the timer removes it for good.
void OnExpiry(void* data) {
  uintptr_t serial = reinterpret_cast<uintptr_t>(data);
  auto it = Timers().find(serial);
  if (it == Timers().end()) return;
  Timer& timer = it->second;
  timer.deadline = NextDeadline(timer.deadline, timer.period, Clock::now());
  Schedule(serial, timer.deadline);
  Timer expired = timer;
  if (expired.procedure) {
    if (FromHandle(expired.window)) {
      auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
      expired.procedure(expired.window, WM_TIMER, expired.id, static_cast<DWORD>(ms.count()));
    }
  } else {
    DeliverTo(expired.window, WM_TIMER, expired.id, 0);
  }
}

}  // namespace

// Setting a timer that exists restarts it with the new period.
UINT_PTR StartTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  if (!FromHandle(window)) return 0;
  auto existing = Find(window, id);
  if (existing != Timers().end()) Remove(existing);
  elapse = std::clamp(elapse, MinimumPeriod, MaximumPeriod);
  Timer timer;
  timer.window = window;
  timer.id = id;
  timer.procedure = procedure;
  timer.period = std::chrono::milliseconds(elapse);
  timer.deadline = Clock::now() + timer.period;
  uintptr_t serial = nextSerial++;
  Timers().emplace(serial, timer);
  Schedule(serial, timer.deadline);
  return id ? id : 1;
}

bool StopTimer(HWND window, UINT_PTR id) {
  auto it = Find(window, id);
  if (it == Timers().end()) return false;
  Remove(it);
  return true;
}

void KillTimersOf(HWND window) {
  auto& timers = Timers();
  for (auto it = timers.begin(); it != timers.end();) {
    auto next = std::next(it);
    if (it->second.window == window) Remove(it);
    it = next;
  }
}

Clock::time_point NextDeadline(Clock::time_point last, Clock::duration period,
                               Clock::time_point now) {
  Clock::time_point next = last + period;
  if (next > now) return next;
  auto missed = (now - next) / period + 1;
  return next + missed * period;
}

}  // namespace ui

extern "C" {

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
  return ui::StartTimer(window, id, elapse, procedure);
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) { return ui::StopTimer(window, id) ? TRUE : FALSE; }

}  // extern "C"
