// The classic dialog template: a header (styles, item count, geometry,
// menu, class, caption and, with DS_SETFONT, the font), then one item per
// control, each starting on a four-byte boundary.
#include "platform/linux/resources/byte_reader.h"
#include "platform/linux/resources/resources.h"

namespace resources {

namespace {

// The predefined control classes that a template names by number.
std::string ControlClass(const NameOrOrdinal& field) {
  if (!field.isOrdinal) return field.name;
  static const char* const Predefined[] = {"Button",  "Edit",      "Static",
                                           "ListBox", "ScrollBar", "ComboBox"};
  if (field.ordinal >= 0x80 && field.ordinal <= 0x85) return Predefined[field.ordinal - 0x80];
  return field.text();
}

DialogItem ReadItem(ByteReader& r) {
  DialogItem item;
  r.alignTo4();
  item.style = r.u32();
  item.exStyle = r.u32();
  item.x = r.i16();
  item.y = r.i16();
  item.cx = r.i16();
  item.cy = r.i16();
  item.id = r.u16();
  item.className = ControlClass(ReadNameOrOrdinal(r));
  item.text = ReadNameOrOrdinal(r).text();
  // Creation data: a byte count, then that many bytes, which nothing here uses.
  r.skip(r.u16());
  return item;
}

}  // namespace

std::optional<DialogTemplate> DecodeDialog(std::string_view data) {
  ByteReader r(data);
  DialogTemplate dialog;
  dialog.style = r.u32();
  dialog.exStyle = r.u32();
  // The extended template starts with version 1 and signature 0xFFFF where
  // the classic one has its style; it is a different format.
  if (!r.ok() || ((dialog.style & 0xFFFF) == 1 && dialog.style >> 16 == 0xFFFF))
    return std::nullopt;
  const int count = r.u16();
  dialog.x = r.i16();
  dialog.y = r.i16();
  dialog.cx = r.i16();
  dialog.cy = r.i16();
  dialog.menu = ReadNameOrOrdinal(r).text();
  dialog.className = ReadNameOrOrdinal(r).text();
  dialog.caption = r.utf16z();
  if (dialog.style & DS_SETFONT) {
    dialog.pointSize = r.u16();
    dialog.faceName = r.utf16z();
  }
  for (int i = 0; i < count && r.ok(); i++) dialog.items.push_back(ReadItem(r));
  if (!r.ok()) return std::nullopt;
  return dialog;
}

std::optional<DialogTemplate> LoadDialog(std::string_view res, int id) {
  const auto data = Find(res, 5, id);
  if (!data) return std::nullopt;
  return DecodeDialog(*data);
}

}  // namespace resources
