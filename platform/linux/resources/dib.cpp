// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding of uncompressed DIBs: 1, 4 and 8 bits per pixel through a
// palette; 16 and 32 bits as RGB or through bit masks; 24 bits as RGB; rows
// bottom-up or, with a negative height, top-down.
#include "platform/linux/resources/dib.h"

#include <cstdint>
#include <vector>

#include "platform/linux/resources/byte_reader.h"

namespace resources {

namespace {

constexpr uint32_t BiRgb = 0;
constexpr uint32_t BiBitfields = 3;
constexpr int64_t MaxSide = 32767;
constexpr int64_t MaxPixels = static_cast<int64_t>(1) << 26;
constexpr uint32_t Opaque = 0xFF000000u;

// One colour channel picked out by a mask and scaled to eight bits.
uint32_t Channel(uint32_t value, uint32_t mask) {
  if (mask == 0) return 0;
  uint32_t shift = 0;
  while (!(mask >> shift & 1)) shift++;
  uint32_t bits = 0;
  while (bits < 32 - shift && (mask >> (shift + bits) & 1)) bits++;
  const uint32_t v = (value & mask) >> shift;
  if (bits >= 8) return v >> (bits - 8);
  return v * 255 / ((1u << bits) - 1);
}

struct Header {
  int64_t width = 0, height = 0;
  int bitCount = 0;
  uint32_t compression = BiRgb;
  uint32_t colorsUsed = 0;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};  // 16-bit RGB is 5-5-5
  size_t paletteAt = 0;
  size_t paletteEntry = 4;  // bytes: RGBQUAD, or RGBTRIPLE in the old header
};

bool ReadHeader(std::string_view data, Header& h) {
  ByteReader r(data);
  const uint32_t size = r.U32();
  if (size == 12) {  // the old core header
    h.width = r.U16();
    h.height = r.U16();
    r.Skip(2);
    h.bitCount = r.U16();
    h.paletteAt = 12;
    h.paletteEntry = 3;
    return r.Ok();
  }
  if (size < 40) return false;
  h.width = r.I32();
  h.height = r.I32();
  r.Skip(2);  // planes
  h.bitCount = r.U16();
  h.compression = r.U32();
  r.Skip(12);  // image size, resolution
  h.colorsUsed = r.U32();
  r.Skip(4);
  h.paletteAt = size;
  if (h.compression == BiBitfields) {
    // The masks follow the basic header, inside the larger ones.
    for (uint32_t& mask : h.masks) mask = r.U32();
    if (size < 52) h.paletteAt = 52;
  }
  return r.Ok() && h.paletteAt <= data.size();
}

bool Supported(const Header& h) {
  switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
      return h.compression == BiRgb;
    case 16:
    case 32:
      return h.compression == BiRgb || h.compression == BiBitfields;
    default:
      return false;
  }
}

}  // namespace

std::optional<Dib> DecodeDib(std::string_view data, bool iconImage) {
  Header h;
  if (!ReadHeader(data, h) || !Supported(h)) return std::nullopt;
  bool topDown = h.height < 0;
  int64_t height = topDown ? -h.height : h.height;
  if (iconImage) {
    if (topDown) return std::nullopt;
    height /= 2;
  }
  const int64_t width = h.width;
  if (width < 1 || height < 1 || width > MaxSide || height > MaxSide || width * height > MaxPixels)
    return std::nullopt;

  // The palette: all the entries the depth allows unless fewer are named.
  ByteReader r(data, h.paletteAt);
  std::vector<uint32_t> palette;
  if (h.bitCount <= 8) {
    const uint32_t most = 1u << h.bitCount;
    const uint32_t count = h.colorsUsed ? h.colorsUsed : most;
    if (count > most) return std::nullopt;
    for (uint32_t i = 0; i < count && r.Ok(); i++) {
      std::string_view bgr = r.Bytes(h.paletteEntry);
      if (r.Ok())
        palette.push_back(Opaque | static_cast<uint32_t>(static_cast<uint8_t>(bgr[2])) << 16 |
                          static_cast<uint32_t>(static_cast<uint8_t>(bgr[1])) << 8 |
                          static_cast<uint8_t>(bgr[0]));
    }
  } else {
    r.Skip(static_cast<size_t>(h.colorsUsed) * h.paletteEntry);  // a hint for palette devices
  }

  const size_t stride = static_cast<size_t>((width * h.bitCount + 31) / 32 * 4);
  std::string_view rows = r.Bytes(stride * static_cast<size_t>(height));
  if (!r.Ok()) return std::nullopt;

  Dib dib;
  dib.bitCount = h.bitCount;
  dib.end = r.Pos();
  Image& image = dib.image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(static_cast<size_t>(width * height));
  for (int64_t row = 0; row < height; row++) {
    const auto* src =
        reinterpret_cast<const uint8_t*>(rows.data()) + static_cast<size_t>(row) * stride;
    const int64_t y = topDown ? row : height - 1 - row;
    uint32_t* out = &image.pixels[static_cast<size_t>(y * width)];
    for (int64_t x = 0; x < width; x++) {
      uint32_t colour = Opaque;
      if (h.bitCount <= 8) {
        const int64_t bit = x * h.bitCount;
        const unsigned index =
            (src[bit / 8] >> (8 - h.bitCount - bit % 8)) & ((1u << h.bitCount) - 1);
        if (index < palette.size()) colour = palette[index];  // else black
      } else if (h.bitCount == 24) {
        const uint8_t* p = src + x * 3;
        colour =
            Opaque | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
      } else if (h.bitCount == 32 && h.compression == BiRgb) {
        const uint8_t* p = src + x * 4;
        colour = static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
                 static_cast<uint32_t>(p[1]) << 8 | p[0];
      } else {
        const uint8_t* p = src + x * (h.bitCount / 8);
        uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
        if (h.bitCount == 32)
          v |= static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        colour = Opaque | Channel(v, h.masks[0]) << 16 | Channel(v, h.masks[1]) << 8 |
                 Channel(v, h.masks[2]);
      }
      out[x] = colour;
    }
  }
  return dib;
}

std::optional<Image> DecodeBitmap(std::string_view data) {
  auto dib = DecodeDib(data, false);
  if (!dib) return std::nullopt;
  for (uint32_t& p : dib->image.pixels) p |= Opaque;
  return std::move(dib->image);
}

std::optional<Image> LoadBitmap(std::string_view res, int id) {
  const auto data = Find(res, 2, id);
  if (!data) return std::nullopt;
  return DecodeBitmap(*data);
}

}  // namespace resources
