// UTF-16 texts and string-or-number fields of the resource formats.
#include "platform/linux/resources/byte_reader.h"

namespace resources {

void AppendUtf8(std::string& out, uint32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | c >> 6);
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | c >> 12);
    out += char(0x80 | (c >> 6 & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | c >> 18);
    out += char(0x80 | (c >> 12 & 0x3F));
    out += char(0x80 | (c >> 6 & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

std::string ByteReader::utf16z() {
  std::string out;
  for (;;) {
    uint32_t unit = u16();
    if (!ok_ || unit == 0) return out;
    if (unit >= 0xD800 && unit <= 0xDBFF && left() >= 2) {
      uint32_t low = uint8_t(data_[pos_]) | uint32_t(uint8_t(data_[pos_ + 1])) << 8;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        skip(2);
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    AppendUtf8(out, unit);
  }
}

NameOrOrdinal ReadNameOrOrdinal(ByteReader& reader) {
  NameOrOrdinal field;
  ByteReader peek = reader;
  if (peek.u16() == 0xFFFF) {
    reader.skip(2);
    field.isOrdinal = true;
    field.ordinal = reader.u16();
  } else {
    field.name = reader.utf16z();
  }
  return field;
}

}  // namespace resources
