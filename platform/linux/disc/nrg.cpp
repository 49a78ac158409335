// SPDX-License-Identifier: GPL-3.0-or-later
// Nero images: the trailer checked before libcdio is given the file.
#include <cdio/cdtext.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/linux/common/bytes.h"
#include "platform/linux/common/file.h"
#include "platform/linux/disc/sources.h"

namespace disc {

namespace {

// Real trailers hold a few kilobytes even with CD-Text; anything far
// larger is a footer pointing into the sectors.
constexpr int64_t MaxTrailer = 1 << 20;

bool Refuse(std::string* why, const std::string& what) {
  *why = what;
  return false;
}

// Whether libcdio's own reader takes the CD-Text packs. When it rejects
// them on opening a Nero image, it frees a block twice; tried here on a
// copy, it frees it once.
bool CdioTakesCdText(const uint8_t* packs, size_t bytes) {
  std::vector<uint8_t> copy(packs, packs + bytes);
  cdtext_t* text = cdtext_init();
  if (!text) return false;
  const bool taken = cdtext_data_init(text, copy.data(), copy.size()) == 0;
  cdtext_destroy(text);
  return taken;
}

// Walks the chunks up to END! as libcdio does, checking that what it will
// read from each lies inside the trailer.
bool CheckChunks(const std::vector<uint8_t>& chunks, NrgTrailer* trailer, bool* dao,
                 std::string* why) {
  int tracks = -1;
  bool cdText = false;
  size_t at = 0;
  for (;;) {
    if (chunks.size() - at < 8) return Refuse(why, "its chunks run into the footer");
    const uint8_t* chunk = chunks.data() + at;
    std::string id(reinterpret_cast<const char*>(chunk), 4);
    uint64_t length = common::Big(chunk + 4, 4);
    if (length > chunks.size() - at - 8)
      return Refuse(why, "its " + id + " chunk runs into the footer");
    if (id == "END!") return true;
    bool cue = id == "CUEX" || id == "CUES";
    bool etn = id == "ETNF" || id == "ETN2";
    if (cue || etn) {
      if (tracks >= 0) return Refuse(why, "it lists its tracks twice");
      uint64_t entry = cue ? 8 : id == "ETNF" ? 20 : 32;
      uint64_t entries = length / entry;
      if (length % entry != 0 || (cue && (entries < 4 || entries % 2 != 0)))
        return Refuse(why, "its " + id + " chunk is not a whole track list");
      tracks = static_cast<int>(cue ? entries / 2 - 1 : entries);
      if (tracks < 1 || tracks > MaxTracks)
        return Refuse(why, "it lists no tracks or more than 99");
    } else if (id == "DAOX" || id == "DAOI") {
      // libcdio keeps the catalogue number of each and loses all but the last.
      if (*dao) return Refuse(why, "it describes its tracks twice");
      uint64_t perTrack = id == "DAOX" ? 42 : 30;
      if (length < 22 + perTrack * static_cast<uint64_t>(std::max(tracks, 1)))
        return Refuse(why, "its " + id + " chunk describes fewer tracks than it lists");
      *dao = true;
    } else if (id == "SINF" || id == "MTYP") {
      if (length < 4) return Refuse(why, "its " + id + " chunk is cut short");
    } else if (id == "CDTX") {
      // libcdio aborts on a chunk of part packs.
      if (length % CdTextPackBytes != 0 || !CdioTakesCdText(chunk + 8, length))
        return Refuse(why, "its CD-Text chunk is damaged");
      // libcdio keeps the last and leaks the others.
      if (cdText) return Refuse(why, "it holds its CD-Text twice");
      cdText = true;
      trailer->cdText.assign(chunk + 8, chunk + 8 + length);
    } else if (id == "NER5" || id == "NERO") {
      return Refuse(why, "a footer lies among its chunks");
    }
    at += 8 + static_cast<size_t>(length);
  }
}

}  // namespace

bool CheckNrgTrailer(const std::string& path, NrgTrailer* trailer, std::string* why) {
  *trailer = NrgTrailer();
  struct stat info;
  const common::Fd file = common::OpenRegularFile(path, &info);
  if (!file.Ok()) return true;
  const int64_t size = static_cast<int64_t>(info.st_size);
  uint8_t footer[12];
  if (size < 12 || !common::ReadAt(file.Get(), size - 12, footer, 12)) return true;
  int64_t start, end;
  if (std::memcmp(footer, "NER5", 4) == 0) {
    uint64_t offset = common::Big(footer + 4, 8);
    start = offset > static_cast<uint64_t>(size) ? size : static_cast<int64_t>(offset);
    end = size - 12;
  } else if (std::memcmp(footer + 4, "NERO", 4) == 0) {
    start = static_cast<int64_t>(common::Big(footer + 8, 4));
    end = size - 8;
  } else {
    return true;
  }
  trailer->present = true;
  if (start > end || end - start > MaxTrailer)
    return Refuse(why, "its footer does not point at its chunks");
  std::vector<uint8_t> chunks(static_cast<size_t>(end - start));
  if (!common::ReadAt(file.Get(), start, chunks.data(), end - start))
    return Refuse(why, "its chunks cannot be read");
  bool dao = false;
  if (!CheckChunks(chunks, trailer, &dao, why)) return false;
  // A disc-at-once image holds track 1's 150-sector pregap first, and
  // libcdio reads sector n at (n + 150) * 2352.
  if (dao)
    trailer->audioSectors = static_cast<int32_t>(
        std::min<int64_t>(std::max<int64_t>(start / SectorBytes - 150, 0), 1 << 30));
  return true;
}

}  // namespace disc
