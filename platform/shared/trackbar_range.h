// SPDX-License-Identifier: GPL-3.0-or-later
// A trackbar's range and position, kept as the platform's trackbar keeps
// them; the Linux trackbar and the recording double both follow this one
// rule, so the tests see what the player sees.
//
// The position is clamped whenever the range or the position changes:
// - TBM_SETPOS raises the value to the minimum, then lowers it to the
//   maximum. On an inverted range (minimum above maximum) the maximum wins.
// - TBM_SETRANGEMIN pulls the position up to the new minimum, and no
//   further.
// - TBM_SETRANGEMAX pulls the position down to the new maximum, but never
//   below the minimum: on an inverted range it stops at the minimum.
// An inverted range is kept as given, not swapped. (TBM_SETRANGE, both
// bounds at once, would clamp as TBM_SETPOS does; nothing sends it.)
#ifndef KORVANE_PLATFORM_SHARED_TRACKBAR_RANGE_H
#define KORVANE_PLATFORM_SHARED_TRACKBAR_RANGE_H

#include "platform/platform.h"

namespace shared {

struct TrackbarRange {
  LONG rangeMin = 0;
  LONG rangeMax = 100;
  LONG pos = 0;

  void SetMin(LONG value) {
    rangeMin = value;
    if (pos < rangeMin) pos = rangeMin;
  }

  void SetMax(LONG value) {
    rangeMax = value;
    LONG rightmost = rangeMax > rangeMin ? rangeMax : rangeMin;
    if (pos > rightmost) pos = rightmost;
  }

  void SetPos(LONG value) {
    pos = value;
    if (pos < rangeMin) pos = rangeMin;
    if (pos > rangeMax) pos = rangeMax;
  }
};

}  // namespace shared

#endif
