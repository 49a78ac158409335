// SPDX-License-Identifier: GPL-3.0-or-later
// The disc a simulated drive holds: the track table of a cue sheet over
// one bin of raw 2352-byte sectors, as mkdisc writes them.
#ifndef KORVANE_TOOLS_SIMDRIVE_SHEET_H
#define KORVANE_TOOLS_SIMDRIVE_SHEET_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/disc/disc_text.h"

namespace simdrive {

constexpr int SectorBytes = 2352;

struct SheetTrack {
  int number = 0;
  bool audio = true;
  int32_t start = 0;  // LSN of INDEX 01
  int session = 1;
  bool preEmphasis = false;
  int32_t pregap = -1;  // LSN of INDEX 00, or -1
  std::string isrc;     // its recording code, or empty
  // The control bits of the track's TOC entry and Q sub-channel.
  uint8_t Control() const {
    return static_cast<uint8_t>((audio ? 0 : 0x04) | (preEmphasis ? 0x01 : 0));
  }
};

struct Sheet {
  std::string binPath;
  std::vector<SheetTrack> tracks;
  int32_t leadout = 0;  // the bin's length in sectors
  // Where each session's area ends (its lead-out), by session number - 1.
  std::vector<int32_t> sessionEnds;
  disc::DiscText text;  // the sheet's TITLE and PERFORMER lines, for its CD-Text
  std::string catalog;  // the disc's catalogue number, or empty
  int Sessions() const { return static_cast<int>(sessionEnds.size()); }
  // The track holding `lsn`, or nullptr outside every session's tracks.
  const SheetTrack* TrackAt(int32_t lsn) const;
  // The track whose pregap or body holds `lsn` (a pregap belongs to the
  // track it leads into, as the Q sub-channel says), or nullptr.
  const SheetTrack* QTrackAt(int32_t lsn) const;
  // The first track of the last session.
  const SheetTrack& LastSessionFirst() const;
};

// Reads `cuePath` with the player's cue sheet parser; false with `error`
// set when it is not a sheet this drive can hold.
bool ReadSheet(const std::string& cuePath, Sheet* sheet, std::string* error);

}  // namespace simdrive

#endif
