// SPDX-License-Identifier: GPL-3.0-or-later
// The button pictures and the disc icon as the build embeds them, checked
// against what each should show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/linux/resources/resources.h"
#include "window/resource.h"

namespace {

using resources::Image;

constexpr uint32_t Grey = 0xFFC0C0C0, Blue = 0xFF0000FF, White = 0xFFFFFFFF, Black = 0xFF000000;

Image Bitmap(int id) {
  auto image = resources::LoadBitmap(resources::EmbeddedRes(), id);
  EXPECT_TRUE(image) << id;
  return image ? *image : Image{};
}

// The columns of one row that hold `colour`, as a bit set.
uint32_t Row(const Image& image, int y, uint32_t colour) {
  uint32_t bits = 0;
  for (int x = 0; x < image.width; x++)
    if (image.At(x, y) == colour) bits |= 1u << x;
  return bits;
}

uint32_t Span(int from, int to) { return (2u << to) - (1u << from); }

uint32_t Word(std::string_view data, size_t at) {
  return static_cast<uint8_t>(data[at]) | static_cast<uint8_t>(data[at + 1]) << 8 |
         static_cast<uint8_t>(data[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(data[at + 3])) << 24;
}

TEST(ButtonPictures, StoredAsSixteenColourDibs) {
  // The standard palette, as the bytes blue, green, red, zero.
  const uint32_t palette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  for (int id = IDB_PLAY; id <= IDB_PAGE; id++) {
    SCOPED_TRACE(id);
    const auto data = resources::Find(resources::EmbeddedRes(), 2, id);
    ASSERT_TRUE(data);
    ASSERT_GE(data->size(), 40u + 64u + 128u);
    EXPECT_EQ(Word(*data, 4), 16u);                              // width
    EXPECT_EQ(Word(*data, 8), 16u);                              // height
    EXPECT_EQ(Word(*data, 12) >> 16, 4u);                        // bits per pixel
    EXPECT_EQ(Word(*data, 16), 0u);                              // uncompressed
    EXPECT_TRUE(Word(*data, 32) == 0 || Word(*data, 32) == 16);  // colours used
    for (int i = 0; i < 16; i++) EXPECT_EQ(Word(*data, 40 + 4 * size_t(i)), palette[i]) << i;
  }
}

// Only blue on light grey, and nothing blue outside rows 2-13.
void ExpectBlueOnGrey(const Image& image) {
  ASSERT_EQ(image.width, 16);
  ASSERT_EQ(image.height, 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      const uint32_t p = image.At(x, y);
      ASSERT_TRUE(p == Grey || p == Blue) << x << "," << y << " " << std::hex << p;
      if (y < 2 || y > 13) {
        EXPECT_EQ(p, Grey) << x << "," << y;
      }
    }
}

// A solid triangle pointing away from its vertical edge: every row one run
// from the edge, the same above and below the middle, widening towards it,
// where it reaches the point. `ignore` masks out the columns of a bar.
void ExpectTriangle(const Image& image, int edge, int point, uint32_t ignore = 0) {
  const int dir = point > edge ? 1 : -1;
  int lengths[16] = {};
  for (int y = 2; y <= 13; y++) {
    const uint32_t row = Row(image, y, Blue) & ~ignore;
    int length = 0;
    for (int x = edge; x >= 0 && x < 16 && (row >> x & 1); x += dir) length++;
    lengths[y] = length;
    ASSERT_GE(length, 1) << "row " << y << " misses the edge at column " << edge;
    const int end = edge + dir * (length - 1);
    EXPECT_EQ(row, Span(std::min(edge, end), std::max(edge, end)))
        << "row " << y << " is not one run from column " << edge;
    EXPECT_EQ(Row(image, 15 - y, Blue) & ~ignore, row) << "rows " << y << " and " << 15 - y;
    EXPECT_LE(dir * (end - point), 0) << "row " << y << " passes the point";
    if (y > 2 && y <= 7) {
      EXPECT_GE(length, lengths[y - 1]) << "row " << y << " narrows";
    }
  }
  EXPECT_EQ(edge + dir * (lengths[7] - 1), point) << "the middle does not reach the point";
  EXPECT_LT(lengths[2], lengths[7]) << "not a triangle";
}

TEST(ButtonPictures, Play) {
  const Image play = Bitmap(IDB_PLAY);
  ExpectBlueOnGrey(play);
  ExpectTriangle(play, 3, 12);
}

TEST(ButtonPictures, Stop) {
  const Image stop = Bitmap(IDB_STOP);
  ExpectBlueOnGrey(stop);
  for (int y = 2; y <= 13; y++) EXPECT_EQ(Row(stop, y, Blue), Span(2, 13)) << y;
}

TEST(ButtonPictures, NextAndPreviousAreTriangleAndBar) {
  const Image next = Bitmap(IDB_NEXT);
  const Image prev = Bitmap(IDB_PREV);
  ExpectBlueOnGrey(next);
  ExpectBlueOnGrey(prev);
  const uint32_t nextBar = Span(11, 12), prevBar = Span(3, 4);
  for (int y = 2; y <= 13; y++) {
    EXPECT_EQ(Row(next, y, Blue) & nextBar, nextBar) << y;
    EXPECT_EQ(Row(prev, y, Blue) & prevBar, prevBar) << y;
  }
  // The triangles' points meet the bars.
  ExpectTriangle(next, 2, 10, nextBar);
  ExpectTriangle(prev, 13, 5, prevBar);
  EXPECT_FALSE(Row(next, 2, Blue) >> 10 & 1) << "the bar and the triangle meet only mid-way";
  EXPECT_FALSE(Row(prev, 2, Blue) >> 5 & 1) << "the bar and the triangle meet only mid-way";
}

TEST(ButtonPictures, Page) {
  const Image page = Bitmap(IDB_PAGE);
  ASSERT_EQ(page.width, 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      const bool inside = x >= 2 && x <= 13 && y >= 2 && y <= 13;
      const bool border = inside && (x == 2 || x == 13 || y == 2 || y == 13);
      const bool text = (y == 5 && x >= 4 && x <= 11) || (y == 7 && x >= 4 && x <= 8);
      const uint32_t want = !inside ? Grey : border || text ? Black : White;
      EXPECT_EQ(page.At(x, y), want) << x << "," << y;
    }
}

// ---- The disc icon ------------------------------------------------------

struct Census {
  int transparent = 0, grey = 0, rim = 0, green = 0, yellow = 0, black = 0, other = 0;
  double greenX = 0, greenY = 0;  // mean position of the green pixels
};

bool IsGreen(uint32_t p) {
  const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
  return p >> 24 && g >= 128 && r == 0 && b == 0;
}
bool IsYellow(uint32_t p) { return p == 0xFFFFFF00; }

Census Count(const Image& icon, int x0, int y0, int x1, int y1) {
  Census c;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) {
      const uint32_t p = icon.At(x, y);
      if (p >> 24 == 0) {
        c.transparent++;
      } else if (p == Grey) {
        c.grey++;
      } else if (p == 0xFF808080) {
        c.rim++;
      } else if (IsGreen(p)) {
        c.green++;
        c.greenX += x;
        c.greenY += y;
      } else if (IsYellow(p)) {
        c.yellow++;
      } else if (p == Black) {
        c.black++;
      } else {
        c.other++;
      }
    }
  if (c.green) c.greenX /= c.green, c.greenY /= c.green;
  return c;
}

// A round disc: transparent corners and centre, opaque between, and the
// centre hole ringed in black.
void ExpectDisc(const Image& icon) {
  const int n = icon.width;
  const double c = n / 2.0;
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) {
      const double r = std::hypot(x + 0.5 - c, y + 0.5 - c);
      const bool opaque = icon.At(x, y) >> 24;
      if (r > c) {
        EXPECT_FALSE(opaque) << "outside the disc at " << x << "," << y;
      }
      if (r < 1.0) {
        EXPECT_FALSE(opaque) << "the hole is filled at " << x << "," << y;
      }
      if (r >= n / 8.0 && r <= c - 1.5) {
        EXPECT_TRUE(opaque) << "a gap at " << x << "," << y;
      }
    }
  // Walking out from the centre in each direction: hole, then black.
  const int dirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  for (const auto& d : dirs) {
    int x = n / 2, y = n / 2, step = 0;
    while (!(icon.At(x, y) >> 24) && step++ < n / 2) x += d[0], y += d[1];
    EXPECT_EQ(icon.At(x, y), Black) << "no black ring towards " << d[0] << "," << d[1];
  }
  const Census all = Count(icon, 0, 0, n, n);
  EXPECT_GT(all.grey, all.green + all.yellow + all.black) << "the disc is not mostly grey";
}

