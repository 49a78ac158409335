// SPDX-License-Identifier: GPL-3.0-or-later
// The resource readers: a .res file and the dialog templates, bitmaps and
// icons in it. Malformed data gives nothing, never a read out of bounds,
// and a decoded picture holds exactly its width times its height pixels.
//
// The first byte chooses the reader: 0 the whole .res and every entry in
// it, 1 a dialog template, 2 a bitmap, 3 an icon image.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/resources/resources.h"

namespace {

void CheckImage(const std::optional<resources::Image>& image) {
  if (!image) return;
  if (image->width <= 0 || image->height <= 0) std::abort();
  if (image->pixels.size() != size_t(image->width) * size_t(image->height)) std::abort();
}

int Number(const std::string& name) {
  return name.size() > 1 && name[0] == '#' ? std::atoi(name.c_str() + 1) : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // A copy of just the right length, so that a read past its end is seen.
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string_view view(bytes);
  switch (data[0] % 4) {
    case 0: {
      const auto entries = resources::ParseRes(view);
      if (!entries) return 0;
      for (const resources::Entry& entry : *entries) {
        if (entry.data.data() < view.data() ||
            entry.data.data() + entry.data.size() > view.data() + view.size())
          std::abort();
        const int type = Number(entry.type), id = Number(entry.name);
        if (id < 0) continue;
        if (type == 5) resources::LoadDialog(view, id);
        if (type == 2) CheckImage(resources::LoadBitmap(view, id));
        if (type == 14) {
          CheckImage(resources::LoadIcon(view, id, 16));
          CheckImage(resources::LoadIcon(view, id, 48));
        }
      }
      return 0;
    }
    case 1:
      resources::DecodeDialog(view);
      return 0;
    case 2:
      CheckImage(resources::DecodeBitmap(view));
      return 0;
    default:
      CheckImage(resources::DecodeIcon(view));
      return 0;
  }
}
