// A trackbar's range and position, kept as the platform keeps them: the
// position is clamped whenever the range or the position changes.
#ifndef KORVANE_PLATFORM_SHARED_TRACKBAR_RANGE_H
#define KORVANE_PLATFORM_SHARED_TRACKBAR_RANGE_H

#include "platform/platform.h"

namespace ui {

class TrackbarRange {
 public:
  LONG min() const { return min_; }
  LONG max() const { return max_; }
  LONG pos() const { return pos_; }

  // A new minimum pulls the position up to it.
  void SetMin(LONG value);
  // A new maximum pulls the position down to it, but not below the minimum.
  void SetMax(LONG value);
  // Clamped into [min, max]; the maximum wins when the range is inverted.
  void SetPos(LONG value);

 private:
  LONG min_ = 0;
  LONG max_ = 100;
  LONG pos_ = 0;
};

}  // namespace ui

#endif
