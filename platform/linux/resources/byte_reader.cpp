// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-16 texts and string-or-number fields of the resource formats.
#include "platform/linux/resources/byte_reader.h"

namespace resources {

void AppendUtf8(std::string& out, uint32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string ByteReader::Utf16z() {
  std::string out;
  for (;;) {
    uint32_t unit = U16();
    if (!ok_ || unit == 0) return out;
    if (unit >= 0xD800 && unit <= 0xDBFF && Left() >= 2) {
      uint32_t low = static_cast<uint8_t>(data_[pos_]) |
                     static_cast<uint32_t>(static_cast<uint8_t>(data_[pos_ + 1])) << 8;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        Skip(2);
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    AppendUtf8(out, unit);
  }
}

NameOrOrdinal ReadNameOrOrdinal(ByteReader& reader) {
  NameOrOrdinal field;
  ByteReader peek = reader;
  if (peek.U16() == 0xFFFF) {
    reader.Skip(2);
    field.isOrdinal = true;
    field.ordinal = reader.U16();
  } else {
    field.name = reader.Utf16z();
  }
  return field;
}

}  // namespace resources
