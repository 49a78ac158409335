// SPDX-License-Identifier: GPL-3.0-or-later
// Makes disc images for tests, benchmarks and the demo, as a cue sheet or a
// cdrdao .toc over one bin of 2352-byte sectors, or as one Nero .nrg: audio
// tracks of chosen lengths, each a tone of its own over a little noise, so
// every sector differs and a listener can tell the tracks apart.
#ifndef KORVANE_TOOLS_DISC_IMAGE_H
#define KORVANE_TOOLS_DISC_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/disc/disc_text.h"
#include "platform/linux/disc/track_table.h"

namespace mkdisc {

// How a .nrg lays out its disc: disc-at-once (a cue and a DAO chunk per
// session, the file starting with track 1's 150-sector pregap) or
// track-at-once (a list of the tracks' places, each track after the first
// following a two-second gap the file leaves out), with the footer and
// chunks of Nero 5.5 on (64-bit offsets: NER5, CUEX, DAOX, ETN2) or of
// the versions before it (32-bit: NERO, CUES with MSF times, DAOI, ETNF).
enum class NrgLayout { DaoNew, DaoOld, TaoNew, TaoOld };

struct DiscImageSpec {
  std::vector<int> audioSectors;  // one entry per audio track, in sectors (1/75 s)
  int pregap = 0;       // INDEX 00 this many sectors before each audio track but the first
  int dataFirst = 0;    // sectors of a data track before the audio (0: none)
  int dataSession = 0;  // sectors of a data track in a second session (0: none)
  std::string binName;  // the bin's file name; empty: the sheet's name with .bin
  // A .toc instead of a cue sheet. Its bin holds the samples big-endian,
  // as cdrdao's raw files do, or little-endian with SWAP on each FILE.
  // A .toc holds one session, so no dataSession.
  bool toc = false;
  bool swap = false;
  // A Nero .nrg instead: the sectors (little-endian audio), then the
  // chunks (per session), SINF, CDTX, MTYP and END!, and the footer. A
  // disc-at-once one may have a data session after its audio; a
  // track-at-once one is audio only, without pregaps.
  bool nrg = false;
  NrgLayout nrgLayout = NrgLayout::DaoNew;
  // Audio tracks (by index into audioSectors) recorded with pre-emphasis:
  // FLAGS PRE in a cue sheet, PRE_EMPHASIS in a .toc. The samples are
  // written as they are, emphasised or not.
  std::vector<int> preEmphasis;
  // Titles and performers (UTF-8), of the disc and of the audio tracks in
  // order: TITLE and PERFORMER in a cue sheet, CD_TEXT in a .toc (Latin-1,
  // and a Japanese language in code page 932 where Latin-1 cannot write
  // it), a CDTX chunk in a .nrg.
  disc::DiscText text;
  // A cue sheet's text as the raw CD-Text packs in a file of this name
  // beside it, named in CDTEXTFILE, instead of TITLE and PERFORMER lines.
  std::string cdTextFile;
};

struct DiscImageTrack {
  int number;
  bool audio;
  int32_t start;   // LSN of INDEX 01
  int32_t pregap;  // LSN of INDEX 00, or -1
};

struct DiscImage {
  std::string sheetPath;  // the .cue, .toc or .nrg
  std::string binPath;    // for a .nrg, the .nrg itself
  std::vector<DiscImageTrack> tracks;
  int32_t sectors = 0;  // the bin's length
};

// Writes the sheet and its bin; false with `error` set on failure.
bool WriteDiscImage(const std::string& sheetPath, const DiscImageSpec& spec, DiscImage* image,
                    std::string* error);

// `value` in `bytes` bytes, high byte first, as a .nrg's chunks hold numbers.
std::string BigEndian(uint64_t value, int bytes);

// A sector count as a sheet writes a time: "mm:ss:ff".
std::string Msf(int32_t sectors);

// The name in `path` after its folder; that name without its extension;
// the folder with its slash ("" when there is none).
std::string BaseName(const std::string& path);
std::string Stem(const std::string& path);
std::string Folder(const std::string& path);

// Reads `count` sectors from `lsn` of a bin as stored: for a cue sheet's
// bin, or a .toc's with SWAP, as the device should play them. (A
// disc-at-once .nrg's sector `lsn` lies at `lsn` + 150; a track-at-once
// one's track i, from 0, lies 150 * i sectors later on the disc than in
// the file.)
std::vector<uint8_t> ReadBin(const std::string& binPath, int32_t lsn, int32_t count);

}  // namespace mkdisc

#endif
