// A raw image named by itself rather than by its sheet. The cue sheet of
// the same name beside it says where the tracks lie, and the device reads
// it as any cue sheet; a bin without one is a single audio track.
#include <sys/stat.h>

#include <memory>

#include "platform/linux/disc/cue_sheet.h"
#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/loaders.h"
#include "platform/linux/disc/span_reader.h"

namespace disc {

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The cue sheet beside `path` with its name, or an empty string.
std::string SheetBeside(const std::string& path) {
  const std::string stem = path.substr(0, path.size() - 4);
  for (const char* extension : {".cue", ".CUE", ".Cue"}) {
    struct stat info;
    if (stat((stem + extension).c_str(), &info) == 0) return stem + extension;
  }
  return "";
}

}  // namespace

DiscState LoadBinImage(const std::string& path, Disc* disc, std::string* why) {
  const std::string sheetPath = SheetBeside(path);
  if (!sheetPath.empty()) {
    CueSheet sheet;
    if (!ReadCueSheet(sheetPath, &sheet, why)) return DiscState::Unreadable;
    bool named = false;
    for (const CueFile& file : sheet.files) named = named || SameFile(file.path, path);
    if (!named) {
      *why = path + ": the cue sheet beside it, " + sheetPath + ", names other files";
      return DiscState::Unreadable;
    }
    return LoadCueImage(sheetPath, sheet, disc, why);
  }

  std::unique_ptr<SpanReader> reader(new SpanReader);
  int64_t size = 0;
  const int file = reader->Open(path, &size);
  if (file < 0) {
    *why = "cannot open " + path;
    return DiscState::Unreadable;
  }
  const int64_t sectors = size / SectorBytes;
  if (sectors > MaxImageSectors) {
    *why = path + ": larger than a disc can be";
    return DiscState::Unreadable;
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
