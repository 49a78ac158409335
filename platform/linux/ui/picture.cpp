// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/picture.h"

#include <mutex>
#include <unordered_map>

#include "platform/linux/ui/display.h"

namespace ui {
namespace {

// The dialog face, the shadow and the highlight of the classic 3-D look.
constexpr uint32_t Face = 0xFFC0C0C0;
constexpr uint32_t Shadow = 0xFF808080;
constexpr uint32_t Highlight = 0xFFFFFFFF;

std::vector<unsigned char> ToRgba(const resources::Image& image) {
  std::vector<unsigned char> bytes;
  bytes.reserve(image.pixels.size() * 4);
  for (uint32_t argb : image.pixels) {
    bytes.push_back((argb >> 16) & 0xFF);
    bytes.push_back((argb >> 8) & 0xFF);
    bytes.push_back(argb & 0xFF);
    bytes.push_back(argb >> 24);
  }
  return bytes;
}

// Dark enough to be drawn when etched: the shape, not the background.
bool IsInk(uint32_t argb) {
  if ((argb >> 24) < 0x80) return false;
  int r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
  return r * 299 + g * 587 + b * 114 < 128 * 1000;
}

resources::Image Enlarge(const resources::Image& image, int factor) {
  return factor > 1 ? Scale(image, image.width * factor, image.height * factor) : image;
}

std::mutex keptMutex;
std::unordered_map<const void*, std::unique_ptr<Picture>> kept;

}  // namespace

// Etched before it is enlarged, so that the white shadow is a picture
// pixel wide, not a screen pixel.
Picture::Picture(UINT type, const resources::Image& image, int factor)
    : type_(type),
      image_(Enlarge(image, factor)),
      normalPixels_(ToRgba(image_)),
      disabledPixels_(ToRgba(Enlarge(Etch(image), factor))),
      normal_(new Fl_RGB_Image(normalPixels_.data(), image_.width, image_.height, 4)),
      disabled_(new Fl_RGB_Image(disabledPixels_.data(), image_.width, image_.height, 4)) {}

Picture* Picture::Keep(std::unique_ptr<Picture> picture) {
  std::lock_guard<std::mutex> lock(keptMutex);
  Picture* raw = picture.get();
  kept.emplace(raw, std::move(picture));
  return raw;
}

Picture* Picture::Load(UINT type, int id, int cx, int cy) {
  std::string_view res = resources::EmbeddedRes();
  std::optional<resources::Image> image;
  if (type == IMAGE_ICON)
    image = resources::LoadIcon(res, id, cx > 0 ? cx : 32);
  else if (type == IMAGE_BITMAP)
    image = resources::LoadBitmap(res, id);
  if (!image) return nullptr;
  int width = cx > 0 ? cx : image->width, height = cy > 0 ? cy : image->height;
  return Keep(
      std::make_unique<Picture>(type, Scale(*image, width, height), PictureFactor(ScreenDpi())));
}

Picture* Picture::FromHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(keptMutex);
  auto it = kept.find(handle);
  return it == kept.end() ? nullptr : it->second.get();
}

resources::Image Scale(const resources::Image& image, int width, int height) {
  if (width == image.width && height == image.height) return image;
  resources::Image scaled;
  scaled.width = width;
  scaled.height = height;
  scaled.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
      scaled.pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
          image.At(x * image.width / width, y * image.height / height);
  return scaled;
}

resources::Image Etch(const resources::Image& image) {
  resources::Image etched = image;
  for (uint32_t& pixel : etched.pixels)
    if ((pixel >> 24) >= 0x80) pixel = Face;
  for (int y = 0; y < image.height; y++)
    for (int x = 0; x < image.width; x++) {
      if (!IsInk(image.At(x, y))) continue;
      if (x + 1 < image.width && y + 1 < image.height)
        etched.pixels[static_cast<size_t>(y + 1) * static_cast<size_t>(image.width) +
                      static_cast<size_t>(x + 1)] = Highlight;
    }
  for (int y = 0; y < image.height; y++)
    for (int x = 0; x < image.width; x++)
      if (IsInk(image.At(x, y)))
        etched.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                      static_cast<size_t>(x)] = Shadow;
  return etched;
}

}  // namespace ui

extern "C" {

// The icon and bitmaps stored in the executable, at the requested size (0
// keeps the stored size); nothing when the resource does not exist.
// Pictures are never freed: they live until the process ends.
HANDLE WINAPI LoadImageA(HINSTANCE, LPCSTR name, UINT type, int cx, int cy, UINT) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  int id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
  ui::Picture* picture = ui::Picture::Load(type, id, cx, cy);
  return picture ? picture->Handle() : nullptr;
}

}  // extern "C"
