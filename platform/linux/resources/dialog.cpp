// SPDX-License-Identifier: GPL-3.0-or-later
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
  return field.Text();
}

DialogItem ReadItem(ByteReader& r) {
  DialogItem item;
  r.AlignTo4();
  item.style = r.U32();
  item.exStyle = r.U32();
  item.x = r.I16();
  item.y = r.I16();
  item.cx = r.I16();
  item.cy = r.I16();
  item.id = r.U16();
  item.className = ControlClass(ReadNameOrOrdinal(r));
  item.text = ReadNameOrOrdinal(r).Text();
  // Creation data: a byte count, then that many bytes, which nothing here uses.
  r.Skip(r.U16());
  return item;
}

}  // namespace

std::optional<DialogTemplate> DecodeDialog(std::string_view data) {
  ByteReader r(data);
  DialogTemplate dialog;
  dialog.style = r.U32();
  dialog.exStyle = r.U32();
  // The extended template starts with version 1 and signature 0xFFFF where
  // the classic one has its style; it is a different format.
  if (!r.Ok() || ((dialog.style & 0xFFFF) == 1 && dialog.style >> 16 == 0xFFFF))
    return std::nullopt;
  const int count = r.U16();
  dialog.x = r.I16();
  dialog.y = r.I16();
  dialog.cx = r.I16();
  dialog.cy = r.I16();
  dialog.menu = ReadNameOrOrdinal(r).Text();
  dialog.className = ReadNameOrOrdinal(r).Text();
  dialog.caption = r.Utf16z();
  if (dialog.style & DS_SETFONT) {
    dialog.pointSize = r.U16();
    dialog.faceName = r.Utf16z();
  }
  for (int i = 0; i < count && r.Ok(); i++) dialog.items.push_back(ReadItem(r));
  if (!r.Ok()) return std::nullopt;
  return dialog;
}

std::optional<DialogTemplate> LoadDialog(std::string_view res, int id) {
  const auto data = Find(res, 5, id);
  if (!data) return std::nullopt;
  return DecodeDialog(*data);
}

}  // namespace resources
