// cdrdao's .toc files, read by the device itself: libcdio's reader places
// tracks at their offsets in the file rather than one after another, skips
// PREGAP and SILENCE, refuses SWAP and sample counts, reads a .wav's header
// as audio and looks for the files in the current directory.
#ifndef KORVANE_PLATFORM_LINUX_DISC_TOC_SHEET_H
#define KORVANE_PLATFORM_LINUX_DISC_TOC_SHEET_H

#include <stdint.h>

#include <string>
#include <vector>

namespace disc {

struct TocFile {
  std::string path;   // resolved against the .toc's folder
  bool wave = false;  // named *.wav: a RIFF header, samples low byte first
};

// One statement of a track's data, in image bytes: audio counts whole
// samples of four bytes, data whole bytes of the track's mode.
struct TocPiece {
  int file = -1;        // index into TocSheet::files; -1: silence or zeros
  bool swap = false;    // SWAP: the file's samples are in the other byte order
  int64_t offset = 0;   // #offset: bytes before the file's contents begin
  int64_t start = 0;    // bytes skipped from those contents
  int64_t length = -1;  // bytes taken; -1: to the end of the file
};

struct TocTrack {
  bool audio = true;
  int blockBytes = 2352;  // bytes of one sector of the track's mode in the image
  std::vector<TocPiece> pieces;
  // Where index 1 lies: START with a position, in sectors from the track's
  // beginning, or START alone (and PREGAP) after this many pieces.
  int32_t startSectors = -1;
  int startAfter = -1;
};

struct TocSheet {
  std::vector<TocFile> files;
  std::vector<TocTrack> tracks;
};

// Reads the text of a .toc that lives in `folder`. Returns an empty
// string on success, else what is wrong with it.
std::string ParseTocSheet(const std::string& text, const std::string& folder, TocSheet* sheet);

}  // namespace disc

#endif
