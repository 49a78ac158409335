// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog manager's arithmetic and conversions, where an off-by-one or a
// wrong code page would misdraw the window or garble its texts.
#include <gtest/gtest.h>

#include "platform/linux/ui/codepage.h"
#include "platform/linux/ui/display.h"
#include "platform/linux/ui/picture.h"
#include "platform/linux/ui/timers.h"
#include "platform/shared/trackbar_range.h"

namespace ui {
namespace {

TEST(DialogUnits, RoundLikeThePlatform) {
  // 13.5 average width rounds up; a plain division by 52 would give 6.
  EXPECT_EQ(BaseUnitsFromMetrics(351, 13).x, 7);
  EXPECT_EQ(BaseUnitsFromMetrics(338, 13).x, 7);
  EXPECT_EQ(BaseUnitsFromMetrics(337, 13).x, 6);
  EXPECT_EQ(BaseUnitsFromMetrics(368, 13).y, 13);

  // Half away from zero, in 64 bits.
  EXPECT_EQ(MulDiv(83, 7, 4), 145);   // 145.25
  EXPECT_EQ(MulDiv(14, 7, 4), 25);    // 24.5
  EXPECT_EQ(MulDiv(-14, 7, 4), -25);  // -24.5
  EXPECT_EQ(MulDiv(14, -7, 4), -25);
  EXPECT_EQ(MulDiv(59, 13, 8), 96);  // 95.875
  EXPECT_EQ(MulDiv(1 << 30, 8, 4), -1);
  EXPECT_EQ(MulDiv(1, 2, 0), -1);
  EXPECT_EQ(MulDiv(1 << 30, 6, 8), 805306368);
  EXPECT_EQ(PointsToPixels(9, 96), 12);

  // Position and size convert separately: the five buttons of a row 14 units
  // apart keep their 25-pixel width even where their edges meet or overlap.
  BaseUnits units{7, 13};
  PixelRect play = ToPixels(units, 7, 39, 14, 14);
  PixelRect stop = ToPixels(units, 21, 39, 14, 14);
  EXPECT_EQ(play.x, 12);
  EXPECT_EQ(play.y, 63);
  EXPECT_EQ(play.w, 25);
  EXPECT_EQ(play.h, 23);
  EXPECT_EQ(stop.x, 37);
  EXPECT_EQ(stop.w, 25);
}

TEST(Trackbar, PositionStaysInsideTheRange) {
  shared::TrackbarRange range;
  EXPECT_EQ(range.rangeMin, 0);
  EXPECT_EQ(range.rangeMax, 100);
  EXPECT_EQ(range.pos, 0);

  // A track of 4:35, ticking past its end: the thumb stops at the maximum.
  range.SetMax(275);
  range.SetMin(0);
  range.SetPos(0);
  range.SetPos(276);
  EXPECT_EQ(range.pos, 275);

  // The next, shorter track: its maximum pulls the thumb back before the
  // position is reset.
  range.SetMax(100);
  EXPECT_EQ(range.pos, 100);
  range.SetPos(-5);
  EXPECT_EQ(range.pos, 0);

  // A minimum above the position pulls it up.
  range.SetMin(40);
  EXPECT_EQ(range.pos, 40);

  // An inverted range: the maximum wins for a new position, but a new
  // maximum never drags the position below the minimum.
  range.SetPos(70);
  range.SetMax(10);
  EXPECT_EQ(range.pos, 40);
  range.SetPos(70);
  EXPECT_EQ(range.pos, 10);
}

TEST(Codepage, ReadsCodePage932AsThePlatformDoes) {
  // The backslash stays a backslash (Shift-JIS proper reads a yen sign), and
  // 0x8160 is the full-width tilde, not the wave dash.
  EXPECT_EQ(Cp932ToUtf8("C:\\korvane"), "C:\\korvane");
  EXPECT_EQ(Cp932ToUtf8("\x81\x60"), "\xEF\xBD\x9E");
  // A 0x5C second byte: "表" is 0x95 0x5C.
  EXPECT_EQ(Cp932ToUtf8("\x95\x5C"), "表");
  // NEC's circled digit one, which Shift-JIS lacks.
  EXPECT_EQ(Cp932ToUtf8("\x87\x40"), "①");

  // The two warnings.
  EXPECT_EQ(Cp932ToUtf8("\x83\x66\x83\x6f\x83\x43\x83\x58\x82\xaa\x8a\x4a\x82\xaf\x82\xdc\x82\xb9"
                        "\x82\xf1\x82\xc5\x82\xb5\x82\xbd"),
            "デバイスが開けませんでした");
  EXPECT_EQ(Cp932ToUtf8("CD \x83\x49\x81\x5b\x83\x66\x83\x42\x83\x49\x83\x74\x83\x40\x83\x43\x83"
                        "\x8b\x82\xaa\x93\xfc\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1"),
            "CD オーディオファイルが入っていません");

  // Bytes that are not code page 932 are replaced, never dropped silently
  // or allowed to cut the text short.
  EXPECT_EQ(Cp932ToUtf8("a\xFF"
                        "b"),
            "a・b");
  EXPECT_EQ(Cp932ToUtf8("ab\x83"), "ab・");

  // Back again, for texts read from the controls.
  EXPECT_EQ(Utf8ToCp932("表 \\ ～"), "\x95\x5C \\ \x81\x60");
  EXPECT_EQ(Utf8ToCp932("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToCp932("a\xC3(b"), "a?(b");
}

TEST(Deadline, TimerKeepsItsGridWhenLate) {
  using std::chrono::milliseconds;
  Clock::time_point start{};
  // On time, or a little late: the next deadline is one period after the
  // last one, not after the moment it was handled.
  EXPECT_EQ(NextDeadline(start, milliseconds(1000), start + milliseconds(3)),
            start + milliseconds(1000));
  EXPECT_EQ(
      NextDeadline(start + milliseconds(1000), milliseconds(1000), start + milliseconds(1999)),
      start + milliseconds(2000));
  // Busy for two and a half periods: the missed ones are skipped.
  EXPECT_EQ(NextDeadline(start, milliseconds(1000), start + milliseconds(2500)),
            start + milliseconds(3000));
  EXPECT_EQ(NextDeadline(start, milliseconds(1000), start + milliseconds(1000)),
            start + milliseconds(2000));
}

resources::Image Picture3x3(uint32_t background, uint32_t ink) {
  resources::Image image;
  image.width = image.height = 3;
  image.pixels.assign(9, background);
  image.pixels[4] = ink;
  return image;
}

TEST(Picture, DisabledLookIsEtched) {
  // A blue dot on the button face: grey where it was, white below right.
  resources::Image etched = Etch(Picture3x3(0xFFC0C0C0, 0xFF0000FF));
  EXPECT_EQ(etched.At(1, 1), 0xFF808080u);
  EXPECT_EQ(etched.At(2, 2), 0xFFFFFFFFu);
  EXPECT_EQ(etched.At(0, 0), 0xFFC0C0C0u);
  // A white page is background when etched; transparency stays.
  resources::Image page = Etch(Picture3x3(0x00000000, 0xFFFFFFFF));
  EXPECT_EQ(page.At(1, 1), 0xFFC0C0C0u);
  EXPECT_EQ(page.At(0, 0), 0x00000000u);

  resources::Image big = Scale(Picture3x3(0xFFC0C0C0, 0xFF0000FF), 6, 6);
  EXPECT_EQ(big.width, 6);
  EXPECT_EQ(big.At(2, 2), 0xFF0000FFu);
  EXPECT_EQ(big.At(3, 3), 0xFF0000FFu);
  EXPECT_EQ(big.At(4, 4), 0xFFC0C0C0u);
}

// The resolution as the desktops write it into the X resources, the
// screen's own, and the whole factor the pictures are drawn at.
TEST(ScreenResolution, ReadAsDesktopsWriteItAndPicturesByWholeFactors) {
  EXPECT_EQ(ParseDpi("192"), 192);
  EXPECT_EQ(ParseDpi("96.0"), 96);
  EXPECT_EQ(ParseDpi(" 144\t"), 144);
  EXPECT_EQ(ParseDpi("120.6"), 121);
  for (const char* refused : {"", "  ", "abc", "96dpi", "0", "-96", "1e6", "nan", "inf", "96 96"})
    EXPECT_EQ(ParseDpi(refused), std::nullopt) << "'" << refused << "'";
  EXPECT_EQ(ParseDpi(nullptr), std::nullopt);

  EXPECT_EQ(DpiOfScreen(1024, 271), 96);   // Xvfb -dpi 96
  EXPECT_EQ(DpiOfScreen(1024, 260), 100);  // Xvfb's own
  EXPECT_EQ(DpiOfScreen(3840, 508), 192);
  EXPECT_EQ(DpiOfScreen(1920, 0), BaseDpi) << "a screen that tells no size";
  EXPECT_EQ(DpiOfScreen(1920, 1), BaseDpi) << "a size no screen has";

  // The dialog font grows with the resolution; pictures by whole steps.
  EXPECT_EQ(PointsToPixels(9, 192), 24);
  EXPECT_EQ(PointsToPixels(9, 144), 18);
  EXPECT_EQ(PictureFactor(72), 1);
  EXPECT_EQ(PictureFactor(96), 1);
  EXPECT_EQ(PictureFactor(144), 1);
  EXPECT_EQ(PictureFactor(191), 1);
  EXPECT_EQ(PictureFactor(192), 2);
  EXPECT_EQ(PictureFactor(288), 3);
  EXPECT_EQ(PictureFactor(300), 3);
}

// One pixel of the picture's RGBA bytes, as 0xAARRGGBB.
uint32_t PixelOf(Fl_RGB_Image* image, int x, int y) {
  const unsigned char* at =
      image->array +
      (static_cast<size_t>(y) * static_cast<size_t>(image->w()) + static_cast<size_t>(x)) * 4;
  return static_cast<uint32_t>(at[3]) << 24 | static_cast<uint32_t>(at[0]) << 16 |
         static_cast<uint32_t>(at[1]) << 8 | at[2];
}

TEST(Picture, EnlargedByAWholeFactorEachPixelBecomesASquare) {
  Picture picture(IMAGE_BITMAP, Picture3x3(0xFFC0C0C0, 0xFF0000FF), 2);
  EXPECT_EQ(picture.Width(), 6);
  EXPECT_EQ(picture.Height(), 6);
  ASSERT_EQ(picture.Normal()->w(), 6);
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 6; x++) {
      bool dot = x / 2 == 1 && y / 2 == 1;
      EXPECT_EQ(PixelOf(picture.Normal(), x, y), dot ? 0xFF0000FFu : 0xFFC0C0C0u) << x << "," << y;
    }
  // Etched before it is enlarged: the white shadow is two screen pixels
  // wide, as the grey shape is.
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 6; x++) {
      uint32_t wanted = x / 2 == 1 && y / 2 == 1   ? 0xFF808080u
                        : x / 2 == 2 && y / 2 == 2 ? 0xFFFFFFFFu
                                                   : 0xFFC0C0C0u;
      EXPECT_EQ(PixelOf(picture.Disabled(), x, y), wanted) << x << "," << y;
    }

  Picture plain(IMAGE_BITMAP, Picture3x3(0xFFC0C0C0, 0xFF0000FF));
  EXPECT_EQ(plain.Width(), 3);
  EXPECT_EQ(PixelOf(plain.Normal(), 1, 1), 0xFF0000FFu);
}

}  // namespace
}  // namespace ui
