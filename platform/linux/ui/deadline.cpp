#include "platform/linux/ui/deadline.h"

namespace ui {

Clock::time_point NextDeadline(Clock::time_point last, Clock::duration period,
                               Clock::time_point now) {
  Clock::time_point next = last + period;
  if (next > now) return next;
  auto missed = (now - next) / period + 1;
  return next + missed * period;
}

}  // namespace ui
