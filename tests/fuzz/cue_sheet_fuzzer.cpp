// SPDX-License-Identifier: GPL-3.0-or-later
// Cue sheets as a user's files hold them: whatever the text, parsing ends
// with a sheet the loader can index without a check of its own, or a reason.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/linux/disc/sheets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  disc::CueSheet sheet;
  std::string problem;
  if (!disc::ParseCueSheet(text, "/nonexistent", &sheet, &problem)) return 0;
  if (sheet.tracks.empty() || sheet.files.empty()) std::abort();
  const int files = static_cast<int>(sheet.files.size());
  for (size_t i = 0; i < sheet.tracks.size(); i++) {
    const disc::CueTrack& track = sheet.tracks[i];
    if (track.number < 1 || track.number > 99) std::abort();
    if (i > 0 && track.number != sheet.tracks[i - 1].number + 1) std::abort();
    if (track.index1.file < 0 || track.index1.file >= files || track.index1.sector < 0)
      std::abort();
    if (track.index0.file >= files) std::abort();
  }
  return 0;
}
