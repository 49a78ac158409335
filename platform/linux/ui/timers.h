// SPDX-License-Identifier: GPL-3.0-or-later
// Window timers: WM_TIMER about once a period, on the GUI thread. Each
// timer runs on a fixed grid of absolute deadlines, so lateness in one
// period never shifts the next ones: WM_TIMER keeps its period on average
// however long a run lasts.
#ifndef KORVANE_PLATFORM_LINUX_UI_TIMERS_H
#define KORVANE_PLATFORM_LINUX_UI_TIMERS_H

#include <chrono>

#include "platform/platform.h"

namespace ui {

using Clock = std::chrono::steady_clock;

// The first deadline after `now` on the grid `last` + k * `period`, k >= 1:
// periods missed while the thread was busy are skipped, not delivered in a
// burst, as the platform coalesces its timer messages.
Clock::time_point NextDeadline(Clock::time_point last, Clock::duration period,
                               Clock::time_point now);

// A timer needs a live window (the system has no use for thread timers);
// the period is kept within the platform's bounds. Returns the timer's
// identifier, or 0 for a window that does not exist.
UINT_PTR StartTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure);
// False when the window has no such timer.
bool StopTimer(HWND window, UINT_PTR id);
// A destroyed window's timers go with it.
void KillTimersOf(HWND window);

}  // namespace ui

#endif
