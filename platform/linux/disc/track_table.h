// SPDX-License-Identifier: GPL-3.0-or-later
// The disc's table of contents as the device answers from it: where each
// track starts, which tracks hold audio, and where playable audio ends.
// Positions are logical sector numbers (LSN); MSF time is LSN + 150.
#ifndef KORVANE_PLATFORM_LINUX_DISC_TRACK_TABLE_H
#define KORVANE_PLATFORM_LINUX_DISC_TRACK_TABLE_H

#include <cstdint>
#include <string>
#include <vector>

namespace disc {

constexpr int SectorBytes = 2352;     // one CD-DA sector: 588 stereo 16-bit frames
constexpr int SectorsPerSecond = 75;  // CD "frames" per second
constexpr int SampleRate = 44100;
constexpr int SampleBytes = 4;     // one stereo sample of two 16-bit channels
constexpr int MsfOffset = 150;     // MSF 00:02:00 is LSN 0
constexpr int SessionGap = 11400;  // lead-out, lead-in and pregap between two sessions
constexpr int DataPregap = 150;    // a data track's pregap after audio
constexpr int MaxTracks = 99;
// The stereo samples of one sector: 588.
constexpr int FramesPerSector = SectorBytes / SampleBytes;

struct Track {
  int32_t start = 0;    // LSN of index 1
  int32_t pregap = -1;  // LSN of index 0 when the source knows it, else -1
  bool audio = true;    // false when the control bits mark data
  int session = 1;
  bool preEmphasis = false;  // recorded with the 50/15 µs pre-emphasis, to be undone
};

struct TrackTable {
  int first = 1;  // number of the first track
  std::vector<Track> tracks;
  int32_t leadout = 0;  // LSN just past the last track

  int Last() const { return first + static_cast<int>(tracks.size()) - 1; }
  bool Has(int number) const { return number >= first && number <= Last(); }
  // The track numbered `number`.
  const Track& Numbered(int number) const { return tracks[number - first]; }
  // Start of the track after `number`, or the leadout after the last one.
  int32_t NextStart(int number) const;
};

// Whether the table can describe a disc that holds `available` sectors
// (negative: unknown); when it cannot, `why` says so.
bool CheckTrackTable(const TrackTable& table, int32_t available, std::string* why);

// A track's length as the platform reports it: up to the next track, one
// sector less for the last track, without the gap before a data session.
int32_t TrackLength(const TrackTable& table, int number);

// The sector past the last audio sector that a play starting in track
// `number` may reach: it stops before a data track, its pregap or the gap
// before a data session.
int32_t AudioEnd(const TrackTable& table, int number);

// The track that holds `lsn`, or 0 when it lies outside every track.
int TrackAt(const TrackTable& table, int32_t lsn);

// Packs a sector count as MSF: minutes in byte 0, seconds in 1, frames in 2.
uint32_t PackMsf(int32_t sectors);

}  // namespace disc

#endif
