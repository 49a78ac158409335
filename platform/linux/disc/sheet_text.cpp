#include "platform/linux/disc/sheet_text.h"

#include "platform/linux/common/text.h"

namespace disc {

bool DecodeSheetText(const std::string& bytes, std::string* text, std::string* why) {
  if (common::ValidUtf8(bytes)) {
    const size_t mark = common::ByteOrderMark.size();
    *text = bytes.compare(0, mark, common::ByteOrderMark) == 0 ? bytes.substr(mark) : bytes;
    return true;
  }
  if (common::ConvertText("UTF-8", "CP932", bytes, text) ||
      common::ConvertText("UTF-8", "CP1252", bytes, text))
    return true;
  *why = "the sheet is not text (neither UTF-8 nor code page 932 or 1252)";
  return false;
}

}  // namespace disc
