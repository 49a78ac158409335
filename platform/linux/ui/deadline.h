// Periodic timers run on a fixed grid of deadlines, so lateness in one
// period never shifts the next ones.
#ifndef KORVANE_PLATFORM_LINUX_UI_DEADLINE_H
#define KORVANE_PLATFORM_LINUX_UI_DEADLINE_H

#include <chrono>

namespace ui {

using Clock = std::chrono::steady_clock;

// The first deadline after `now` on the grid `last` + k * `period`, k >= 1:
// periods missed while the thread was busy are skipped, not delivered in a
// burst, as the platform coalesces its timer messages.
Clock::time_point NextDeadline(Clock::time_point last, Clock::duration period,
                               Clock::time_point now);

}  // namespace ui

#endif
