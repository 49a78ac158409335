// Cue sheets, read by the device itself: libcdio's bincue driver opens the
// image named after the cue file rather than the one its FILE line names.
#ifndef KORVANE_PLATFORM_LINUX_DISC_CUE_SHEET_H
#define KORVANE_PLATFORM_LINUX_DISC_CUE_SHEET_H

#include <stdint.h>

#include <string>
#include <vector>

namespace disc {

struct CueFile {
  std::string path;        // resolved against the cue sheet's folder
  bool bigEndian = false;  // MOTOROLA: samples stored high byte first
};

// A position inside one of the sheet's files, in sectors from its start.
struct CuePosition {
  int file = -1;
  int32_t sector = -1;
};

struct CueTrack {
  int number = 0;
  bool audio = true;
  int session = 1;
  CuePosition index0;  // absent unless the sheet has INDEX 00
  CuePosition index1;
};

struct CueSheet {
  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;
};

// Reads the text of a cue sheet that lives in `folder`. Returns an empty
// string on success, else what is wrong with it.
std::string ParseCueSheet(const std::string& text, const std::string& folder, CueSheet* sheet);

// "mm:ss:ff" in sectors, or -1.
int32_t ParseMsf(const std::string& text);

}  // namespace disc

#endif
