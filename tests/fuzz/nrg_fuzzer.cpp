// SPDX-License-Identifier: GPL-3.0-or-later
// Nero images: whatever a file ends with, the reader either refuses it
// with a reason that names it, or gives a table the device accepts and a
// reader that keeps to it; the front door reads it alike, whatever its name.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/sources.h"
#include "tests/fuzz/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path =
      fuzz::WriteScratch("image.nrg", std::string(reinterpret_cast<const char*>(data), size));
  disc::Disc direct;
  std::string problem;
  const bool read = disc::LoadNrgImage(path, &direct, &problem);
  if (!read && problem.find(path) != 0) std::abort();  // a refusal names the file

  disc::Disc loaded;
  std::string why;
  const bool ready = disc::LoadDisc(path, &loaded, &why) == disc::DiscState::Ready;
  if (ready != read) std::abort();
  if (!ready) {
    if (why.empty()) std::abort();
    return 0;
  }
  std::string unchecked;
  if (!disc::CheckTrackTable(loaded.table, loaded.table.leadout, &unchecked)) std::abort();
  if (loaded.text.tracks.size() > loaded.table.tracks.size()) std::abort();
  std::vector<uint8_t> sector(disc::SectorBytes);
  for (const disc::Track& track : loaded.table.tracks)
    loaded.reader->Read(track.start, 1, sector.data());
  if (loaded.reader->Read(loaded.table.leadout, 1, sector.data())) std::abort();
  return 0;
}
