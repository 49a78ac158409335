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

  const size_t stride = size_t((image.width + 31) / 32 * 4);
  ByteReader r(data, dib->end);
  std::string_view mask = r.bytes(stride * size_t(image.height));
  if (!r.ok()) return std::nullopt;
  for (int row = 0; row < image.height; row++) {
    const auto* bits = reinterpret_cast<const uint8_t*>(mask.data()) + size_t(row) * stride;
    uint32_t* out = &image.pixels[size_t(image.height - 1 - row) * size_t(image.width)];
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
  const uint16_t reserved = r.u16(), type = r.u16(), count = r.u16();
  if (!r.ok() || reserved != 0 || type != 1 || count == 0) return std::nullopt;

  int bestId = -1;
  int bestDiff = 0, bestSide = 0, bestBits = 0;
  for (int i = 0; i < count; i++) {
    const int width = r.u8(), height = r.u8();
    const int colours = r.u8();
    r.skip(1 + 2);  // reserved, planes
    int bits = r.u16();
    r.skip(4);  // bytes in the image
    const int id = r.u16();
    if (!r.ok()) return std::nullopt;
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
