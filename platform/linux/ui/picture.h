// SPDX-License-Identifier: GPL-3.0-or-later
// A picture loaded from the executable's resources: the handle LoadImageA
// gives out. It lives until the process ends, as the system expects.
#ifndef KORVANE_PLATFORM_LINUX_UI_PICTURE_H
#define KORVANE_PLATFORM_LINUX_UI_PICTURE_H

#include <FL/Fl_RGB_Image.H>

#include <memory>
#include <vector>

#include "platform/linux/resources/resources.h"

namespace ui {

// Drawn `factor` times its size on a scaled screen, each of its pixels a
// square of factor x factor: the pixel art stays crisp.
class Picture {
 public:
  Picture(UINT type, const resources::Image& image, int factor = 1);
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  UINT Type() const { return type_; }  // IMAGE_BITMAP or IMAGE_ICON
  // As drawn, in screen pixels.
  int Width() const { return image_.width; }
  int Height() const { return image_.height; }
  Fl_RGB_Image* Normal() { return normal_.get(); }
  // Drawn as the platform draws a picture on a disabled control: etched
  // in grey and white, so the button plainly cannot be pressed.
  Fl_RGB_Image* Disabled() { return disabled_.get(); }

  HANDLE Handle() { return reinterpret_cast<HANDLE>(this); }
  // The picture behind a handle LoadImageA gave out, or nullptr.
  static Picture* FromHandle(HANDLE handle);
  // Keeps a new picture until the process ends.
  static Picture* Keep(std::unique_ptr<Picture> picture);
  // The icon or bitmap `id` of the executable's resources at the requested
  // size (0 keeps the stored size), drawn at the screen's whole picture
  // factor, kept until the process ends; nothing when there is no such
  // resource.
  static Picture* Load(UINT type, int id, int cx, int cy);

 private:
  UINT type_;
  resources::Image image_;
  std::vector<unsigned char> normalPixels_, disabledPixels_;
  std::unique_ptr<Fl_RGB_Image> normal_, disabled_;
};

// The picture at another size, nearest pixel, as loading at a requested
// size stretches it.
resources::Image Scale(const resources::Image& image, int width, int height);

// The etched look of a disabled picture: its dark pixels become a grey
// shape with a white shadow one pixel down and right, on the face colour.
resources::Image Etch(const resources::Image& image);

}  // namespace ui

#endif
