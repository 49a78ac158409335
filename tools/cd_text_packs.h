// SPDX-License-Identifier: GPL-3.0-or-later
// CD-Text as a pressed disc carries it in its lead-in: 18-byte packs with
// their CRCs, as a drive answers READ TOC format 5 and a Nero image keeps
// them, and the CRC the Q sub-channel carries too. For the simulated drive
// and the disc maker.
#ifndef KORVANE_TOOLS_CD_TEXT_PACKS_H
#define KORVANE_TOOLS_CD_TEXT_PACKS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/disc/disc_text.h"

namespace mkdisc {

// One language of a disc's text, encoded as its block holds it.
struct CdTextBlock {
  int language = 0x09;    // CD-Text's code: 0x09 English, 0x69 Japanese
  int characters = 0x00;  // 0x00 Latin-1, 0x80 MS-JIS (code page 932)
  disc::DiscText text;    // encoded, not UTF-8; tracks from `first` on
};

// The blocks a disc with `text` (UTF-8) holds: an English one in Latin-1,
// with what Latin-1 cannot write left empty, and then a Japanese one in
// MS-JIS when anything was left out. None when there is no text at all.
std::vector<CdTextBlock> CdTextBlocks(const disc::DiscText& text);

// The packs of `blocks` for tracks `first` to `last`.
std::string CdTextPacks(const std::vector<CdTextBlock>& blocks, int first, int last);

// The CRC of a CD-Text pack's first 16 bytes and of a Q sub-channel's
// first 10: CRC-16 (x^16 + x^12 + x^5 + 1), inverted.
uint16_t SubcodeCrc(const uint8_t* bytes, size_t count);

}  // namespace mkdisc

#endif
