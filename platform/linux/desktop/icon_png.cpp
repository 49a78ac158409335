// SPDX-License-Identifier: GPL-3.0-or-later
// icon_png: writes one image of the program's icon as a PNG, for the
// desktop's icon theme. The image is the one the resource script names,
// read from the compiled resources built into this tool, pixel for pixel:
// an icon without an image of that size is an error, never a rescale.
//
//   icon_png SIZE OUT.png
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/linux/resources/resources.h"
#include "window/resource.h"

namespace {

void PutBig32(std::string* out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(value >> shift));
}

void PutChunk(std::string* out, const char* type, const std::string& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out->append(body);
  PutBig32(out, static_cast<uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

// An 8-bit RGBA PNG of the image; empty when compression fails.
std::string EncodePng(const resources::Image& image) {
  std::string rows;
  rows.reserve(static_cast<size_t>(image.height) * (1 + 4 * static_cast<size_t>(image.width)));
  for (int y = 0; y < image.height; y++) {
    rows.push_back(0);  // no filter
    for (int x = 0; x < image.width; x++) {
      const uint32_t pixel = image.At(x, y);
      for (int shift : {16, 8, 0, 24}) rows.push_back(static_cast<char>(pixel >> shift));
    }
  }
  uLongf packedSize = compressBound(rows.size());
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(rows.data()), rows.size(), 9) != Z_OK)
    return {};
  packed.resize(packedSize);

  std::string header;
  PutBig32(&header, static_cast<uint32_t>(image.width));
  PutBig32(&header, static_cast<uint32_t>(image.height));
  header +=
      std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace
  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", packed);
  PutChunk(&png, "IEND", {});
  return png;
}

// Writes beside the target and renames, so that a failed run leaves any
// earlier file whole.
bool WriteFile(const std::string& path, const std::string& data) {
  const std::string temporary = path + ".part";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: icon_png SIZE OUT.png\n");
    return 2;
  }
  char* end = nullptr;
  const long size = std::strtol(argv[1], &end, 10);
  if (*end != '\0' || size < 1 || size > 256) {
    std::fprintf(stderr, "icon_png: '%s' is not an icon size\n", argv[1]);
    return 2;
  }
  const auto image = resources::LoadIcon(resources::EmbeddedRes(), IDI_APP, static_cast<int>(size));
  if (!image) {
    std::fprintf(stderr, "icon_png: the program's icon cannot be read\n");
    return 1;
  }
  if (image->width != size || image->height != size) {
    std::fprintf(stderr, "icon_png: the icon has no %ldx%ld image (nearest is %dx%d)\n", size, size,
                 image->width, image->height);
    return 1;
  }
  const std::string png = EncodePng(*image);
  if (png.empty() || !WriteFile(argv[2], png)) {
    std::fprintf(stderr, "icon_png: cannot write %s: %s\n", argv[2], std::strerror(errno));
    return 1;
  }
  return 0;
}