TEST(DiscIcon, GroupHoldsTwoSixteenColourImages) {
  const auto group = resources::Find(resources::EmbeddedRes(), 14, IDI_APP);
  ASSERT_TRUE(group);
  ASSERT_EQ(group->size(), 6u + 2 * 14u);
  EXPECT_EQ(uint8_t((*group)[4]), 2);
  for (int i = 0; i < 2; i++) {
    const std::string_view entry = group->substr(6 + 14 * static_cast<size_t>(i), 14);
    const int side = static_cast<uint8_t>(entry[0]);
    EXPECT_TRUE(side == 32 || side == 16) << side;
    EXPECT_EQ(uint8_t(entry[1]), side);
    EXPECT_EQ(uint8_t(entry[2]), 16) << "colours";
    const int id = static_cast<uint8_t>(entry[12]) | static_cast<uint8_t>(entry[13]) << 8;
    const auto image = resources::Find(resources::EmbeddedRes(), 3, id);
    ASSERT_TRUE(image);
    EXPECT_EQ(Word(*image, 12) >> 16, 4u) << "bits per pixel";
  }
}

TEST(DiscIcon, LargeImage) {
  const auto icon = resources::LoadIcon(resources::EmbeddedRes(), IDI_APP, 32);
  ASSERT_TRUE(icon);
  ASSERT_EQ(icon->width, 32);
  ASSERT_EQ(icon->height, 32);
  ExpectDisc(*icon);
  // One green sector, upper right; yellow upper left and lower middle.
  const Census all = Count(*icon, 0, 0, 32, 32);
  EXPECT_GT(all.green, 20);
  EXPECT_GT(all.greenX, 16);
  EXPECT_LT(all.greenY, 16);
  const Census upperLeft = Count(*icon, 0, 0, 16, 16);
  const Census upperRight = Count(*icon, 16, 0, 32, 16);
  const Census lowerMiddle = Count(*icon, 10, 20, 22, 32);
  EXPECT_GT(upperLeft.yellow, 20);
  EXPECT_GT(lowerMiddle.yellow, 20);
  EXPECT_EQ(upperRight.yellow, 0);
  EXPECT_EQ(upperLeft.yellow + lowerMiddle.yellow, all.yellow);
  EXPECT_EQ(all.other, 0);
}

TEST(DiscIcon, SmallImage) {
  const auto icon = resources::LoadIcon(resources::EmbeddedRes(), IDI_APP, 16);
  ASSERT_TRUE(icon);
  ASSERT_EQ(icon->width, 16);
  ASSERT_EQ(icon->height, 16);
  ExpectDisc(*icon);
  // Two yellow wedges, upper left and lower right, each edged in green.
  const Census upperLeft = Count(*icon, 0, 0, 8, 8), lowerRight = Count(*icon, 8, 8, 16, 16);
  const Census all = Count(*icon, 0, 0, 16, 16);
  EXPECT_GT(upperLeft.yellow, 2);
  EXPECT_GT(lowerRight.yellow, 2);
  EXPECT_EQ(upperLeft.yellow + lowerRight.yellow, all.yellow);
  EXPECT_EQ(all.other, 0);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      if (!IsYellow(icon->At(x, y))) continue;
      for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        const uint32_t n = icon->At(x + dx, y + dy);
        EXPECT_TRUE(IsYellow(n) || IsGreen(n)) << "yellow at " << x << "," << y << " not edged";
      }
    }
}

}  // namespace
