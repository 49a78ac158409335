// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the window's pictures and writes them as the files the resource
// script includes: five 16 x 16 button bitmaps and the two-image disc icon,
// all 4 bits per pixel over the standard 16-colour palette.
//
// Usage: make_pictures DIR   (normally window/res). The build does not run
// it; the files it writes are kept in the source tree.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The standard 16-colour palette, as RGB.
const uint8_t Palette[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

enum Colour : uint8_t {
  Black = 0,
  Green = 2,
  LightGrey = 7,
  DarkGrey = 8,
  Lime = 10,
  Yellow = 11,
  Blue = 12,
  White = 15
};

// A picture as palette indices, rows from the top; `opaque` is false where
// an icon is transparent.
struct Picture {
  int size;
  std::vector<uint8_t> index;
  std::vector<bool> opaque;
  explicit Picture(int n)
      : size(n),
        index(static_cast<size_t>(n * n), Black),
        opaque(static_cast<size_t>(n * n), true) {}
  void Set(int x, int y, uint8_t colour) { index[static_cast<size_t>(y * size + x)] = colour; }
};

// Button pictures are drawn as text: '.' light grey, 'B' blue, 'W' white,
// 'K' black.
Picture FromArt(const char* const art[16]) {
  Picture p(16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      switch (art[y][x]) {
        case 'B':
          p.Set(x, y, Blue);
          break;
        case 'W':
          p.Set(x, y, White);
          break;
        case 'K':
          p.Set(x, y, Black);
          break;
        default:
          p.Set(x, y, LightGrey);
          break;
      }
    }
  return p;
}

// clang-format off
const char* const PlayArt[16] = {
    "................",
    "................",
    "...BB...........",
    "...BBB..........",
    "...BBBBB........",
    "...BBBBBBB......",
    "...BBBBBBBBB....",
    "...BBBBBBBBBB...",
    "...BBBBBBBBBB...",
    "...BBBBBBBBB....",
    "...BBBBBBB......",
    "...BBBBB........",
    "...BBB..........",
    "...BB...........",
    "................",
    "................",
};

const char* const StopArt[16] = {
    "................",
    "................",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "..BBBBBBBBBBBB..",
    "................",
    "................",
};

const char* const NextArt[16] = {
    "................",
    "................",
    "..BB.......BB...",
    "..BBB......BB...",
    "..BBBB.....BB...",
    "..BBBBBB...BB...",
    "..BBBBBBB..BB...",
    "..BBBBBBBBBBB...",
    "..BBBBBBBBBBB...",
    "..BBBBBBB..BB...",
    "..BBBBBB...BB...",
    "..BBBB.....BB...",
    "..BBB......BB...",
    "..BB.......BB...",
    "................",
    "................",
};

const char* const PrevArt[16] = {
    "................",
    "................",
    "...BB.......BB..",
    "...BB......BBB..",
    "...BB.....BBBB..",
    "...BB...BBBBBB..",
    "...BB..BBBBBBB..",
    "...BBBBBBBBBBB..",
    "...BBBBBBBBBBB..",
    "...BB..BBBBBBB..",
    "...BB...BBBBBB..",
    "...BB.....BBBB..",
    "...BB......BBB..",
    "...BB.......BB..",
    "................",
    "................",
};

const char* const PageArt[16] = {
    "................",
    "................",
    "..KKKKKKKKKKKK..",
    "..KWWWWWWWWWWK..",
    "..KWWWWWWWWWWK..",
    "..KWKKKKKKKKWK..",
    "..KWWWWWWWWWWK..",
    "..KWKKKKKWWWWK..",
    "..KWWWWWWWWWWK..",
    "..KWWWWWWWWWWK..",
    "..KWWWWWWWWWWK..",
    "..KWWWWWWWWWWK..",
    "..KWWWWWWWWWWK..",
    "..KKKKKKKKKKKK..",
    "................",
    "................",
};
// clang-format on

// The disc seen from above, drawn in polar terms around the picture's
// centre. Angles are in degrees, counter-clockwise from the right, with y
// pointing up as on paper.
struct Disc {
  double outer;     // the disc's edge
  double rim;       // a darker rim from here to the edge
  double hole;      // transparent inside this radius
  double ring;      // black from the hole to here
  double bandFrom;  // coloured sectors lie between these radii
  double bandTo;
};

struct Sector {
  double from, to;  // degrees
  uint8_t colour;
  bool edged;  // drawn with a green edge around a yellow inside
};

bool InSector(double angle, const Sector& s) { return angle >= s.from && angle <= s.to; }

Picture DrawDisc(int n, const Disc& d, const std::vector<Sector>& sectors) {
  Picture p(n);
  const double c = n / 2.0;
  auto polar = [&](int x, int y, double& r, double& a) {
    double dx = x + 0.5 - c, dy = c - (y + 0.5);
    r = std::hypot(dx, dy);
    a = std::atan2(dy, dx) * 180.0 / M_PI;
    if (a < 0) a += 360.0;
  };
  // Which sector a pixel belongs to, -1 for none.
  auto sectorAt = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= n || y >= n) return -1;
    double r, a;
    polar(x, y, r, a);
    if (r < d.bandFrom || r > d.bandTo) return -1;
    for (size_t i = 0; i < sectors.size(); i++)
      if (InSector(a, sectors[i])) return static_cast<int>(i);
    return -1;
  };
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) {
      double r, a;
      polar(x, y, r, a);
      if (r > d.outer || r < d.hole) {
        p.opaque[static_cast<size_t>(y * n + x)] = false;
        continue;
      }
      uint8_t colour = r >= d.rim ? DarkGrey : r < d.ring ? Black : LightGrey;
      int s = sectorAt(x, y);
      if (s >= 0) {
        colour = sectors[static_cast<size_t>(s)].colour;
        if (sectors[static_cast<size_t>(s)].edged) {
          bool edge = sectorAt(x - 1, y) != s || sectorAt(x + 1, y) != s ||
                      sectorAt(x, y - 1) != s || sectorAt(x, y + 1) != s;
          colour = edge ? Green : Yellow;
        }
      }
      p.Set(x, y, colour);
    }
  return p;
}

