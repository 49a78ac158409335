// SPDX-License-Identifier: GPL-3.0-or-later
// The .res container: a list of entries, each a header (size of the data,
// size of the header, type, name, language ...) followed by the data, every
// header starting on a four-byte boundary. The first entry is an empty one
// that marks the file as a 32-bit .res.
#include "platform/linux/resources/byte_reader.h"
#include "platform/linux/resources/resources.h"

namespace resources {

namespace {

// The fixed fields after the type and name: data version, memory flags,
// language, version and characteristics.
constexpr size_t TrailerSize = 16;

struct RawEntry {
  NameOrOrdinal type, name;
  WORD language = 0;
  std::string_view data;
};

// Reads the entry at `pos`, or fails.
bool ReadEntry(std::string_view res, size_t pos, RawEntry& entry, size_t& next) {
  ByteReader sizes(res, pos);
  const uint32_t dataSize = sizes.U32();
  const uint32_t headerSize = sizes.U32();
  if (!sizes.Ok() || headerSize < 8 + 2 + 2 + TrailerSize || headerSize > sizes.Left() + 8)
    return false;
  ByteReader header(res.substr(0, pos + headerSize), pos + 8);
  entry.type = ReadNameOrOrdinal(header);
  entry.name = ReadNameOrOrdinal(header);
  header.AlignTo4();
  header.Skip(4 + 2);  // data version, memory flags
  entry.language = header.U16();
  header.Skip(4 + 4);  // version, characteristics
  if (!header.Ok()) return false;
  ByteReader body(res, pos + headerSize);
  entry.data = body.Bytes(dataSize);
  if (!body.Ok()) return false;
  next = body.Pos() + (4 - body.Pos() % 4) % 4;
  return true;
}

bool IsEmptyEntry(const RawEntry& e) {
  return e.data.empty() && e.type.isOrdinal && e.type.ordinal == 0 && e.name.isOrdinal &&
         e.name.ordinal == 0;
}

}  // namespace

std::optional<std::vector<Entry>> ParseRes(std::string_view res) {
  std::vector<Entry> entries;
  size_t pos = 0;
  bool first = true;
  while (pos < res.size()) {
    RawEntry raw;
    size_t next = 0;
    if (!ReadEntry(res, pos, raw, next)) return std::nullopt;
    if (first && !IsEmptyEntry(raw)) return std::nullopt;
    if (!first) entries.push_back({raw.type.Text(), raw.name.Text(), raw.language, raw.data});
    first = false;
    pos = next;
  }
  if (first) return std::nullopt;  // not even the empty entry
  return entries;
}

std::optional<std::string_view> Find(std::string_view res, int type, int id, WORD language) {
  const auto entries = ParseRes(res);
  if (!entries) return std::nullopt;
  const std::string typeText = "#" + std::to_string(type);
  const std::string nameText = "#" + std::to_string(id);
  std::vector<const Entry*> candidates;
  for (const Entry& e : *entries)
    if (e.type == typeText && e.name == nameText) candidates.push_back(&e);
  if (candidates.empty()) return std::nullopt;

  // The loader's order: the language asked for, its neutral sublanguage,
  // the neutral language, its default sublanguage, English, then the first.
  const WORD primary = language & 0x3FF;
  const WORD preferred[] = {language, primary, 0x0000, 0x0400, 0x0409};
  for (WORD wanted : preferred)
    for (const Entry* e : candidates)
      if (e->language == wanted) return e->data;
  return candidates.front()->data;
}

}  // namespace resources
