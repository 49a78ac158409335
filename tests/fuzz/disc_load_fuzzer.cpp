// SPDX-License-Identifier: GPL-3.0-or-later
// The whole loading path of the images the device reads itself: a cue
// sheet or .toc over files of any size (sparse, up to terabytes) whose
// first bytes the input gives too. Loading ends with a checked table whose
// every sector can be asked for, or a reason; never a crash, hang or throw.
//
// Input: one byte choosing the sheet (modulo 3: a cue sheet, a .toc, or a
// cue sheet a.cue beside the a.bin that is loaded), three sizes of
// five bytes each (little-endian) for "a.bin", "b.raw" and "c.wav", one
// byte of head length, the head, then the sheet's text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/track_table.h"
#include "tests/fuzz/scratch.h"

namespace {

int64_t Size(const uint8_t* bytes) {
  int64_t value = 0;
  for (int i = 4; i >= 0; i--) value = value << 8 | bytes[i];
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t Header = 1 + 3 * 5 + 1;
  if (size < Header) return 0;
  const int kind = data[0] % 3;
  const size_t headBytes = data[16];
  if (size < Header + headBytes) return 0;
  const std::string head(reinterpret_cast<const char*>(data + Header), headBytes);
  const char* names[] = {"a.bin", "b.raw", "c.wav"};
  for (int i = 0; i < 3; i++) fuzz::SparseScratch(names[i], Size(data + 1 + 5 * i), head);
  const std::string sheet(reinterpret_cast<const char*>(data + Header + headBytes),
                          size - Header - headBytes);
  const char* sheetNames[] = {"disc.cue", "disc.toc", "a.cue"};
  std::string path = fuzz::WriteScratch(sheetNames[kind], sheet);
  if (kind == 2) path = fuzz::ScratchFolder() + "/a.bin";

  disc::Disc loaded;
  std::string why;
  const disc::DiscState state = disc::LoadDisc(path, &loaded, &why);
  if (state != disc::DiscState::Ready) {
    if (why.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  const disc::TrackTable& table = loaded.table;
  std::string problem;
  if (!disc::CheckTrackTable(table, table.leadout, &problem)) std::abort();
  // The first and last sectors of every track, and none past the end.
  std::vector<uint8_t> sector(2 * disc::SectorBytes);
  for (int number = table.first; number <= table.Last(); number++) {
    const int32_t start = table.Numbered(number).start;
    const int32_t end = table.NextStart(number);
    loaded.reader->Read(start, 1, sector.data());
    if (end > start) loaded.reader->Read(end - 1, 1, sector.data());
  }
  if (loaded.reader->Read(table.leadout, 1, sector.data())) std::abort();
  if (loaded.reader->Read(table.leadout - 1, 2, sector.data())) std::abort();
  return 0;
}
