#include "platform/linux/ui/codepage.h"

#include <iconv.h>

#include <cerrno>

namespace ui {
namespace {

// Converts with iconv, putting `replacement` in place of each character
// that cannot be converted and skipping it; an incomplete sequence at the
// end is replaced too. A UTF-8 source skips a whole sequence at a time.
std::string Convert(const char* to, const char* from, std::string_view text,
                    std::string_view replacement) {
  const bool utf8Source = std::string_view(from) == "UTF-8";
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return std::string(replacement);
  std::string out;
  char buffer[256];
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, size_t(outPtr - buffer));
    if (done != size_t(-1) || errno == E2BIG) continue;
    // EILSEQ or EINVAL: a character that does not convert.
    out.append(replacement);
    do {
      in++;
      inLeft--;
    } while (utf8Source && inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

}  // namespace

// "CP932", not "SHIFT_JIS": the latter reads 0x5C as the yen sign and lacks
// the platform's extensions.
std::string Cp932ToUtf8(std::string_view text) {
  return Convert("UTF-8", "CP932", text, "\xE3\x83\xBB");  // U+30FB
}

std::string Utf8ToCp932(std::string_view text) { return Convert("CP932", "UTF-8", text, "?"); }

}  // namespace ui
