// SPDX-License-Identifier: GPL-3.0-or-later
// Icons: a group resource lists the images of one icon (size, colours,
// number of the image resource), and each image is a DIB of colours
// followed by a one-bit transparency mask.
#include <cstdint>
#include <cstdlib>

#include "platform/linux/resources/byte_reader.h"
#include "platform/linux/resources/dib.h"
#include "platform/linux/resources/resources.h"

namespace resources {

std::optional<Image> DecodeIcon(std::string_view data) {
  auto dib = DecodeDib(data, true);
  if (!dib) return std::nullopt;
  Image& image = dib->image;

  // Images of 32 bits carry their own alpha; older ones have only the mask.
  bool hasAlpha = false;
  if (dib->bitCount == 32)
    for (uint32_t p : image.pixels) hasAlpha = hasAlpha || (p >> 24) != 0;
  if (hasAlpha) return std::move(image);

  const size_t stride = static_cast<size_t>((image.width + 31) / 32 * 4);
  ByteReader r(data, dib->end);
  std::string_view mask = r.Bytes(stride * static_cast<size_t>(image.height));
  if (!r.Ok()) return std::nullopt;
  for (int row = 0; row < image.height; row++) {
    const auto* bits =
        reinterpret_cast<const uint8_t*>(mask.data()) + static_cast<size_t>(row) * stride;
    uint32_t* out = &image.pixels[static_cast<size_t>(image.height - 1 - row) *
                                  static_cast<size_t>(image.width)];
    for (int x = 0; x < image.width; x++)
      out[x] = (bits[x / 8] >> (7 - x % 8) & 1) ? 0 : out[x] | 0xFF000000u;
  }
  return std::move(image);
}

// The group's image closest to `size` x `size`: the smallest difference in
// size, then the larger image, then the deeper colours.
std::optional<Image> LoadIcon(std::string_view res, int groupId, int size) {
  const auto group = Find(res, 14, groupId);
  if (!group) return std::nullopt;
  ByteReader r(*group);
  const uint16_t reserved = r.U16(), type = r.U16(), count = r.U16();
  if (!r.Ok() || reserved != 0 || type != 1 || count == 0) return std::nullopt;

  int bestId = -1;
  int bestDiff = 0, bestSide = 0, bestBits = 0;
  for (int i = 0; i < count; i++) {
    const int width = r.U8(), height = r.U8();
    const int colours = r.U8();
    r.Skip(1 + 2);  // reserved, planes
    int bits = r.U16();
    r.Skip(4);  // bytes in the image
    const int id = r.U16();
    if (!r.Ok()) return std::nullopt;
    const int w = width ? width : 256, h = height ? height : 256;
    if (bits == 0) bits = colours == 2 ? 1 : colours == 16 ? 4 : 8;
    const int diff = std::abs(w - size) + std::abs(h - size);
    const bool better = bestId < 0 || diff < bestDiff ||
                        (diff == bestDiff && (w > bestSide || (w == bestSide && bits > bestBits)));
    if (better) {
      bestId = id;
      bestDiff = diff;
      bestSide = w;
      bestBits = bits;
    }
  }
  const auto image = Find(res, 3, bestId);
  if (!image) return std::nullopt;
  return DecodeIcon(*image);
}

}  // namespace resources
