// SPDX-License-Identifier: GPL-3.0-or-later
// Nero images: the sectors first, then chunks that describe them, found
// through a footer at the very end. The old footer ("NERO") holds a 32-bit
// offset of the first chunk, the new one ("NER5") a 64-bit one. Each
// session has a track list: disc-at-once images a cue (CUEX with LSNs, or
// the older CUES with MSF times) and a DAOX/DAOI chunk that says where each
// track lies in the file; track-at-once images an ETN2/ETNF list of the
// tracks' places in the file. SINF counts the tracks of each session,
// MTYP names the medium and CDTX holds the CD-Text packs.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/linux/common/bytes.h"
#include "platform/linux/disc/sources.h"

namespace disc {

namespace {

// Real trailers hold a few kilobytes even with CD-Text; anything far
// larger is a footer pointing into the sectors.
constexpr int64_t MaxTrailer = 1 << 20;
constexpr int LeadOut = 0xAA;
// Nero's track modes that hold audio: plain, and with its subchannel.
constexpr uint32_t AudioMode = 0x07;
constexpr uint32_t AudioWithSubchannelMode = 0x10;
// Track-at-once tracks are written with a two-second gap before each but
// the first, which the image leaves out.
constexpr int32_t TaoGap = 150;

bool Refuse(std::string* why, const std::string& what) {
  *why = what;
  return false;
}

std::string TrackName(int number) { return "track " + std::to_string(number); }

// Where a track lies in the file and what its sectors hold.
struct Extent {
  int sectorBytes = SectorBytes;
  uint32_t mode = AudioMode;
  uint64_t index0 = 0;  // byte offsets in the file; index0 = index1 when there is no pregap
  uint64_t index1 = 0;
  uint64_t end = 0;
};

struct NrgTrack {
  int number = 0;
  uint8_t control = 0;  // of its cue entries: 4 marks data, 1 pre-emphasis
  int64_t index0 = INT64_MIN;
  int64_t index1 = INT64_MIN;
  Extent extent;
  int session = 1;
};

// One session's track list and the places of its tracks.
struct TrackList {
  bool cue = false;  // disc-at-once (CUEX/CUES), else track-at-once (ETN2/ETNF)
  std::vector<NrgTrack> tracks;
  int64_t leadout = -1;  // from the cue's lead-out entry
  bool described = false;
};

int Bcd(uint8_t value) {
  if ((value >> 4) > 9 || (value & 0x0F) > 9) return -1;
  return (value >> 4) * 10 + (value & 0x0F);
}

// A cue: eight-byte entries of ADR/control, track and index (BCD), and a
// position, an LSN (CUEX) or MSF bytes (CUES).
bool ReadCue(const uint8_t* data, uint64_t length, bool msf, TrackList* list, std::string* why) {
  list->cue = true;
  for (uint64_t at = 0; at < length; at += 8) {
    const uint8_t* entry = data + at;
    int64_t lsn;
    if (msf) {
      if (entry[6] > 59 || entry[7] > 74)
        return Refuse(why, "its CUES chunk holds a time that is none");
      lsn = (static_cast<int64_t>(entry[5]) * 60 + entry[6]) * 75 + entry[7] - MsfOffset;
    } else {
      lsn = static_cast<int32_t>(common::Big(entry + 4, 4));
    }
    if (lsn < -MsfOffset || lsn > MaxImageSectors)
      return Refuse(why, "its track list holds a position beyond any disc");
    if (entry[1] == LeadOut) {
      list->leadout = lsn;
      continue;
    }
    const int number = Bcd(entry[1]);
    const int index = Bcd(entry[2]);
    if (number < 0 || index < 0) return Refuse(why, "its track list holds a number that is none");
    if (number == 0 || index > 1) continue;  // the lead-in; indexes past 1
    if (list->tracks.empty() || list->tracks.back().number != number) {
      if (list->tracks.size() >= MaxTracks)
        return Refuse(why, "it lists no tracks or more than 99");
      list->tracks.emplace_back();
      list->tracks.back().number = number;
    }
    NrgTrack& track = list->tracks.back();
    int64_t& position = index == 0 ? track.index0 : track.index1;
    if (position != INT64_MIN) return Refuse(why, "it lists " + TrackName(number) + " twice");
    position = lsn;
    if (index == 1) track.control = static_cast<uint8_t>(entry[0] >> 4);
  }
  if (list->tracks.empty()) return Refuse(why, "it lists no tracks or more than 99");
  if (list->leadout < 0) return Refuse(why, "its track list has no lead-out");
  for (const NrgTrack& track : list->tracks)
    if (track.index1 == INT64_MIN) return Refuse(why, TrackName(track.number) + " has no start");
  return true;
}

// DAOX/DAOI: a 22-byte header (its size, the catalogue number, the first
// and last track), then for each track of the cue its ISRC, the bytes of a
// sector in the file, its mode, and the offsets of index 0, index 1 and
// its end: 64-bit in DAOX, 32-bit in DAOI.
bool ReadDao(const std::string& id, const uint8_t* data, uint64_t length, TrackList* list,
             std::string* why) {
  const uint64_t offsetBytes = id == "DAOX" ? 8 : 4;
  const uint64_t perTrack = 18 + 3 * offsetBytes;
  if (length < 22 + perTrack * list->tracks.size())
    return Refuse(why, "its " + id + " chunk describes fewer tracks than it lists");
  for (size_t i = 0; i < list->tracks.size(); i++) {
    const uint8_t* entry = data + 22 + perTrack * i;
    Extent& extent = list->tracks[i].extent;
    extent.sectorBytes = static_cast<int>(common::Big(entry + 12, 2));
    extent.mode = entry[14];
    extent.index0 = common::Big(entry + 18, static_cast<int>(offsetBytes));
    extent.index1 = common::Big(entry + 18 + offsetBytes, static_cast<int>(offsetBytes));
    extent.end = common::Big(entry + 18 + 2 * offsetBytes, static_cast<int>(offsetBytes));
  }
  list->described = true;
  return true;
}

// ETN2/ETNF: for each track its offset and length in the file (64-bit in
// ETN2, 32-bit in ETNF), its mode and its start in sectors of the image.
bool ReadEtn(const std::string& id, const uint8_t* data, uint64_t length, TrackList* list,
             std::string* why) {
  const int wide = id == "ETN2" ? 8 : 4;
  const uint64_t entryBytes = id == "ETN2" ? 32 : 20;
  const uint64_t entries = length / entryBytes;
  if (entries < 1 || entries > MaxTracks) return Refuse(why, "it lists no tracks or more than 99");
  for (uint64_t i = 0; i < entries; i++) {
    const uint8_t* entry = data + i * entryBytes;
    NrgTrack track;
    track.extent.index0 = track.extent.index1 = common::Big(entry, wide);
    const uint64_t bytes = common::Big(entry + wide, wide);
    track.extent.end = track.extent.index1 + bytes;
    track.extent.mode = static_cast<uint32_t>(common::Big(entry + 2 * wide, 4));
    const uint64_t start = common::Big(entry + 2 * wide + 4, 4);
    if (bytes > (1ull << 40) || start > static_cast<uint64_t>(MaxImageSectors))
      return Refuse(why, "its track list holds a position beyond any disc");
    track.index1 = static_cast<int64_t>(start);
    list->tracks.push_back(track);
  }
  return true;
}

struct Trailer {
  std::vector<TrackList> lists;
  std::vector<uint32_t> sessions;  // SINF: tracks in each session
  std::vector<uint8_t> cdText;
};

// Walks the chunks up to END!, each of which must lie inside the trailer.
bool ReadChunks(const std::vector<uint8_t>& chunks, Trailer* trailer, std::string* why) {
  size_t at = 0;
  for (;;) {
    if (chunks.size() - at < 8) return Refuse(why, "its chunks run into the footer");
    const uint8_t* chunk = chunks.data() + at;
    const std::string id(reinterpret_cast<const char*>(chunk), 4);
    const uint64_t length = common::Big(chunk + 4, 4);
    const uint8_t* data = chunk + 8;
    if (length > chunks.size() - at - 8)
      return Refuse(why, "its " + id + " chunk runs into the footer");
    if (id == "END!") return true;
    const bool cue = id == "CUEX" || id == "CUES";
    const bool etn = id == "ETNF" || id == "ETN2";
    if (cue || etn) {
      for (const TrackList& list : trailer->lists)
        if (list.cue != cue) return Refuse(why, "it lists its tracks twice, in two layouts");
      const uint64_t entry = cue ? 8 : id == "ETNF" ? 20 : 32;
      if (length == 0 || length % entry != 0)
        return Refuse(why, "its " + id + " chunk is not a whole track list");
      TrackList list;
      if (cue ? !ReadCue(data, length, id == "CUES", &list, why)
              : !ReadEtn(id, data, length, &list, why))
        return false;
      trailer->lists.push_back(std::move(list));
    } else if (id == "DAOX" || id == "DAOI") {
      if (trailer->lists.empty() || !trailer->lists.back().cue)
        return Refuse(why, "its " + id + " chunk describes no track list");
      if (trailer->lists.back().described) return Refuse(why, "it describes its tracks twice");
      if (!ReadDao(id, data, length, &trailer->lists.back(), why)) return false;
    } else if (id == "SINF" || id == "MTYP") {
      if (length < 4) return Refuse(why, "its " + id + " chunk is cut short");
      if (id == "SINF") trailer->sessions.push_back(static_cast<uint32_t>(common::Big(data, 4)));
    } else if (id == "CDTX") {
      // Only whole packs; the first chunk when there are more.
      if (trailer->cdText.empty())
        trailer->cdText.assign(data, data + length / CdTextPackBytes * CdTextPackBytes);
    } else if (id == "NER5" || id == "NERO") {
      return Refuse(why, "a footer lies among its chunks");
    }
    at += 8 + static_cast<size_t>(length);
  }
}

bool IsAudio(const NrgTrack& track) {
  return (track.extent.mode == AudioMode || track.extent.mode == AudioWithSubchannelMode) &&
         (track.control & 0x04) == 0;
}

// The tracks of every list in disc order, each with its session and its
// place on the disc.
bool PlaceTracks(Trailer* trailer, std::vector<NrgTrack>* tracks, int32_t* leadout,
                 std::string* why) {
  size_t total = 0;
  for (const TrackList& list : trailer->lists) total += list.tracks.size();
  if (total > MaxTracks) return Refuse(why, "it lists no tracks or more than 99");
  // Disc-at-once lists number their tracks, one list after another.
  int previous = 0;
  for (const TrackList& list : trailer->lists)
    for (const NrgTrack& track : list.tracks) {
      if (list.cue && track.number <= previous)
        return Refuse(
            why, "it lists its tracks twice, or out of order (" + TrackName(track.number) + ")");
      previous = track.number;
    }
  // SINF counts each session's tracks; without it each list is a session.
  std::vector<int> sessionOf;
  if (!trailer->sessions.empty()) {
    uint64_t counted = 0;
    for (size_t s = 0; s < trailer->sessions.size(); s++) {
      counted += trailer->sessions[s];
      if (counted > total) break;
      sessionOf.insert(sessionOf.end(), trailer->sessions[s], static_cast<int>(s) + 1);
    }
    if (counted != total) return Refuse(why, "its sessions do not hold the tracks it lists");
  }
  int64_t end = 0;  // past the last track placed
  int64_t shift = 0;
  int index = 0;
  for (size_t l = 0; l < trailer->lists.size(); l++) {
    TrackList& list = trailer->lists[l];
    if (list.cue && !list.described)
      return Refuse(why, "its track list says nothing of where its tracks lie");
    for (NrgTrack& track : list.tracks) {
      track.session = sessionOf.empty() ? static_cast<int>(l) + 1 : sessionOf[index];
      if (!list.cue) {
        // Numbered in turn; each but the first after its gap, and a later
        // session after the gap between sessions.
        track.number = index + 1;
        track.index1 += TaoGap * static_cast<int64_t>(index) + shift;
        if (index > 0 && track.session > tracks->back().session &&
            track.index1 < end + SessionGap) {
          shift += end + SessionGap - track.index1;
          track.index1 = end + SessionGap;
        }
        // The gap the file leaves out is the track's pregap, silent.
        track.index0 = index > 0 ? track.index1 - TaoGap : track.index1;
      }
      if (track.index0 == INT64_MIN) track.index0 = track.index1;
      const Extent& extent = track.extent;
      // Audio with its subchannel interleaved is not read here.
      if (IsAudio(track) && extent.sectorBytes != SectorBytes)
        return Refuse(why, TrackName(track.number) + "'s audio is stored in " +
                               std::to_string(extent.sectorBytes) + "-byte sectors");
      if (extent.sectorBytes <= 0 || extent.index0 > extent.index1 || extent.index1 > extent.end ||
          (extent.end - extent.index1) % static_cast<uint64_t>(extent.sectorBytes) != 0)
        return Refuse(why, TrackName(track.number) + " is not whole sectors in the file");
      const int64_t sectors = static_cast<int64_t>((extent.end - extent.index1) /
                                                   static_cast<uint64_t>(extent.sectorBytes));
      if (sectors > MaxImageSectors) return Refuse(why, "it holds more than a disc can");
      end = std::max(end, track.index1 + sectors);
      if (end > MaxImageSectors) return Refuse(why, "it holds more than a disc can");
      tracks->push_back(track);
      index++;
    }
  }
  // The disc ends where the last cue says, or past the last track.
  const TrackList& last = trailer->lists.back();
  *leadout = static_cast<int32_t>(last.cue ? last.leadout : end);
  // Every track's sectors must be in the file up to where the next begins.
  for (size_t i = 0; i < tracks->size(); i++) {
    const NrgTrack& track = (*tracks)[i];
    int64_t next = *leadout;
    if (i + 1 < tracks->size() && (*tracks)[i + 1].session == track.session)
      next = (*tracks)[i + 1].index0;
    else if (i + 1 < tracks->size())
      continue;  // a session's lead-out lies outside the file
    const int64_t held = static_cast<int64_t>((track.extent.end - track.extent.index1) /
                                              static_cast<uint64_t>(track.extent.sectorBytes));
    if (track.index1 + held < next)
      return Refuse(why,
                    "the tracks run past the end of the image (" + TrackName(track.number) + ")");
  }
  return true;
}

}  // namespace

bool LoadNrgImage(const std::string& path, Disc* disc, std::string* why) {
  std::unique_ptr<SpanReader> reader(new SpanReader);
  int file = 0;
  int64_t size = 0;
  if (!reader->Open(path, &file, &size, why)) return false;
  auto refuse = [&](const std::string& problem) {
    *why = path + ": not a disc image that can be read: " + problem;
    return false;
  };
  uint8_t footer[12];
  if (size < 12 || !common::ReadAt(reader->Fd(file), size - 12, footer, 12))
    return refuse("it has no Nero footer");
  int64_t start, end;
  if (std::memcmp(footer, "NER5", 4) == 0) {
    const uint64_t offset = common::Big(footer + 4, 8);
    start = offset > static_cast<uint64_t>(size) ? size : static_cast<int64_t>(offset);
    end = size - 12;
  } else if (std::memcmp(footer + 4, "NERO", 4) == 0) {
    start = static_cast<int64_t>(common::Big(footer + 8, 4));
    end = size - 8;
  } else {
    return refuse("it has no Nero footer");
  }
  if (start > end || end - start > MaxTrailer)
    return refuse("its footer does not point at its chunks");
  std::vector<uint8_t> chunks(static_cast<size_t>(end - start));
  if (!common::ReadAt(reader->Fd(file), start, chunks.data(), end - start))
    return refuse("its chunks cannot be read");
  Trailer trailer;
  std::string problem;
  if (!ReadChunks(chunks, &trailer, &problem)) return refuse(problem);
  if (trailer.lists.empty()) return refuse("it lists no tracks or more than 99");
  std::vector<NrgTrack> tracks;
  TrackTable table;
  if (!PlaceTracks(&trailer, &tracks, &table.leadout, &problem)) return refuse(problem);

  table.first = tracks.front().number;
  int64_t placed = 0;  // the disc's sectors laid out so far
  for (size_t i = 0; i < tracks.size(); i++) {
    const NrgTrack& entry = tracks[i];
    if (entry.number != table.first + static_cast<int>(i))
      return refuse("its track numbers do not follow one another");
    if (entry.extent.end > static_cast<uint64_t>(start))
      return refuse(TrackName(entry.number) + " runs into its chunks");
    Track track;
    track.start = static_cast<int32_t>(entry.index1);
    track.pregap =
        entry.index0 >= 0 && entry.index0 < entry.index1 ? static_cast<int32_t>(entry.index0) : -1;
    track.audio = IsAudio(entry);
    track.preEmphasis = track.audio && (entry.control & 0x01) != 0;
    track.session = entry.session;
    table.tracks.push_back(track);
    if (!track.audio) continue;
    // Its pregap and its sectors, as far as they lie on the disc after
    // the track before.
    const int64_t pregapSectors =
        static_cast<int64_t>(entry.extent.index1 - entry.extent.index0) / SectorBytes;
    int64_t from = std::max<int64_t>(entry.index1 - pregapSectors, 0);
    from = std::max(from, placed);
    const int64_t to =
        entry.index1 + static_cast<int64_t>(entry.extent.end - entry.extent.index1) / SectorBytes;
    const int64_t limit = i + 1 < tracks.size() ? tracks[i + 1].index1 : table.leadout;
    ImageSpan span;
    span.file = file;
    span.discByte = from * SectorBytes;
    span.fileByte = static_cast<int64_t>(entry.extent.index1) - (entry.index1 - from) * SectorBytes;
    span.bytes = (std::min(to, limit) - from) * SectorBytes;
    if (span.fileByte < 0 || span.bytes <= 0) continue;
    reader->Add(span);
    placed = from + span.bytes / SectorBytes;
  }
  if (!FinishImage(path, table, std::move(reader), disc, why)) return false;
  DecodeCdText(trailer.cdText.data(), trailer.cdText.size(), table, &disc->text);
  return true;
}

}  // namespace disc
