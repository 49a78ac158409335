// SPDX-License-Identifier: GPL-3.0-or-later
// Reading numbers from profile values the way Windows does.
#include "platform/linux/profile/profile_internal.h"

namespace profile {

uint32_t ParseProfileInt(const char* text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p && *p <= ' ') p++;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint32_t base = 10;
  if (p[0] == '0' && (p[1] == 'b' || p[1] == 'o' || p[1] == 'x')) {
    base = p[1] == 'b' ? 2 : p[1] == 'o' ? 8 : 16;
    p += 2;
  }
  uint32_t total = 0;
  for (;; p++) {
    uint32_t digit;
    if (*p >= '0' && *p <= '9') {
      digit = *p - '0';
    } else if (*p >= 'a' && *p <= 'z') {
      digit = *p - 'a' + 10;
    } else if (*p >= 'A' && *p <= 'Z') {
      digit = *p - 'A' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    total = total * base + digit;  // wraps, as the platform's does
  }
  return negative ? 0u - total : total;
}

}  // namespace profile
