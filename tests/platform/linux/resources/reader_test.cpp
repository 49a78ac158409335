// SPDX-License-Identifier: GPL-3.0-or-later
// The reader on resources other than our own: the formats' variants that
// the platform accepts, and damaged data, which must give nothing rather
// than a crash or a read past the end.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/linux/resources/resources.h"
#include "window/resource.h"

namespace {

void Put16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void Pad4(std::string& s) {
  while (s.size() % 4) s += '\0';
}

// A .res with numbered entries.
struct ResBuilder {
  std::string bytes =
      std::string("\0\0\0\0\x20\0\0\0\xFF\xFF\0\0\xFF\xFF\0\0", 16) + std::string(16, '\0');
  ResBuilder& Add(int type, int id, WORD language, const std::string& data) {
    Put32(bytes, static_cast<uint32_t>(data.size()));
    Put32(bytes, 32);
    Put16(bytes, 0xFFFF);
    Put16(bytes, static_cast<unsigned>(type));
    Put16(bytes, 0xFFFF);
    Put16(bytes, static_cast<unsigned>(id));
    Put32(bytes, 0);
    Put16(bytes, 0x1030);
    Put16(bytes, language);
    Put32(bytes, 0);
    Put32(bytes, 0);
    bytes += data;
    Pad4(bytes);
    return *this;
  }
};

// A DIB with an information header of `headerSize` bytes.
std::string Dib(int width, int height, int bits, const std::string& palette,
                const std::string& pixels, uint32_t compression = 0, uint32_t headerSize = 40) {
  std::string s;
  Put32(s, headerSize);
  Put32(s, static_cast<uint32_t>(width));
  Put32(s, static_cast<uint32_t>(height));
  Put16(s, 1);
  Put16(s, static_cast<unsigned>(bits));
  Put32(s, compression);
  Put32(s, static_cast<uint32_t>(pixels.size()));
  Put32(s, 0);
  Put32(s, 0);
  Put32(s, 0);
  Put32(s, 0);
  s.resize(headerSize, '\0');
  return s + palette + pixels;
}

TEST(DibDecoder, DepthsAndRowOrders) {
  // 24 bits, bottom-up: the first stored row is the bottom one.
  const std::string rows24 = std::string("\x00\x00\xFF\x00\xFF\x00\0\0", 8) +  // red, green
                             std::string("\xFF\x00\x00\xFF\xFF\xFF\0\0", 8);   // blue, white
  auto up = resources::DecodeBitmap(Dib(2, 2, 24, "", rows24));
  ASSERT_TRUE(up);
  EXPECT_EQ(up->At(0, 1), 0xFFFF0000u);
  EXPECT_EQ(up->At(1, 1), 0xFF00FF00u);
  EXPECT_EQ(up->At(0, 0), 0xFF0000FFu);
  EXPECT_EQ(up->At(1, 0), 0xFFFFFFFFu);
  auto down = resources::DecodeBitmap(Dib(2, -2, 24, "", rows24));
  ASSERT_TRUE(down);
  EXPECT_EQ(down->At(0, 0), 0xFFFF0000u);
  EXPECT_EQ(down->At(1, 1), 0xFFFFFFFFu);

  // 1 bit through a two-colour palette, rows padded to four bytes.
  const std::string mono = std::string("\0\0\0\0\xFF\xFF\xFF\0", 8);
  auto one = resources::DecodeBitmap(Dib(10, 1, 1, mono, std::string("\xA0\x40\0\0", 4)));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->At(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(one->At(1, 0), 0xFF000000u);
  EXPECT_EQ(one->At(2, 0), 0xFFFFFFFFu);
  EXPECT_EQ(one->At(9, 0), 0xFFFFFFFFu);

  // 8 bits with a short palette; an index past it shows black.
  auto eight =
      resources::DecodeBitmap(Dib(2, 1, 8, std::string("\x10\x20\x30\0", 4), "\x00\x05\0\0"));
  ASSERT_FALSE(eight) << "a palette of one entry needs the header to say so";
  std::string header8 = Dib(2, 1, 8, std::string("\x10\x20\x30\0", 4), std::string("\0\5\0\0", 4));
  header8[32] = 1;  // colours used
  eight = resources::DecodeBitmap(header8);
  ASSERT_TRUE(eight);
  EXPECT_EQ(eight->At(0, 0), 0xFF302010u);
  EXPECT_EQ(eight->At(1, 0), 0xFF000000u);

  // 16 bits: 5-5-5 by default, or the masks given after the header.
  auto rgb555 = resources::DecodeBitmap(Dib(1, 1, 16, "", std::string("\x1F\x7C\0\0", 4)));
  ASSERT_TRUE(rgb555);
  EXPECT_EQ(rgb555->At(0, 0), 0xFFFF00FFu);
  std::string masks;
  Put32(masks, 0xF800);
  Put32(masks, 0x07E0);
  Put32(masks, 0x001F);
  auto rgb565 = resources::DecodeBitmap(Dib(1, 1, 16, masks, std::string("\xE0\x07\0\0", 4), 3));
  ASSERT_TRUE(rgb565);
  EXPECT_EQ(rgb565->At(0, 0), 0xFF00FF00u);

  // 32 bits: a bitmap is opaque whatever its fourth byte says.
  auto rgbx = resources::DecodeBitmap(Dib(1, 1, 32, "", std::string("\x01\x02\x03\x00", 4)));
  ASSERT_TRUE(rgbx);
  EXPECT_EQ(rgbx->At(0, 0), 0xFF030201u);

  // A larger information header puts the palette after it.
  auto v5 = resources::DecodeBitmap(
      Dib(1, 1, 1, std::string("\0\0\0\0\x40\x50\x60\0", 8), std::string("\x80\0\0\0", 4), 0, 124));
  ASSERT_TRUE(v5);
  EXPECT_EQ(v5->At(0, 0), 0xFF605040u);
}

TEST(DibDecoder, RefusesWhatItCannotShow) {
  const std::string pixel(4, '\0');
  EXPECT_FALSE(resources::DecodeBitmap(Dib(1, 1, 4, "", pixel, 2))) << "run-length encoded";
  EXPECT_FALSE(resources::DecodeBitmap(Dib(1, 1, 7, "", pixel))) << "seven bits";
  EXPECT_FALSE(resources::DecodeBitmap(Dib(0, 1, 24, "", pixel))) << "no width";
  EXPECT_FALSE(resources::DecodeBitmap(Dib(1, 0, 24, "", pixel))) << "no height";
  EXPECT_FALSE(resources::DecodeBitmap(Dib(1, 2, 24, "", pixel))) << "rows missing";
  // Sizes that would need gigabytes are refused before anything is allocated.
  EXPECT_FALSE(resources::DecodeBitmap(Dib(0x7FFFFFFF, 0x7FFFFFFF, 32, "", pixel)));
  EXPECT_FALSE(resources::DecodeBitmap(Dib(1, int(0x80000000u), 32, "", pixel)));
  EXPECT_FALSE(resources::DecodeBitmap(std::string(39, '\x28')));
}

TEST(IconDecoder, MaskOrAlphaMakesTransparency) {
  // 2 x 1 at 24 bits, then a mask with the second pixel transparent.
  const std::string colours = std::string("\x10\x20\x30\x40\x50\x60\0\0", 8);
  const std::string mask = std::string("\x40\0\0\0", 4);
  auto masked = resources::DecodeIcon(Dib(2, 2, 24, "", colours + mask));
  ASSERT_TRUE(masked);
  EXPECT_EQ(masked->width, 2);
  EXPECT_EQ(masked->height, 1);
  EXPECT_EQ(masked->At(0, 0), 0xFF302010u);
  EXPECT_EQ(masked->At(1, 0) >> 24, 0u);
  EXPECT_FALSE(resources::DecodeIcon(Dib(2, 2, 24, "", colours))) << "the mask is missing";

  // 32 bits with alpha: the alpha counts, not the mask.
  const std::string argb = std::string("\x01\x02\x03\x80\x04\x05\x06\x00", 8);
  auto alpha = resources::DecodeIcon(Dib(2, 2, 32, "", argb + std::string(4, '\0')));
  ASSERT_TRUE(alpha);
  EXPECT_EQ(alpha->At(0, 0), 0x80030201u);
  EXPECT_EQ(alpha->At(1, 0) >> 24, 0u);
  EXPECT_FALSE(resources::DecodeIcon(std::string("\x89PNG\r\n\x1A\n", 8) + std::string(64, 0)));
}

// An icon group of the given sizes, image i numbered i + 1.
std::string IconRes(std::initializer_list<int> sides) {
  ResBuilder res;
  std::string group;
  Put16(group, 0);
  Put16(group, 1);
  Put16(group, static_cast<unsigned>(sides.size()));
  int id = 1;
  for (int side : sides) {
    std::string pixels(static_cast<size_t>(side) * static_cast<size_t>(side) * 4 +
                           static_cast<size_t>((side + 31) / 32 * 4 * side),
                       '\0');
    res.Add(3, id, 0x0411, Dib(side, 2 * side, 32, "", pixels));
    group += static_cast<char>(side);
    group += static_cast<char>(side);
    group += '\0';
    group += '\0';
    Put16(group, 1);
    Put16(group, 32);
    Put32(group, 0);
    Put16(group, static_cast<unsigned>(id++));
  }
  return res.Add(14, 7, 0x0411, group).bytes;
}

TEST(IconGroup, ChoosesTheClosestSize) {
  const std::string res = IconRes({48, 16, 32});
  auto side = [&](int size) {
    auto icon = resources::LoadIcon(res, 7, size);
    return icon ? icon->width : -1;
  };
  EXPECT_EQ(side(16), 16);
  EXPECT_EQ(side(20), 16);
  EXPECT_EQ(side(24), 32) << "a tie goes to the larger image";
  EXPECT_EQ(side(100), 48);
  EXPECT_EQ(side(1), 16);
  EXPECT_FALSE(resources::LoadIcon(res, 8, 16)) << "no such group";
}

TEST(ResFile, LanguagesAndNames) {
  const std::string a(4, 'a'), b(4, 'b'), c(4, 'c');
  // The language asked for wins, wherever it stands.
  std::string res = ResBuilder().Add(6, 1, 0x0409, a).Add(6, 1, 0x0411, b).Add(6, 1, 0, c).bytes;
  EXPECT_EQ(resources::Find(res, 6, 1, 0x0411), b);
  // Then the neutral language, then English, then the first there is.
  res = ResBuilder().Add(6, 1, 0x0409, a).Add(6, 1, 0, c).bytes;
  EXPECT_EQ(resources::Find(res, 6, 1, 0x0411), c);
  res = ResBuilder().Add(6, 1, 0x040C, c).Add(6, 1, 0x0409, a).bytes;
  EXPECT_EQ(resources::Find(res, 6, 1, 0x0411), a);
  res = ResBuilder().Add(6, 1, 0x040C, c).Add(6, 1, 0x0407, a).bytes;
  EXPECT_EQ(resources::Find(res, 6, 1, 0x0411), c);
  EXPECT_FALSE(resources::Find(res, 6, 2));
  EXPECT_FALSE(resources::Find(res, 5, 1));

  // Named types and resources, as UTF-16 strings.
  std::string named = ResBuilder().bytes;
  std::string header;
  for (char ch : std::string("TYPE")) Put16(header, static_cast<uint8_t>(ch));
  Put16(header, 0);
  for (char ch : std::string("NAMEX")) Put16(header, static_cast<uint8_t>(ch));
  Put16(header, 0);
  Pad4(header);
  Put32(named, 3);
  Put32(named, static_cast<uint32_t>(8 + header.size() + 16));
  named += header + std::string(16, '\0') + "xyz";
  const auto entries = resources::ParseRes(named);
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].type, "TYPE");
  EXPECT_EQ((*entries)[0].name, "NAMEX");
  EXPECT_EQ((*entries)[0].data, "xyz");

