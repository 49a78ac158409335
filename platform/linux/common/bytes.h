// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers stored in files byte by byte: little-endian in the platform's
// resources and WAVE headers, big-endian in Nero's chunks.
#ifndef KORVANE_PLATFORM_LINUX_COMMON_BYTES_H
#define KORVANE_PLATFORM_LINUX_COMMON_BYTES_H

#include <cstdint>

namespace common {

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// `count` bytes, high byte first.
inline uint64_t Big(const uint8_t* p, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; i++) value = value << 8 | p[i];
  return value;
}

}  // namespace common

#endif
