#include "platform/shared/trackbar_range.h"

namespace ui {

void TrackbarRange::SetMin(LONG value) {
  min_ = value;
  if (pos_ < min_) pos_ = min_;
}

void TrackbarRange::SetMax(LONG value) {
  max_ = value;
  LONG rightmost = max_ > min_ ? max_ : min_;
  if (pos_ > rightmost) pos_ = rightmost;
}

void TrackbarRange::SetPos(LONG value) {
  pos_ = value;
  if (pos_ < min_) pos_ = min_;
  if (pos_ > max_) pos_ = max_;
}

}  // namespace ui
