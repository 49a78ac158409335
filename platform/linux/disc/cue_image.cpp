// Cue sheet images: one or more raw files of 2352-byte sectors laid end to
// end, each track's position given relative to the file it lies in.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/linux/disc/cue_sheet.h"
#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/span_reader.h"

namespace disc {

DiscState LoadCueImage(const std::string& path, Disc* disc, std::string* why) {
  std::string text;
  if (!ReadSheet(path, &text, why)) return DiscState::Unreadable;
  CueSheet sheet;
  std::string problem = ParseCueSheet(text, FolderOf(path), &sheet);
  if (!problem.empty()) {
    *why = path + ": " + problem;
    return DiscState::Unreadable;
  }

  std::unique_ptr<SpanReader> reader(new SpanReader);
  std::vector<int32_t> first;  // disc LSN of each file's first sector
  std::vector<int32_t> sectors;
  int32_t next = 0;
  for (const CueFile& named : sheet.files) {
    int64_t size = 0;
    int file = reader->Open(named.path, &size);
    if (file < 0) {
      *why = path + ": cannot open " + named.path;
      return DiscState::Unreadable;
    }
    ImageSpan span;
    span.discByte = static_cast<int64_t>(next) * SectorBytes;
    span.file = file;
    span.bigEndian = named.bigEndian;
    int32_t whole = static_cast<int32_t>(std::min<int64_t>(size / SectorBytes, INT32_MAX / 2));
    span.bytes = static_cast<int64_t>(whole) * SectorBytes;
    reader->Add(span);
    first.push_back(next);
    sectors.push_back(whole);
    next += whole;
  }

  TrackTable table;
  table.first = sheet.tracks.front().number;
  for (const CueTrack& entry : sheet.tracks) {
    Track track;
    track.start = first[static_cast<size_t>(entry.index1.file)] + entry.index1.sector;
    if (entry.index0.file >= 0)
      track.pregap = first[static_cast<size_t>(entry.index0.file)] + entry.index0.sector;
    track.audio = entry.audio;
    track.session = entry.session;
    table.tracks.push_back(track);
  }
  table.leadout = next;
  problem = CheckTrackTable(table, next);
  // A position past the end of its own file is as wrong as one past the
  // end of the disc, even when a later file makes up the sectors.
  for (const CueTrack& entry : sheet.tracks)
    if (problem.empty() && entry.index1.sector >= sectors[static_cast<size_t>(entry.index1.file)])
      problem = "track " + std::to_string(entry.number) + " starts past the end of its file";
  if (!problem.empty()) {
    *why = path + ": " + problem;
    return DiscState::Unreadable;
  }
  reader->SetSectors(next);
  disc->table = table;
  disc->reader = std::move(reader);
  return DiscState::Ready;
}

}  // namespace disc
