#include "platform/linux/ui/dialog_units.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace ui {

BaseUnits BaseUnitsFromMetrics(int latinWidth, int height) {
  BaseUnits units;
  units.x = (latinWidth / 26 + 1) / 2;
  units.y = height;
  return units;
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  int64_t product = int64_t(number) * numerator;
  int64_t divisor = std::llabs(denominator);
  int64_t magnitude = (std::llabs(product) + divisor / 2) / divisor;
  bool negative = (product < 0) != (denominator < 0);
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT_MAX || result < INT_MIN) return -1;
  return int(result);
}

PixelRect ToPixels(BaseUnits units, int x, int y, int cx, int cy) {
  PixelRect rect;
  rect.x = MulDiv(x, units.x, 4);
  rect.y = MulDiv(y, units.y, 8);
  rect.w = MulDiv(cx, units.x, 4);
  rect.h = MulDiv(cy, units.y, 8);
  return rect;
}

int PointsToPixels(int points) { return MulDiv(points, 96, 72); }

}  // namespace ui
