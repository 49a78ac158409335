// Window timers: WM_TIMER about once a period, on the GUI thread.
#ifndef KORVANE_PLATFORM_LINUX_UI_TIMERS_H
#define KORVANE_PLATFORM_LINUX_UI_TIMERS_H

#include "platform/platform.h"

namespace ui {

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
