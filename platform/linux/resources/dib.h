// SPDX-License-Identifier: GPL-3.0-or-later
// Device-independent bitmaps as the resources store them: an information
// header, a palette and the pixel rows, without a file header.
#ifndef KORVANE_PLATFORM_LINUX_RESOURCES_DIB_H
#define KORVANE_PLATFORM_LINUX_RESOURCES_DIB_H

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/linux/resources/resources.h"

namespace resources {

struct Dib {
  Image image;  // alpha 0xFF, or the stored fourth byte of 32-bit pixels
  int bitCount = 0;
  size_t end = 0;  // where the colour rows end in the data
};

// Decodes the colour part of a DIB. An icon image counts its mask's rows in
// the header's height; `iconImage` says so, and the image gets half of it.
std::optional<Dib> DecodeDib(std::string_view data, bool iconImage);

}  // namespace resources

#endif
