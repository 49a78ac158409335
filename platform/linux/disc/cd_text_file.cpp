// SPDX-License-Identifier: GPL-3.0-or-later
// The file of CD-Text packs a cue sheet names in CDTEXTFILE, as rippers
// write it beside the image of a disc that has CD-Text: the disc's own
// packs, read by the same reader as a drive's.
#include <sys/stat.h>

#include "platform/linux/common/bytes.h"
#include "platform/linux/common/file.h"
#include "platform/linux/common/warn.h"
#include "platform/linux/disc/sources.h"

namespace disc {

namespace {

// Eight blocks of 256 packs is all a disc can hold.
constexpr int64_t MaxCdTextBytes = 8 * 256 * CdTextPackBytes + 5;
constexpr int64_t HeaderBytes = 4;  // READ TOC format 5: data length, two reserved bytes

}  // namespace

bool ReadCdTextFile(const std::string& path, std::vector<uint8_t>* packs, std::string* why) {
  struct stat info;
  const common::Fd file = common::OpenRegularFile(path, &info);
  if (!file.Ok()) {
    *why = path + ": cannot open the CD-Text file";
    return false;
  }
  const int64_t size = static_cast<int64_t>(info.st_size);
  if (size > MaxCdTextBytes) {
    *why = path + ": larger than any disc's CD-Text";
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size == 0 || !common::ReadAt(file.Get(), 0, bytes.data(), size)) {
    *why = path + ": the CD-Text file is empty or cannot be read";
    return false;
  }
  int64_t begin = 0, end = size;
  // One trailing zero byte, as some rippers leave.
  const int64_t over = end % static_cast<int64_t>(CdTextPackBytes);
  if ((over == 1 || over == HeaderBytes + 1) && bytes.back() == 0) end--;
  // The header gives the bytes after its own length field.
  if (end % static_cast<int64_t>(CdTextPackBytes) == HeaderBytes &&
      common::Big(bytes.data(), 2) == static_cast<uint64_t>(end - 2))
    begin = HeaderBytes;
  if (end <= begin || (end - begin) % CdTextPackBytes != 0) {
    *why = path + ": the CD-Text file is cut short or damaged (" + std::to_string(size) +
           " bytes, not whole packs)";
    return false;
  }
  packs->assign(bytes.begin() + begin, bytes.begin() + end);
  return true;
}

void AddCdTextFile(const std::string& path, const TrackTable& table, DiscText* text) {
  std::vector<uint8_t> packs;
  std::string why;
  DiscText found;
  if (!ReadCdTextFile(path, &packs, &why)) {
    common::Warn("%s; the disc plays without its titles", why.c_str());
    return;
  }
  if (!DecodeCdText(packs.data(), packs.size(), table, &found)) {
    common::Warn("%s: the CD-Text file holds no titles that can be read", path.c_str());
    return;
  }
  // The sheet's own lines win.
  auto fill = [](TrackText* into, const TrackText& from) {
    if (into->title.empty()) into->title = from.title;
    if (into->performer.empty()) into->performer = from.performer;
  };
  fill(&text->disc, found.disc);
  if (text->tracks.size() < found.tracks.size()) text->tracks.resize(found.tracks.size());
  for (size_t i = 0; i < found.tracks.size(); i++) fill(&text->tracks[i], found.tracks[i]);
}

}  // namespace disc
