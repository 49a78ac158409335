// SPDX-License-Identifier: GPL-3.0-or-later
// Nero images: whatever a file ends with, the trailer check either refuses
// it with a reason or hands libcdio chunks it reads without a memory fault;
// what libcdio then reports is a table the device accepts or refuses.
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
  disc::NrgTrailer trailer;
  std::string problem;
  disc::CheckNrgTrailer(path, &trailer, &problem);
  if (!problem.empty() && !trailer.present) std::abort();  // a refusal is of a Nero footer

  disc::Disc loaded;
  std::string why;
  if (disc::LoadDisc(path, &loaded, &why) != disc::DiscState::Ready) {
    if (why.empty()) std::abort();
    return 0;
  }
  if (!problem.empty() || !trailer.present) std::abort();  // libcdio saw what was refused
  std::vector<uint8_t> sector(disc::SectorBytes);
  loaded.reader->Read(loaded.table.tracks.front().start, 1, sector.data());
  return 0;
}
