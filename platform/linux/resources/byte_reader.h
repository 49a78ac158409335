// SPDX-License-Identifier: GPL-3.0-or-later
// A cursor over little-endian bytes that never reads past its end. A read
// that does not fit marks the cursor failed and returns zero; callers check
// Ok() once after a run of reads.
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

  bool Ok() const { return ok_; }
  size_t Pos() const { return pos_; }
  size_t Left() const { return ok_ ? data_.size() - pos_ : 0; }

  uint8_t U8() { return Take(1) ? static_cast<uint8_t>(data_[pos_ - 1]) : 0; }
  uint16_t U16() { return Take(2) ? common::Le16(At(pos_ - 2)) : 0; }
  uint32_t U32() { return Take(4) ? common::Le32(At(pos_ - 4)) : 0; }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  int32_t I32() { return static_cast<int32_t>(U32()); }

  std::string_view Bytes(size_t n) {
    if (!Take(n)) return {};
    return data_.substr(pos_ - n, n);
  }
  void Skip(size_t n) { Take(n); }

  // Moves to the next multiple of four from the start of the data.
  void AlignTo4() { Skip((4 - pos_ % 4) % 4); }

  // A zero-terminated UTF-16 string, returned as UTF-8 without the zero.
  std::string Utf16z();

  void Fail() { ok_ = false; }

 private:
  const uint8_t* At(size_t offset) const {
    return reinterpret_cast<const uint8_t*>(data_.data() + offset);
  }
  bool Take(size_t n) {
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
  std::string Text() const { return isOrdinal ? "#" + std::to_string(ordinal) : name; }
};

NameOrOrdinal ReadNameOrOrdinal(ByteReader& reader);

// Appends the UTF-8 form of one code point (U+FFFD for a lone surrogate).
void AppendUtf8(std::string& out, uint32_t codePoint);

}  // namespace resources

#endif
