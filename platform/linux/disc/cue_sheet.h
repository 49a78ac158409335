// Cue sheets, read by the device itself: libcdio's bincue driver opens the
// image named after the cue file rather than the one its FILE line names,
// and reads no audio files.
#ifndef KORVANE_PLATFORM_LINUX_DISC_CUE_SHEET_H
#define KORVANE_PLATFORM_LINUX_DISC_CUE_SHEET_H

#include <stdint.h>

#include <string>
#include <vector>

namespace disc {

struct CueFile {
  std::string path;        // found from the cue sheet's folder
  bool bigEndian = false;  // MOTOROLA: samples stored high byte first
  bool audio = false;      // WAVE, AIFF, FLAC, MP3: an audio file, decoded
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
  int32_t pregapSilence = 0;   // PREGAP: sectors of silence before INDEX 01
  int32_t postgapSilence = 0;  // POSTGAP: sectors of silence after the track
};

struct CueSheet {
  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;
};

// Reads the text (UTF-8) of a cue sheet that lives in `folder`, finding
// the files it names. Returns an empty string on success, else what is
// wrong with it.
std::string ParseCueSheet(const std::string& text, const std::string& folder, CueSheet* sheet);

// "mm:ss:ff" in sectors, or -1.
int32_t ParseMsf(const std::string& text);

}  // namespace disc

#endif
