// A cursor over little-endian bytes that never reads past its end. A read
// that does not fit marks the cursor failed and returns zero; callers check
// ok() once after a run of reads.
#ifndef KORVANE_PLATFORM_LINUX_RESOURCES_BYTE_READER_H
#define KORVANE_PLATFORM_LINUX_RESOURCES_BYTE_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/common/bytes.h"

namespace resources {

class ByteReader {
 public:
  explicit ByteReader(std::string_view data, size_t pos = 0)
      : data_(data), pos_(pos), ok_(pos <= data.size()) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t left() const { return ok_ ? data_.size() - pos_ : 0; }

  uint8_t u8() { return take(1) ? uint8_t(data_[pos_ - 1]) : 0; }
  uint16_t u16() { return take(2) ? common::Le16(at(pos_ - 2)) : 0; }
  uint32_t u32() { return take(4) ? common::Le32(at(pos_ - 4)) : 0; }
  int16_t i16() { return int16_t(u16()); }
  int32_t i32() { return int32_t(u32()); }

  std::string_view bytes(size_t n) {
    if (!take(n)) return {};
    return data_.substr(pos_ - n, n);
  }
  void skip(size_t n) { take(n); }

  // Moves to the next multiple of four from the start of the data.
  void alignTo4() { skip((4 - pos_ % 4) % 4); }

  // A zero-terminated UTF-16 string, returned as UTF-8 without the zero.
  std::string utf16z();

  void fail() { ok_ = false; }

 private:
  const uint8_t* at(size_t offset) const {
    return reinterpret_cast<const uint8_t*>(data_.data() + offset);
  }
  bool take(size_t n) {
    if (!ok_ || n > data_.size() - pos_) {
      ok_ = false;
      return false;
    }
    pos_ += n;
    return true;
  }

  std::string_view data_;
  size_t pos_;
  bool ok_;
};

// A string-or-number field: 0xFFFF followed by a number, or a zero-terminated
// UTF-16 string (empty when the first unit is zero).
struct NameOrOrdinal {
  bool isOrdinal = false;
  uint16_t ordinal = 0;
  std::string name;  // UTF-8

  // "#n" for a number, else the name.
  std::string text() const { return isOrdinal ? "#" + std::to_string(ordinal) : name; }
};

NameOrOrdinal ReadNameOrOrdinal(ByteReader& reader);

// Appends the UTF-8 form of one code point (U+FFFD for a lone surrogate).
void AppendUtf8(std::string& out, uint32_t codePoint);

}  // namespace resources

#endif
