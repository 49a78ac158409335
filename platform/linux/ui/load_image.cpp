// LoadImageA: the icon and bitmaps stored in the executable.
#include "platform/linux/resources/resources.h"
#include "platform/linux/ui/picture.h"

// The picture at the requested size (0 keeps the stored size); nothing
// when the resource does not exist. Pictures are never freed: they live
// until the process ends.
extern "C" HANDLE WINAPI LoadImageA(HINSTANCE, LPCSTR name, UINT type, int cx, int cy, UINT) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  int id = int(reinterpret_cast<uintptr_t>(name));
  std::string_view res = resources::EmbeddedRes();
  std::optional<resources::Image> image;
  if (type == IMAGE_ICON)
    image = resources::LoadIcon(res, id, cx > 0 ? cx : 32);
  else if (type == IMAGE_BITMAP)
    image = resources::LoadBitmap(res, id);
  if (!image) return nullptr;
  int width = cx > 0 ? cx : image->width, height = cy > 0 ? cy : image->height;
  auto picture = std::make_unique<ui::Picture>(type, ui::Scale(*image, width, height));
  return ui::Picture::Keep(std::move(picture))->handle();
}
