// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/simdrive/sheet.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/linux/disc/sheets.h"
#include "platform/linux/disc/track_table.h"

namespace simdrive {

const SheetTrack* Sheet::TrackAt(int32_t lsn) const {
  const SheetTrack* found = nullptr;
  for (const SheetTrack& track : tracks) {
    if (track.start > lsn) break;
    found = &track;
  }
  if (!found || lsn >= sessionEnds[static_cast<size_t>(found->session - 1)]) return nullptr;
  return found;
}

const SheetTrack* Sheet::QTrackAt(int32_t lsn) const {
  for (const SheetTrack& track : tracks)
    if (track.pregap >= 0 && lsn >= track.pregap && lsn < track.start) return &track;
  return TrackAt(lsn);
}

const SheetTrack& Sheet::LastSessionFirst() const {
  for (const SheetTrack& track : tracks)
    if (track.session == Sessions()) return track;
  return tracks.back();
}

bool ReadSheet(const std::string& cuePath, Sheet* sheet, std::string* error) {
  std::ifstream in(cuePath);
  if (!in) {
    *error = cuePath + ": cannot be read";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  size_t slash = cuePath.rfind('/');
  disc::CueSheet cue;
  std::string problem;
  if (disc::ParseCueSheet(text.str(),
                          slash == std::string::npos ? "" : cuePath.substr(0, slash + 1), &cue,
                          &problem) &&
      (cue.files.size() != 1 || cue.files[0].audio || cue.files[0].bigEndian))
    problem = "a drive holds one BINARY file of raw sectors";
  if (!problem.empty()) {
    *error = cuePath + ": " + problem;
    return false;
  }
  *sheet = Sheet();
  sheet->binPath = cue.files[0].path;
  sheet->text.disc = cue.text;
  sheet->catalog = cue.catalog;
  for (const disc::CueTrack& entry : cue.tracks) sheet->text.tracks.push_back(entry.text);
  for (const disc::CueTrack& entry : cue.tracks)
    sheet->tracks.push_back(SheetTrack{entry.number, entry.audio, entry.index1.sector,
                                       entry.session, entry.audio && entry.preEmphasis,
                                       entry.index0.sector, entry.audio ? entry.isrc : ""});
  struct stat info;
  if (stat(sheet->binPath.c_str(), &info) != 0) {
    *error = sheet->binPath + ": missing";
    return false;
  }
  sheet->leadout = static_cast<int32_t>(info.st_size / SectorBytes);
  for (size_t i = 0; i < sheet->tracks.size(); i++) {
    const SheetTrack& track = sheet->tracks[i];
    int32_t next = i + 1 < sheet->tracks.size() ? sheet->tracks[i + 1].start : sheet->leadout;
    if (track.start >= next || track.session < sheet->Sessions() ||
        track.session > sheet->Sessions() + 1) {
      *error = cuePath + ": track " + std::to_string(track.number) + " is out of place";
      return false;
    }
    if (track.session > sheet->Sessions()) sheet->sessionEnds.push_back(0);
    // The area between two sessions belongs to neither.
    bool lastOfSession =
        i + 1 == sheet->tracks.size() || sheet->tracks[i + 1].session != track.session;
    int32_t end = i + 1 < sheet->tracks.size() && lastOfSession ? next - disc::SessionGap : next;
    if (end <= track.start) {
      *error = cuePath + ": no room between the sessions";
      return false;
    }
    sheet->sessionEnds.back() = end;
  }
  return true;
}

}  // namespace simdrive