Picture LargeIcon() {
  return DrawDisc(32, {15.5, 14.6, 2.6, 4.2, 6.0, 13.5},
                  {{28, 62, Lime, false}, {118, 152, Yellow, false}, {252, 288, Yellow, false}});
}

Picture SmallIcon() {
  return DrawDisc(16, {7.6, 6.7, 1.2, 2.3, 2.3, 6.7},
                  {{105, 165, Yellow, true}, {285, 345, Yellow, true}});
}

// ---- File formats, little-endian ---------------------------------------

void Put16(std::string& out, unsigned v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// BITMAPINFOHEADER, the palette and the 4-bit rows, bottom-up. An icon
// image is twice as high: its transparency mask follows the colours.
std::string Dib(const Picture& p, bool withMask) {
  const int n = p.size;
  const uint32_t colourStride = static_cast<uint32_t>((n * 4 + 31) / 32 * 4);
  const uint32_t maskStride = static_cast<uint32_t>((n + 31) / 32 * 4);
  const uint32_t imageSize = colourStride * static_cast<uint32_t>(n) +
                             (withMask ? maskStride * static_cast<uint32_t>(n) : 0);
  std::string out;
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(n));
  Put32(out, static_cast<uint32_t>(withMask ? 2 * n : n));
  Put16(out, 1);  // planes
  Put16(out, 4);  // bits per pixel
  Put32(out, 0);  // BI_RGB
  Put32(out, imageSize);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);  // every palette entry is used
  Put32(out, 0);
  for (const auto& rgb : Palette) {
    out += static_cast<char>(rgb[2]);
    out += static_cast<char>(rgb[1]);
    out += static_cast<char>(rgb[0]);
    out += static_cast<char>(0);
  }
  for (int y = n - 1; y >= 0; y--) {
    std::string row(colourStride, '\0');
    for (int x = 0; x < n; x++) {
      size_t i = static_cast<size_t>(y * n + x);
      uint8_t v = p.opaque[i] ? p.index[i] : static_cast<uint8_t>(Black);  // black under the mask
      row[static_cast<size_t>(x / 2)] = static_cast<char>(
          static_cast<uint8_t>(row[static_cast<size_t>(x / 2)]) | (x % 2 ? v : v << 4));
    }
    out += row;
  }
  if (withMask) {
    for (int y = n - 1; y >= 0; y--) {
      std::string row(maskStride, '\0');
      for (int x = 0; x < n; x++)
        if (!p.opaque[static_cast<size_t>(y * n + x)])
          row[static_cast<size_t>(x / 8)] = static_cast<char>(
              static_cast<uint8_t>(row[static_cast<size_t>(x / 8)]) | (0x80 >> (x % 8)));
      out += row;
    }
  }
  return out;
}

std::string BmpFile(const Picture& p) {
  const std::string dib = Dib(p, false);
  std::string out = "BM";
  Put32(out, static_cast<uint32_t>(14 + dib.size()));
  Put32(out, 0);
  Put32(out, 14 + 40 + 16 * 4);  // offset of the pixels
  return out + dib;
}

std::string IcoFile(const std::vector<Picture>& images) {
  std::string out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, static_cast<unsigned>(images.size()));
  std::vector<std::string> dibs;
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (const Picture& p : images) {
    dibs.push_back(Dib(p, true));
    out += static_cast<char>(p.size);
    out += static_cast<char>(p.size);
    out += static_cast<char>(16);  // colours
    out += static_cast<char>(0);
    Put16(out, 1);  // planes
    Put16(out, 4);  // bits per pixel
    Put32(out, static_cast<uint32_t>(dibs.back().size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(dibs.back().size());
  }
  for (const std::string& dib : dibs) out += dib;
  return out;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::perror(path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  bool ok = WriteFile(dir + "play.bmp", BmpFile(FromArt(PlayArt)));
  ok = WriteFile(dir + "stop.bmp", BmpFile(FromArt(StopArt))) && ok;
  ok = WriteFile(dir + "next.bmp", BmpFile(FromArt(NextArt))) && ok;
  ok = WriteFile(dir + "prev.bmp", BmpFile(FromArt(PrevArt))) && ok;
  ok = WriteFile(dir + "page.bmp", BmpFile(FromArt(PageArt))) && ok;
  ok = WriteFile(dir + "korvane.ico", IcoFile({LargeIcon(), SmallIcon()})) && ok;
  return ok ? 0 : 1;
}
