// SPDX-License-Identifier: GPL-3.0-or-later
// Cue sheet images: raw files of 2352-byte sectors or audio files laid end
// to end, with the silence PREGAP and POSTGAP add between them, each
// track's position given relative to the file it lies in. And a raw image
// named by itself rather than by its sheet: the cue sheet of the same name
// beside it says where the tracks lie; a bin without one is a single audio
// track.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/linux/disc/sources.h"

namespace disc {

namespace {

// Silence the sheet adds at a place in its files.
struct Gap {
  CuePosition at;
  int32_t sectors;
};

bool Before(const CuePosition& a, const CuePosition& b) {
  return a.file < b.file || (a.file == b.file && a.sector < b.sector);
}

// Where the sheet's files and gaps put things on the disc.
class Layout {
 public:
  Layout(const std::vector<int32_t>& fileSectors, std::vector<Gap> gaps)
      : fileSectors_(fileSectors), gaps_(std::move(gaps)) {
    std::stable_sort(gaps_.begin(), gaps_.end(),
                     [](const Gap& a, const Gap& b) { return Before(a.at, b.at); });
  }

  // The disc LSN of a position: gaps at or before it come first.
  int32_t Lsn(const CuePosition& position) const {
    int64_t lsn = 0;
    for (int file = 0; file < position.file; file++) lsn += fileSectors_[static_cast<size_t>(file)];
    lsn += position.sector;
    for (const Gap& gap : gaps_)
      if (!Before(position, gap.at)) lsn += gap.sectors;
    return static_cast<int32_t>(std::min<int64_t>(lsn, INT32_MAX / 2));
  }

  // Lays the files' spans on the disc, leaving the gaps silent; the disc's length.
  int32_t Place(const std::vector<ImageSpan>& files, SpanReader* reader) const {
    int64_t next = 0;
    size_t gap = 0;
    for (size_t file = 0; file < files.size(); file++) {
      int32_t done = 0;
      auto take = [&](int32_t upTo) {
        if (upTo <= done) return;
        ImageSpan span = files[file];
        span.discByte = next * SectorBytes;
        span.fileByte += static_cast<int64_t>(done) * SectorBytes;
        span.bytes = static_cast<int64_t>(upTo - done) * SectorBytes;
        reader->Add(span);
        next += upTo - done;
        done = upTo;
      };
      for (; gap < gaps_.size() && gaps_[gap].at.file == static_cast<int>(file); gap++) {
        take(std::min(gaps_[gap].at.sector, fileSectors_[file]));
        next += gaps_[gap].sectors;
      }
      take(fileSectors_[file]);
    }
    return static_cast<int32_t>(std::min<int64_t>(next, INT32_MAX / 2));
  }

