// SPDX-License-Identifier: GPL-3.0-or-later
// Sheet text from the machines that write sheets: UTF-8 with or without a
// byte-order mark, and the Windows code pages of Japan and the West.
#include <gtest/gtest.h>

#include "platform/linux/common/text.h"
#include "platform/linux/disc/sheets.h"

namespace {

std::string Decoded(const std::string& bytes) {
  std::string text, why;
  EXPECT_TRUE(disc::DecodeSheetText(bytes, &text, &why)) << why;
  return text;
}

TEST(SheetText, EachEncodingComesOutAsUtf8) {
  // UTF-8 as it stands, with its byte-order mark taken off.
  EXPECT_EQ(Decoded("FILE \"a.wav\" WAVE\r\n"), "FILE \"a.wav\" WAVE\r\n");
  EXPECT_EQ(Decoded("\xEF\xBB\xBF"
                    "FILE \"\xE6\x9B\xB2.flac\" WAVE"),
            "FILE \"\xE6\x9B\xB2.flac\" WAVE");
  // Code page 932: 曲 (0x8B 0xC8), a half-width katakana ｱ (0xB1), and the
  // backslash and wave dash that Shift JIS proper would turn into ¥ and 〜.
  EXPECT_EQ(Decoded("FILE \"\x8B\xC8\xB1\\\x81\x60.wav\" WAVE"),
            "FILE \"\xE6\x9B\xB2\xEF\xBD\xB1\\\xEF\xBD\x9E.wav\" WAVE");
  // Code page 1252 when it is not 932: "Café" ends a name with é then a quote.
  EXPECT_EQ(Decoded("TITLE \"Caf\xE9\"\nFILE \"\x80.wav\" WAVE"),
            "TITLE \"Caf\xC3\xA9\"\nFILE \"\xE2\x82\xAC.wav\" WAVE");
}

TEST(SheetText, MalformedUtf8IsNotTakenForUtf8) {
  EXPECT_TRUE(common::ValidUtf8("plain \xC3\xA9 \xF0\x9F\x8E\xB5"));
  for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3",
                          "\xE6\x9B", "\x80", "\xFF"})
    EXPECT_FALSE(common::ValidUtf8(bad)) << bad;
  // A cut-off UTF-8 sequence is read as 932 instead, never dropped.
  EXPECT_FALSE(Decoded("\xE6\x9B\"").empty());
}

TEST(SheetText, BytesOfNoEncodingAreRefused) {
  std::string text = "kept", why;
  // 0x81 alone ends a 932 text early and is undefined in 1252.
  EXPECT_FALSE(disc::DecodeSheetText(std::string("FILE \x81", 6), &text, &why));
  EXPECT_NE(why.find("not text"), std::string::npos) << why;
}

}  // namespace
