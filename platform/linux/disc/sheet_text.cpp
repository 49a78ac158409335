#include "platform/linux/disc/sheet_text.h"

#include <errno.h>
#include <iconv.h>
#include <stdint.h>

namespace disc {

namespace {

constexpr const char ByteOrderMark[] = "\xEF\xBB\xBF";

// Converts the whole of `bytes` from `encoding`; false on any byte that
// encoding does not define or a sequence cut short.
bool Convert(const char* encoding, const std::string& bytes, std::string* text) {
  iconv_t converter = iconv_open("UTF-8", encoding);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out(bytes.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* to = &out[0];
  size_t outLeft = out.size();
  bool whole = iconv(converter, &in, &inLeft, &to, &outLeft) != static_cast<size_t>(-1) &&
               inLeft == 0 && iconv(converter, nullptr, nullptr, &to, &outLeft) == 0;
  iconv_close(converter);
  if (!whole) return false;
  out.resize(out.size() - outLeft);
  *text = out;
  return true;
}

}  // namespace

bool ValidUtf8(const std::string& bytes) {
  size_t i = 0, size = bytes.size();
  while (i < size) {
    unsigned char lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      i++;
      continue;
    }
    int more;
    uint32_t point;
    if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
      point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      point = lead & 0x07;
    } else {
      return false;
    }
    if (size - i <= static_cast<size_t>(more)) return false;
    for (int k = 1; k <= more; k++) {
      unsigned char next = static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    if ((more == 2 && point < 0x800) || (more == 3 && point < 0x10000) || point > 0x10FFFF ||
        (point >= 0xD800 && point <= 0xDFFF))
      return false;
    i += static_cast<size_t>(more) + 1;
  }
  return true;
}

bool DecodeSheetText(const std::string& bytes, std::string* text, std::string* why) {
  if (ValidUtf8(bytes)) {
    *text = bytes.compare(0, 3, ByteOrderMark) == 0 ? bytes.substr(3) : bytes;
    return true;
  }
  if (Convert("CP932", bytes, text) || Convert("CP1252", bytes, text)) return true;
  *why = "the sheet is not text (neither UTF-8 nor code page 932 or 1252)";
  return false;
}

}  // namespace disc