  EXPECT_FALSE(resources::ParseRes("")) << "not even the empty entry";
  EXPECT_FALSE(resources::ParseRes(std::string(32, '\0'))) << "a 16-bit .res";
}

TEST(DialogDecoder, RefusesTheExtendedForm) {
  std::string ex;
  Put16(ex, 1);
  Put16(ex, 0xFFFF);
  ex += std::string(40, '\0');
  EXPECT_FALSE(resources::DecodeDialog(ex));
}

// Everything the backend asks of a .res, on damaged copies of our own.
void ReadEverything(std::string_view res) {
  if (auto dialog = resources::LoadDialog(res, IDD_MAIN)) {
    EXPECT_LE(dialog->items.size() * 18, res.size());
  }
  for (int id = IDB_PLAY; id <= IDB_PAGE; id++)
    if (auto image = resources::LoadBitmap(res, id)) {
      EXPECT_EQ(image->pixels.size(), size_t(image->width) * size_t(image->height));
    }
  for (int size : {16, 32})
    if (auto image = resources::LoadIcon(res, IDI_APP, size)) {
      EXPECT_EQ(image->pixels.size(), size_t(image->width) * size_t(image->height));
    }
}

TEST(DamagedRes, TruncatedAnywhere) {
  const std::string_view res = resources::EmbeddedRes();
  const auto whole = resources::LoadDialog(res, IDD_MAIN);
  ASSERT_TRUE(whole);
  for (size_t n = 0; n < res.size(); n++) {
    // A copy of its own, so that a read past the end is caught.
    const std::string cut(res.substr(0, n));
    ReadEverything(cut);
  }
  // Each resource cut short: nothing, never a half-read template or picture.
  const auto dialog = resources::Find(res, 5, IDD_MAIN);
  ASSERT_TRUE(dialog);
  for (size_t n = 0; n < dialog->size(); n++) {
    const auto cut = resources::DecodeDialog(std::string(dialog->substr(0, n)));
    if (cut) {
      ASSERT_EQ(cut->items.size(), whole->items.size()) << n;
      EXPECT_EQ(cut->items.back().text, whole->items.back().text) << n;
    }
  }
  const auto bitmap = resources::Find(res, 2, IDB_PLAY);
  ASSERT_TRUE(bitmap);
  for (size_t n = 0; n < bitmap->size(); n++)
    EXPECT_FALSE(resources::DecodeBitmap(std::string(bitmap->substr(0, n)))) << n;
}

TEST(DamagedRes, GarbledBytes) {
  const std::string res(resources::EmbeddedRes());
  std::mt19937 random(20240611);
  for (int round = 0; round < 4000; round++) {
    std::string copy = res;
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; i++) {
      const size_t at = random() % copy.size();
      // Mostly small changes to sizes and counts, sometimes any byte.
      copy[at] = static_cast<char>(
          random() % 4 ? static_cast<uint8_t>(copy[at]) ^ (1u << (random() % 8)) : random());
    }
    ReadEverything(copy);
  }
}

}  // namespace
