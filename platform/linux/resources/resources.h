// SPDX-License-Identifier: GPL-3.0-or-later
// The executable's resources: the .res that windres compiles from the same
// resource script as the Windows build, embedded in the binary, and read
// here the way the platform reads it.
#ifndef KORVANE_PLATFORM_LINUX_RESOURCES_RESOURCES_H
#define KORVANE_PLATFORM_LINUX_RESOURCES_RESOURCES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace resources {

// One control of a classic dialog template. Texts are UTF-8.
struct DialogItem {
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  WORD id = 0;
  // Predefined ordinals become "Button", "Edit", "Static", ...; other names
  // are as stored, and windres stores them in capitals ("MSCTLS_TRACKBAR32"):
  // compare them without regard to case, as the platform does.
  std::string className;
  std::string text;
};

// A classic DLGTEMPLATE. Texts are UTF-8.
struct DialogTemplate {
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::string menu;
  std::string className;
  std::string caption;
  WORD pointSize = 0;  // when DS_SETFONT
  std::string faceName;
  std::vector<DialogItem> items;
};

// A decoded picture, rows from the top, pixels 0xAARRGGBB (alpha 0 where an
// icon's mask is transparent, 0xFF elsewhere).
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};

// A resource entry of a .res file.
struct Entry {
  std::string type;  // "#5" for a numbered type, else the name
  std::string name;  // "#102" for a numbered resource, else the name
  WORD language = 0;
  std::string_view data;
};

// Parses a .res image; entries point into `res`, which must outlive them.
// Returns nothing when the file is malformed.
std::optional<std::vector<Entry>> ParseRes(std::string_view res);

// The .res embedded in this executable.
std::string_view EmbeddedRes();

// Finds a numbered resource of a numbered type, preferring `language`, as
// the platform's loader does: that language, its neutral sublanguage, the
// neutral language, English, then the first there is.
std::optional<std::string_view> Find(std::string_view res, int type, int id,
                                     WORD language = 0x0411);

std::optional<DialogTemplate> DecodeDialog(std::string_view data);
std::optional<Image> DecodeBitmap(std::string_view data);  // a DIB without file header
std::optional<Image> DecodeIcon(std::string_view data);    // one RT_ICON image
// The RT_ICON of a group that best fits `size` x `size`.
std::optional<Image> LoadIcon(std::string_view res, int groupId, int size);
std::optional<Image> LoadBitmap(std::string_view res, int id);
std::optional<DialogTemplate> LoadDialog(std::string_view res, int id);

}  // namespace resources

#endif
