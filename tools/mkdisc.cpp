// SPDX-License-Identifier: GPL-3.0-or-later
// mkdisc: writes a disc image of audio tones, a cue sheet or a cdrdao
// .toc (by the name's ending) over a bin, or a Nero .nrg.
//
//   mkdisc [options] OUT.cue|OUT.toc|OUT.nrg SECTORS...
//
// Each SECTORS makes one audio track of that many sectors (75 a second).
//   --pregap N        INDEX 00 N sectors before each track but the first
//   --data-first N    a data track of N sectors before the audio
//   --data-session N  a data track of N sectors in a second session
//   --bin NAME        name the bin NAME instead of after the sheet
//   --swap            a .toc's bin holds little-endian samples, marked SWAP
//                     (else big-endian, as cdrdao's raw files)
//   --pre-emphasis L  the audio tracks numbered in L (1,3) are flagged as
//                     recorded with pre-emphasis
//   --title TEXT      the disc's title; given again, each audio track's in turn
//   --performer TEXT  the same for the performers
//   --cdtextfile NAME the cue sheet's titles and performers as CD-Text packs
//                     in the file NAME beside it, named in CDTEXTFILE
//   --nrg LAYOUT      a .nrg's layout: dao (default), dao-old, tao or
//                     tao-old (footers and chunks of before Nero 5.5)
// A cue sheet can instead be that of a rip (the bin stays, as the record
// of the disc's samples):
//   --rip LAYOUT      one: one audio file for the disc; previous: a file
//                     per track, each pregap ending the file before; own: a
//                     file per track, each pregap starting its own; bin: the
//                     bin itself, only the sheet restyled
//   --audio TYPE      the audio files' type: wav, flac (default) or aiff
//   --type WORD       the FILE lines' type word (default WAVE, or AIFF)
//   --upper-names     FILE lines name the files in capitals
//   --unquoted        FILE names unquoted (and without spaces)
//   --decorate        CD-TEXT, catalogue, flags, ISRCs, remarks, an unknown
//                     command, commands in lower case
//   --crlf, --bom     CR LF line ends; a UTF-8 byte-order mark
//   --trim N          each audio file ends N samples short of a sector
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/disc_image.h"
#include "tools/rip_image.h"

static int Usage() {
  fprintf(stderr,
          "usage: mkdisc [--pregap N] [--data-first N] [--data-session N] [--bin NAME] [--swap] "
          "[--pre-emphasis LIST] [--title TEXT]... [--performer TEXT]... [--cdtextfile NAME] "
          "[--nrg dao|dao-old|tao|tao-old] "
          "[--rip one|previous|own|bin] [--audio TYPE] [--type WORD] [--upper-names] [--unquoted] "
          "[--decorate] [--crlf] [--bom] [--trim N] OUT.cue|OUT.toc|OUT.nrg SECTORS...\n");
  return 2;
}

static bool ParseCount(const char* text, int* value) {
  char* end;
  long parsed = strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || parsed < 0 || parsed > 100 * 60 * 75) return false;
  *value = static_cast<int>(parsed);
  return true;
}

int main(int argc, char** argv) {
  mkdisc::DiscImageSpec spec;
  mkdisc::RipSpec rip;
  bool ripped = false;
  std::string cue;
  size_t titles = 0, performers = 0;  // --title and --performer so far
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    int* option = arg == "--pregap"         ? &spec.pregap
                  : arg == "--data-first"   ? &spec.dataFirst
                  : arg == "--data-session" ? &spec.dataSession
                                            : nullptr;
    bool* flag = arg == "--upper-names" ? &rip.upperNames
                 : arg == "--unquoted"  ? &rip.unquoted
                 : arg == "--decorate"  ? &rip.decorated
                 : arg == "--crlf"      ? &rip.crlf
                 : arg == "--bom"       ? &rip.byteOrderMark
                                        : nullptr;
    if (flag) {
      *flag = true;
    } else if (arg == "--rip" || arg == "--audio" || arg == "--type" || arg == "--trim") {
      if (++i == argc) return Usage();
      std::string value = argv[i];
      ripped = true;
      if (arg == "--audio") {
        rip.extension = value;
      } else if (arg == "--type") {
        rip.typeWord = value;
      } else if (arg == "--trim") {
        if (!ParseCount(argv[i], &rip.trimFrames)) return Usage();
      } else if (value == "one" || value == "previous" || value == "own" || value == "bin") {
        rip.layout = value == "one"        ? mkdisc::RipLayout::OneFile
                     : value == "previous" ? mkdisc::RipLayout::PregapInPrevious
                     : value == "own"      ? mkdisc::RipLayout::PregapInOwn
                                           : mkdisc::RipLayout::Bin;
      } else {
        return Usage();
      }
    } else if (arg == "--title" || arg == "--performer") {
      if (++i == argc) return Usage();
      auto field = arg == "--title" ? &disc::TrackText::title : &disc::TrackText::performer;
      size_t& given = arg == "--title" ? titles : performers;
      if (given == 0)
        spec.text.disc.*field = argv[i];
      else if (spec.text.tracks.size() < given)
        spec.text.tracks.emplace_back().*field = argv[i];
      else
        spec.text.tracks[given - 1].*field = argv[i];
      given++;
    } else if (arg == "--cdtextfile") {
      if (++i == argc) return Usage();
      spec.cdTextFile = argv[i];
    } else if (arg == "--nrg") {
      if (++i == argc) return Usage();
      const std::string layout = argv[i];
      if (layout == "dao")
        spec.nrgLayout = mkdisc::NrgLayout::DaoNew;
      else if (layout == "dao-old")
        spec.nrgLayout = mkdisc::NrgLayout::DaoOld;
      else if (layout == "tao")
        spec.nrgLayout = mkdisc::NrgLayout::TaoNew;
      else if (layout == "tao-old")
        spec.nrgLayout = mkdisc::NrgLayout::TaoOld;
      else
        return Usage();
    } else if (arg == "--swap") {
      spec.swap = true;
    } else if (arg == "--pre-emphasis") {  // a comma-separated list of audio track numbers
      if (++i == argc) return Usage();
      std::string list = argv[i];
      for (size_t at = 0; at <= list.size();) {
        size_t comma = std::min(list.find(',', at), list.size());
        int number;
        if (!ParseCount(list.substr(at, comma - at).c_str(), &number) || number < 1) return Usage();
        spec.preEmphasis.push_back(number - 1);
        at = comma + 1;
      }
    } else if (option || arg == "--bin") {
      if (++i == argc) return Usage();
      if (!option)
        spec.binName = argv[i];
      else if (!ParseCount(argv[i], option))
        return Usage();
    } else if (cue.empty()) {
      cue = arg;
    } else {
      int sectors;
      if (!ParseCount(argv[i], &sectors)) return Usage();
      spec.audioSectors.push_back(sectors);
    }
  }
  if (cue.empty() || spec.audioSectors.empty()) return Usage();
  auto ends = [&cue](const char* ending) {
    return cue.size() > 4 && cue.compare(cue.size() - 4, 4, ending) == 0;
  };
  spec.toc = ends(".toc");
  spec.nrg = ends(".nrg");
  mkdisc::DiscImage image;
  std::string error;
  ripped =
      ripped || rip.upperNames || rip.unquoted || rip.decorated || rip.crlf || rip.byteOrderMark;
  if (ripped && (spec.toc || spec.nrg)) return Usage();
  if (!mkdisc::WriteDiscImage(cue, spec, &image, &error) ||
      (ripped && !mkdisc::WriteRip(image, rip, &error))) {
    fprintf(stderr, "mkdisc: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
