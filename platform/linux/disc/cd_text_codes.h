// SPDX-License-Identifier: GPL-3.0-or-later
// CD-Text's codes for the languages and the character code of a block, as
// a disc's packs and a .toc's CD_TEXT blocks give them, and the one way
// their bytes become text: code page 932 in a Japanese block, else
// Latin-1 (ASCII too: discs that say so still use Latin-1).
#ifndef KORVANE_PLATFORM_LINUX_DISC_CD_TEXT_CODES_H
#define KORVANE_PLATFORM_LINUX_DISC_CD_TEXT_CODES_H

#include <string>
#include <string_view>

namespace disc {

constexpr int EnglishLanguage = 0x09;
constexpr int JapaneseLanguage = 0x69;
constexpr int MsJisCharacters = 0x80;  // the size information's code for code page 932

// A block's bytes as UTF-8, from code page 932 when `japanese`, else from
// Latin-1; a character the code page lacks becomes U+FFFD (cd_text.cpp).
std::string CdTextToUtf8(std::string_view bytes, bool japanese);

}  // namespace disc

#endif
