// SPDX-License-Identifier: GPL-3.0-or-later
// Turns a disc image mkdisc wrote (a cue sheet over one bin) into a rip as
// ripping programs leave one: the disc's audio in WAVE, FLAC or AIFF files,
// one for the disc or one per track, and the cue sheet they write for it.
// The bin stays beside them as the record of what the disc holds.
#ifndef KORVANE_TOOLS_RIP_IMAGE_H
#define KORVANE_TOOLS_RIP_IMAGE_H

#include <string>

#include "tools/disc_image.h"

namespace mkdisc {

enum class RipLayout {
  Bin,               // the bin itself, the sheet only restyled
  OneFile,           // one audio file for the whole disc
  PregapInPrevious,  // a file per track; a track's pregap ends the file before
  PregapInOwn,       // a file per track; a track's pregap starts its own file
};

struct RipSpec {
  RipLayout layout = RipLayout::OneFile;
  std::string extension = "flac";  // of the audio files: wav, flac, aiff
  std::string typeWord;            // the FILE lines' type; empty: as rippers write it
  bool upperNames = false;         // FILE lines name the files in capitals (written on Windows)
  bool unquoted = false;           // FILE names without quotes (and without spaces)
  bool decorated = false;          // CD-TEXT, catalogue, flags, ISRCs, remarks, unknown
                                   // commands, commands in lower case
  bool crlf = false;               // lines end in CR LF
  bool byteOrderMark = false;
  int trimFrames = 0;  // each audio file ends this many stereo samples short of its
                       // last sector; the bin is silenced to match
};

// Rewrites `image`'s sheet as `spec` asks and writes the audio files next
// to it; false with `error` set on failure.
bool WriteRip(const DiscImage& image, const RipSpec& spec, std::string* error);

}  // namespace mkdisc

#endif
