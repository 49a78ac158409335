// Window timers: WM_TIMER about once a period, on the GUI thread.
#ifndef KORVANE_PLATFORM_LINUX_UI_TIMERS_H
#define KORVANE_PLATFORM_LINUX_UI_TIMERS_H

#include "platform/platform.h"

namespace ui {

// A destroyed window's timers go with it.
void KillTimersOf(HWND window);

}  // namespace ui

#endif
