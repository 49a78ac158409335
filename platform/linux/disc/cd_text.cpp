// SPDX-License-Identifier: GPL-3.0-or-later
// CD-Text: the titles a pressed disc carries in its lead-in, as 18-byte
// packs. A drive gives them for READ TOC format 5, a Nero image keeps
// them in its CDTX chunk and a ripper in the file a cue sheet's
// CDTEXTFILE names.
//
// libcdio's reader decodes a Japanese block as SHIFT_JIS, which lacks the
// circled digits and wave dash that code page 932 adds and such discs
// use, and when it rejects a block it frees memory twice on the Nero
// path. So the packs are read here.
#include <algorithm>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "platform/linux/common/text.h"
#include "platform/linux/disc/cd_text_codes.h"
#include "platform/linux/disc/sources.h"

namespace disc {

namespace {

constexpr uint8_t TitlePack = 0x80;
constexpr uint8_t PerformerPack = 0x81;
constexpr uint8_t SizeInfoPack = 0x8F;
constexpr int Blocks = 8;

struct Pack {
  uint8_t type;
  uint8_t track;
  uint8_t sequence;
  bool doubleByte;
  int block;
  int position;  // characters of its string in the packs before it; 15 for 15 or more
  const uint8_t* text;
};

Pack ReadPack(const uint8_t* bytes) {
  return Pack{bytes[0],
              static_cast<uint8_t>(bytes[1] & 0x7F),
              bytes[2],
              (bytes[3] & 0x80) != 0,
              (bytes[3] >> 4) & 0x07,
              bytes[3] & 0x0F,
              bytes + 4};
}

// CRC-16/CCITT of the first 16 bytes, stored inverted, high byte first.
bool CrcHolds(const uint8_t* pack) {
  uint16_t crc = 0;
  for (int i = 0; i < 16; i++) {
    crc ^= static_cast<uint16_t>(pack[i] << 8);
    for (int bit = 0; bit < 8; bit++)
      crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return static_cast<uint16_t>(~crc) == ((pack[16] << 8) | pack[17]);
}

// The strings of one kind of pack in one block, by track number (0: the
// disc). Each pack goes on from where the one before it stopped; after a
// pack missing from the sequence, reading resumes at the next string
// that starts whole.
class Strings {
 public:
  // After the disc's string come those of the tracks from `first` on.
  explicit Strings(int first = 1) : first_(first) {}

  void Add(const Pack& pack) {
    const int step = pack.doubleByte ? 2 : 1;
    int i = 0;
    if (!started_ || pack.sequence != static_cast<uint8_t>(lastSequence_ + 1)) {
      current_.clear();
      track_ = pack.track;
      if (pack.position != 0) {
        // Mid-string: skip to its end.
        while (i < 12 && !IsEnd(pack.text + i, step)) i += step;
        i += step;
        Next();
      }
    } else if (pack.position == 0 && current_.empty()) {
      track_ = pack.track;  // a string starts with the pack: it names its track
    }
    started_ = true;
    lastSequence_ = pack.sequence;
    for (; i + step <= 12; i += step) {
      if (!IsEnd(pack.text + i, step)) {
        current_.append(reinterpret_cast<const char*>(pack.text + i), static_cast<size_t>(step));
        continue;
      }
      // A tab alone repeats the track before.
      const std::string tab(static_cast<size_t>(step), '\t');
      if (current_ == tab && byTrack_.count(track_ - 1))
        current_ = byTrack_[track_ - 1];
      else if (current_ == tab)
        current_.clear();
      if (track_ <= MaxTracks) byTrack_[track_] = current_;
      current_.clear();
      Next();
    }
  }
  const std::map<int, std::string>& ByTrack() const { return byTrack_; }

 private:
  void Next() { track_ = track_ == 0 ? first_ : track_ + 1; }

  static bool IsEnd(const uint8_t* at, int step) { return at[0] == 0 && (step == 1 || at[1] == 0); }

  int first_;
  bool started_ = false;
  uint8_t lastSequence_ = 0;
  int track_ = 0;
  std::string current_;
  std::map<int, std::string> byTrack_;
};

struct Block {
  explicit Block(int first) : titles(first), performers(first) {}
  bool present = false;
  bool sized = false;
  uint8_t characters = 0;  // the size information's character code
  uint8_t language = 0;
  bool doubleByte = false;
  Strings titles, performers;
};

std::string Decode(std::string bytes, const Block& block) {
  // An odd number of bytes in a double-byte block is padded with a zero.
  while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  return CdTextToUtf8(bytes,
                      block.characters == MsJisCharacters || (!block.sized && block.doubleByte));
}

}  // namespace

std::string CdTextToUtf8(std::string_view bytes, bool japanese) {
  std::string text;
  if (!common::ConvertText("UTF-8", japanese ? "CP932" : "ISO-8859-1", bytes, &text,
                           "\xEF\xBF\xBD"))
    return "";
  return text;
}

bool DecodeCdText(const uint8_t* packs, size_t bytes, const TrackTable& table, DiscText* text) {
  const size_t count = bytes / CdTextPackBytes;
  bool anyCrc = false;
  for (size_t i = 0; i < count && !anyCrc; i++) anyCrc = CrcHolds(packs + i * CdTextPackBytes);
  // A drive that gives CRCs gives them right unless the pack is damaged;
  // some give none at all. Files and images may hold the packs out of
  // order or more than once: each block's are read in their sequence,
  // each once.
  std::vector<Pack> sorted;
  for (size_t i = 0; i < count; i++) {
    const uint8_t* bytesOf = packs + i * CdTextPackBytes;
    if (!anyCrc || CrcHolds(bytesOf)) sorted.push_back(ReadPack(bytesOf));
  }
  std::stable_sort(sorted.begin(), sorted.end(), [](const Pack& a, const Pack& b) {
    return a.block != b.block ? a.block < b.block : a.sequence < b.sequence;
  });
  sorted.erase(std::unique(sorted.begin(), sorted.end(),
                           [](const Pack& a, const Pack& b) {
                             return a.block == b.block && a.sequence == b.sequence;
                           }),
               sorted.end());
  std::vector<Block> blocks(Blocks, Block(table.first));
  for (const Pack& pack : sorted) {
    Block& block = blocks[static_cast<size_t>(pack.block)];
    block.present = true;
    block.doubleByte = block.doubleByte || pack.doubleByte;
    if (pack.type == TitlePack) block.titles.Add(pack);
    if (pack.type == PerformerPack) block.performers.Add(pack);
    if (pack.type == SizeInfoPack && pack.track == 0) {
      block.sized = true;
      block.characters = pack.text[0];
    }
    // The third size pack lists every block's language.
    if (pack.type == SizeInfoPack && pack.track == 2)
      for (size_t b = 0; b < Blocks; b++) blocks[b].language = pack.text[4 + b];
  }
  // The interface is Japanese: a Japanese block first, else the first one.
  const Block* chosen = nullptr;
  for (const Block& block : blocks)
    if (block.present && block.language == JapaneseLanguage) chosen = chosen ? chosen : &block;
  for (const Block& block : blocks)
    if (block.present && !chosen) chosen = &block;
  if (!chosen) return false;

  DiscText found;
  found.tracks.resize(table.tracks.size());
  bool any = false;
  auto place = [&](const Strings& strings, std::string TrackText::*field) {
    for (const auto& [number, bytesOf] : strings.ByTrack()) {
      TrackText* target = number == 0 ? &found.disc
                          : table.Has(number)
                              ? &found.tracks[static_cast<size_t>(number - table.first)]
                              : nullptr;
      if (!target || bytesOf.empty()) continue;
      target->*field = Decode(bytesOf, *chosen);
      any = any || !(target->*field).empty();
    }
  };
  place(chosen->titles, &TrackText::title);
  place(chosen->performers, &TrackText::performer);
  if (any) *text = std::move(found);
  return any;
}

}  // namespace disc
