// SPDX-License-Identifier: GPL-3.0-or-later
// cdrdao .toc files: parsing never throws, and a sheet it accepts names
// only files it lists, with lengths and offsets that cannot overflow.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/linux/disc/sheets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  disc::TocSheet sheet;
  std::string problem;
  if (!disc::ParseTocSheet(text, "/nonexistent", &sheet, &problem)) return 0;
  if (sheet.tracks.empty() || sheet.tracks.size() > 99) std::abort();
  const int files = static_cast<int>(sheet.files.size());
  for (const disc::TocTrack& track : sheet.tracks) {
    if (track.pieces.empty() || track.blockBytes <= 0) std::abort();
    for (const disc::TocPiece& piece : track.pieces) {
      if (piece.file >= files) std::abort();
      if (piece.offset < 0 || piece.start < 0 || piece.length < -1) std::abort();
      if (piece.offset > (int64_t{1} << 42) || piece.length > (int64_t{1} << 42)) std::abort();
    }
  }
  return 0;
}
