// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/cd_text_packs.h"

#include <algorithm>
#include <cstdint>

#include "platform/linux/common/text.h"

namespace mkdisc {

namespace {

constexpr size_t PackText = 12;

// MS-JIS text is double-byte throughout: ASCII in its full-width forms.
std::string FullWidth(const std::string& utf8) {
  std::string out;
  for (unsigned char c : utf8) {
    if (c == ' ') {
      out += "\u3000";
    } else if (c > 0x20 && c < 0x7F) {
      const unsigned code = 0xFF01 + (c - 0x21);
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

uint16_t Crc(const std::string& pack) {
  return SubcodeCrc(reinterpret_cast<const uint8_t*>(pack.data()), 16);
}

class Block {
 public:
  Block(int number, bool doubleByte, std::string* out)
      : number_(number), doubleByte_(doubleByte), out_(out) {}

  // One pack of `type`: track, position and 12 bytes of text.
  void Pack(int type, int track, int position, const std::string& text) {
    std::string pack(4, '\0');
    pack[0] = static_cast<char>(type);
    pack[1] = static_cast<char>(track);
    pack[2] = static_cast<char>(sequence_++);
    pack[3] = static_cast<char>((doubleByte_ ? 0x80 : 0) | number_ << 4 | std::min(position, 15));
    pack += text;
    pack.resize(16, '\0');
    const uint16_t crc = Crc(pack);
    pack += static_cast<char>(crc >> 8);
    pack += static_cast<char>(crc & 0xFF);
    *out_ += pack;
    counts_[type & 0x0F]++;
  }

  // The strings of one kind, from the disc's (track 0) on, end to end.
  void Strings(int type, const std::vector<std::string>& strings, int first) {
    const size_t unit = doubleByte_ ? 2 : 1;
    std::string stream;
    std::vector<std::pair<size_t, int>> starts;  // byte where each track's string starts
    for (size_t i = 0; i < strings.size(); i++) {
      starts.emplace_back(stream.size(), i == 0 ? 0 : first + static_cast<int>(i) - 1);
      std::string text = strings[i];
      if (text.size() % unit) text += '\0';
      stream += text + std::string(unit, '\0');
    }
    for (size_t at = 0; at < stream.size(); at += PackText) {
      auto owner = std::upper_bound(starts.begin(), starts.end(), std::make_pair(at, 1000)) - 1;
      Pack(type, owner->second, static_cast<int>((at - owner->first) / unit),
           stream.substr(at, PackText));
    }
  }

  int Sequence() const { return sequence_; }
  int Count(int type) const { return counts_[type & 0x0F]; }

 private:
  int number_;
  bool doubleByte_;
  std::string* out_;
  int sequence_ = 0;
  int counts_[16] = {};
};

}  // namespace

uint16_t SubcodeCrc(const uint8_t* bytes, size_t count) {
  uint16_t crc = 0;
  for (size_t i = 0; i < count; i++) {
    crc ^= static_cast<uint16_t>(bytes[i] << 8);
    for (int bit = 0; bit < 8; bit++)
      crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return static_cast<uint16_t>(~crc);
}

std::vector<CdTextBlock> CdTextBlocks(const disc::DiscText& text) {
  std::vector<const disc::TrackText*> all = {&text.disc};
  for (const disc::TrackText& track : text.tracks) all.push_back(&track);
  bool any = false, outside = false;
  CdTextBlock latin, japanese;
  japanese.language = 0x69;
  japanese.characters = 0x80;
  for (size_t i = 0; i < all.size(); i++) {
    disc::TrackText a, j;
    for (auto field : {&disc::TrackText::title, &disc::TrackText::performer}) {
      const std::string& utf8 = all[i]->*field;
      any = any || !utf8.empty();
      if (!common::ConvertText("ISO-8859-1", "UTF-8", utf8, &(a.*field))) {
        a.*field = "";
        outside = true;
      }
      common::ConvertText("CP932", "UTF-8", FullWidth(utf8), &(j.*field), "\x81\x48");
    }
    (i == 0 ? latin.text.disc : latin.text.tracks.emplace_back()) = a;
    (i == 0 ? japanese.text.disc : japanese.text.tracks.emplace_back()) = j;
  }
  if (!any) return {};
  if (!outside) return {latin};
  return {latin, japanese};
}

std::string CdTextPacks(const std::vector<CdTextBlock>& blocks, int first, int last) {
  std::string out;
  std::vector<int> lastSequence;
  std::vector<size_t> sizeAt;
  for (size_t b = 0; b < blocks.size(); b++) {
    const CdTextBlock& source = blocks[b];
    Block block(static_cast<int>(b), source.characters == 0x80, &out);
    for (auto [type, field] :
         {std::pair{0x80, &disc::TrackText::title}, std::pair{0x81, &disc::TrackText::performer}}) {
      std::vector<std::string> strings = {source.text.disc.*field};
      bool any = !strings[0].empty();
      for (int track = first; track <= last; track++) {
        size_t i = static_cast<size_t>(track - first);
        strings.push_back(i < source.text.tracks.size() ? source.text.tracks[i].*field : "");
        any = any || !strings.back().empty();
      }
      if (any) block.Strings(type, strings, first);
    }
    // The size information, filled in once every block is known.
    sizeAt.push_back(out.size());
    std::string info(36, '\0');
    info[0] = static_cast<char>(source.characters);
    info[1] = static_cast<char>(first);
    info[2] = static_cast<char>(last);
    for (int type = 0; type < 15; type++) info[4 + type] = static_cast<char>(block.Count(type));
    info[4 + 15] = 3;
    for (int pack = 0; pack < 3; pack++)
      block.Pack(0x8F, pack, 0, info.substr(static_cast<size_t>(pack) * PackText, PackText));
    lastSequence.push_back(block.Sequence() - 1);
  }
  // Every block's size information lists the last pack and the language of
  // every block.
  for (size_t b = 0; b < blocks.size(); b++) {
    std::string packs = out.substr(sizeAt[b], 54);
    for (size_t other = 0; other < blocks.size(); other++) {
      size_t seq = 12 + 8 + other;  // lastseq[other] in the 36 bytes of text
      packs[(seq / PackText) * 18 + 4 + seq % PackText] = static_cast<char>(lastSequence[other]);
      size_t language = 24 + 4 + other;
      packs[(language / PackText) * 18 + 4 + language % PackText] =
          static_cast<char>(blocks[other].language);
    }
    for (size_t pack = 0; pack < 3; pack++) {
      std::string head = packs.substr(pack * 18, 16);
      const uint16_t crc = Crc(head);
      packs[pack * 18 + 16] = static_cast<char>(crc >> 8);
      packs[pack * 18 + 17] = static_cast<char>(crc & 0xFF);
    }
    out.replace(sizeAt[b], 54, packs);
  }
  return out;
}

}  // namespace mkdisc