 private:
  const std::vector<int32_t>& fileSectors_;
  std::vector<Gap> gaps_;
};

}  // namespace

bool ReadCueSheet(const std::string& path, CueSheet* sheet, std::string* why) {
  std::string bytes, text, problem;
  if (!ReadSheet(path, &bytes, why)) return false;
  if (DecodeSheetText(bytes, &text, &problem) &&
      ParseCueSheet(text, FolderOf(path), sheet, &problem))
    return true;
  *why = path + ": " + problem;
  return false;
}

bool LoadCueImage(const std::string& path, Disc* disc, std::string* why) {
  CueSheet sheet;
  if (!ReadCueSheet(path, &sheet, why)) return false;
  return LoadCueImage(path, sheet, disc, why);
}

namespace {

// The files the sheet names, opened into `reader` as spans from LSN 0,
// with the sectors each holds.
bool OpenFiles(const CueSheet& sheet, SpanReader* reader, std::vector<ImageSpan>* files,
               std::vector<int32_t>* sectors, std::string* why) {
  int64_t total = 0;
  for (const CueFile& named : sheet.files) {
    ImageSpan span;
    int64_t whole = 0;
    if (named.audio) {
      // Positions count sectors of 588 frames whatever the file's header;
      // a last part-sector is made whole with silence.
      auto audio = std::make_unique<AudioFile>();
      if (!audio->Open(named.path, why)) return false;
      whole = (audio->Frames() + FramesPerSector - 1) / FramesPerSector;
      span.audio = reader->AddAudio(std::move(audio));
    } else {
      int64_t size = 0;
      if (!reader->Open(named.path, &span.file, &size, why)) return false;
      span.bigEndian = named.bigEndian;
      whole = size / SectorBytes;
    }
    files->push_back(span);
    sectors->push_back(static_cast<int32_t>(std::min(whole, MaxImageSectors)));
    // Files far larger than any disc: sizes are added in 64 bits and
    // refused before a sector number could overflow.
    total += whole;
    if (total > MaxImageSectors) {
      *why = "its files hold more than a disc can";
      return false;
    }
  }
  return true;
}

// POSTGAP silence follows a track, up to where the next one begins in
// the files; PREGAP silence comes just before the track's INDEX 01.
std::vector<Gap> Gaps(const CueSheet& sheet, const std::vector<int32_t>& sectors) {
  std::vector<Gap> gaps;
  for (size_t i = 0; i < sheet.tracks.size(); i++) {
    const CueTrack& entry = sheet.tracks[i];
    if (entry.pregapSilence > 0) gaps.push_back({entry.index1, entry.pregapSilence});
    if (entry.postgapSilence > 0) {
      CuePosition end{static_cast<int>(sectors.size()) - 1, sectors.back()};
      if (i + 1 < sheet.tracks.size())
        end = sheet.tracks[i + 1].index0.file >= 0 ? sheet.tracks[i + 1].index0
                                                   : sheet.tracks[i + 1].index1;
      gaps.push_back({end, entry.postgapSilence});
    }
  }
  return gaps;
}

// The table of the tracks as `layout` places them, the disc `leadout`
// sectors long.
TrackTable Table(const CueSheet& sheet, const Layout& layout, int32_t leadout) {
  TrackTable table;
  table.first = sheet.tracks.front().number;
  for (const CueTrack& entry : sheet.tracks) {
    Track track;
    track.start = layout.Lsn(entry.index1);
    if (entry.index0.file >= 0)
      track.pregap = layout.Lsn(entry.index0);
    else if (entry.pregapSilence > 0)
      track.pregap = track.start - entry.pregapSilence;
    track.audio = entry.audio;
    track.preEmphasis = entry.audio && entry.preEmphasis;
    track.session = entry.session;
    table.tracks.push_back(track);
  }
  table.leadout = leadout;
  return table;
}

// A position past the end of its own file is as wrong as one past the
// end of the disc, even when a later file makes up the sectors.
bool CheckPositions(const CueSheet& sheet, const std::vector<int32_t>& sectors, std::string* why) {
  for (const CueTrack& entry : sheet.tracks) {
    const CueFile& file = sheet.files[static_cast<size_t>(entry.index1.file)];
    const std::string name = "track " + std::to_string(entry.number);
    if (entry.index1.sector >= sectors[static_cast<size_t>(entry.index1.file)]) {
      *why = name + " starts past the end of " + file.path;
      return false;
    }
    if (!entry.audio && file.audio) {
      *why = name + " is data, but " + file.path + " is an audio file";
      return false;
    }
  }
  return true;
}

}  // namespace

bool LoadCueImage(const std::string& path, const CueSheet& sheet, Disc* disc, std::string* why) {
  std::string problem;
  auto reader = std::make_unique<SpanReader>();
  std::vector<ImageSpan> files;
  std::vector<int32_t> sectors;
  if (!OpenFiles(sheet, reader.get(), &files, &sectors, &problem)) {
    *why = path + ": " + problem;
    return false;
  }
  Layout layout(sectors, Gaps(sheet, sectors));
  const TrackTable table = Table(sheet, layout, layout.Place(files, reader.get()));
  if (!CheckPositions(sheet, sectors, &problem)) {
    *why = path + ": " + problem;
    return false;
  }
  if (!FinishSheetImage(path, table, std::move(reader), sheet, disc, why)) return false;
  if (!sheet.cdTextFile.empty()) AddCdTextFile(sheet.cdTextFile, disc->table, &disc->text);
  return true;
}

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

bool LoadBinImage(const std::string& path, Disc* disc, std::string* why) {
  // The sheet beside it is found as a sheet's own files are, its extension
  // in any letter case.
  std::string sheetPath, problem;
  if (FindSheetFile("", path.substr(0, path.size() - 4) + ".cue", false, &sheetPath, &problem)) {
    CueSheet sheet;
    if (!ReadCueSheet(sheetPath, &sheet, why)) return false;
    bool named = false;
    for (const CueFile& file : sheet.files) named = named || SameFile(file.path, path);
    if (!named) {
      *why = path + ": the cue sheet beside it, " + sheetPath + ", names other files";
      return false;
    }
    return LoadCueImage(sheetPath, sheet, disc, why);
  }

  auto reader = std::make_unique<SpanReader>();
  int file = 0;
  int64_t size = 0;
  if (!reader->Open(path, &file, &size, why)) return false;
  const int64_t sectors = size / SectorBytes;
  if (sectors > MaxImageSectors) {
    *why = path + ": larger than a disc can be";
    return false;
  }
  TrackTable table;
  table.tracks.push_back(Track());
  table.leadout = static_cast<int32_t>(sectors);
  ImageSpan span;
  span.bytes = sectors * SectorBytes;
  span.file = file;
  reader->Add(span);
  return FinishImage(path, table, std::move(reader), disc, why);
}

}  // namespace disc
