// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/codepage.h"

#include "platform/linux/common/text.h"

namespace ui {
namespace {

// Converts, putting `replacement` in place of each character that cannot
// be converted; never fails.
std::string Convert(const char* to, const char* from, std::string_view text,
                    std::string_view replacement) {
  std::string out;
  if (!common::ConvertText(to, from, text, &out, replacement)) return std::string(replacement);
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
