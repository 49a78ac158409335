// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/common/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace common {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string TrimBlanks(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) first++;
  while (last > first && IsBlank(text[last - 1])) last--;
  return std::string(text.substr(first, last - first));
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool ValidUtf8(std::string_view bytes) {
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

bool ConvertText(const char* to, const char* from, std::string_view text, std::string* out,
                 std::optional<std::string_view> replacement) {
  const bool utf8Source = std::string_view(from) == "UTF-8";
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string converted;
  char buffer[256];
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  bool whole = true;
  while (inLeft > 0) {
    char* at = buffer;
    size_t outLeft = sizeof buffer;
    const size_t done = iconv(converter, &in, &inLeft, &at, &outLeft);
    converted.append(buffer, static_cast<size_t>(at - buffer));
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ or EINVAL: a character that does not convert, or is cut short.
    if (!replacement) {
      whole = false;
      break;
    }
    converted.append(*replacement);
    do {
      in++;
      inLeft--;
    } while (utf8Source && inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  if (whole) {
    char* at = buffer;
    size_t outLeft = sizeof buffer;
    whole = iconv(converter, nullptr, nullptr, &at, &outLeft) != static_cast<size_t>(-1);
    converted.append(buffer, static_cast<size_t>(at - buffer));
  }
  iconv_close(converter);
  if (whole) *out = std::move(converted);
  return whole;
}

}  // namespace common
