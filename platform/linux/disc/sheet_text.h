// The text of a sheet as written on whatever machine wrote it, as UTF-8:
// as it stands when it is valid UTF-8 (less a byte-order mark), else read
// as the Japanese Windows code page 932, else as the Western one, 1252.
#ifndef KORVANE_PLATFORM_LINUX_DISC_SHEET_TEXT_H
#define KORVANE_PLATFORM_LINUX_DISC_SHEET_TEXT_H

#include <string>

namespace disc {

// False when `bytes` is text in none of these encodings, with `why` saying so.
bool DecodeSheetText(const std::string& bytes, std::string* text, std::string* why);

}  // namespace disc

#endif
