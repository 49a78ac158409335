// SPDX-License-Identifier: GPL-3.0-or-later
// Text as the player meets it: blanks around names and values, names
// whose letter case may not matter, files that start with a UTF-8
// byte-order mark, and text in the Windows code pages, converted through
// one iconv wrapper.
#ifndef KORVANE_PLATFORM_LINUX_COMMON_TEXT_H
#define KORVANE_PLATFORM_LINUX_COMMON_TEXT_H

#include <optional>
#include <string>
#include <string_view>

namespace common {

// What Windows programs put before UTF-8 text.
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// The blanks a line of text may have at its ends: space, tab, carriage
// return, form feed, vertical tab (but no line feed).
bool IsBlank(char c);

// The text without the blanks at its ends.
std::string TrimBlanks(std::string_view text);

// Letter case folded for ASCII; other bytes (accented, Japanese) as they are.
std::string AsciiLower(std::string text);
std::string AsciiUpper(std::string text);

// Whether `bytes` is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool ValidUtf8(std::string_view bytes);

// Converts `text` from the encoding `from` to `to` into `out`. Without a
// replacement, false on any character `from` does not define or a
// sequence cut short. With one, each such character becomes the
// replacement and is skipped (a UTF-8 source a whole sequence at a time),
// and only an encoding iconv does not know fails.
bool ConvertText(const char* to, const char* from, std::string_view text, std::string* out,
                 std::optional<std::string_view> replacement = std::nullopt);

}  // namespace common

#endif
