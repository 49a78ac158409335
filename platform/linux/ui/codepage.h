// SPDX-License-Identifier: GPL-3.0-or-later
// The system's texts are code page 932 (Shift-JIS as the platform defines
// it); FLTK shows UTF-8.
#ifndef KORVANE_PLATFORM_LINUX_UI_CODEPAGE_H
#define KORVANE_PLATFORM_LINUX_UI_CODEPAGE_H

#include <string>
#include <string_view>

namespace ui {

// Bytes that are not code page 932 become U+30FB (the platform's
// replacement for such bytes); the conversion never fails.
std::string Cp932ToUtf8(std::string_view text);

// Characters code page 932 lacks, and bytes that are not UTF-8, become '?'.
std::string Utf8ToCp932(std::string_view text);

}  // namespace ui

#endif
