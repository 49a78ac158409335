// SPDX-License-Identifier: GPL-3.0-or-later
// Sheets as text: the cue sheets and cdrdao's .toc files the device reads
// itself, parsed, and the files they name found as a person would find them.
// Nothing here reads a sector; the simulated drive and the fuzzers use it
// alone.
//
// Cue sheets are read by the device itself because libcdio's bincue driver
// opens the image named after the cue file rather than the one its FILE
// line names, and reads no audio files. Its .toc reader places tracks at
// their offsets in the file rather than one after another, skips PREGAP
// and SILENCE, refuses SWAP and sample counts, reads a .wav's header as
// audio and looks for the files in the current directory.
#ifndef KORVANE_PLATFORM_LINUX_DISC_SHEETS_H
#define KORVANE_PLATFORM_LINUX_DISC_SHEETS_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/disc/disc_text.h"
#include "platform/linux/disc/track_table.h"

namespace disc {

// ---- Cue sheets (cue_sheet.cpp) ----

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
  bool preEmphasis = false;  // FLAGS PRE
  int session = 1;
  CuePosition index0;  // absent unless the sheet has INDEX 00
  CuePosition index1;
  int32_t pregapSilence = 0;   // PREGAP: sectors of silence before INDEX 01
  int32_t postgapSilence = 0;  // POSTGAP: sectors of silence after the track
  TrackText text;              // its TITLE and PERFORMER
  std::string isrc;            // ISRC: its recording code, 12 letters and digits
};

struct CueSheet {
  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;
  TrackText text;          // the disc's TITLE and PERFORMER, before the first TRACK
  std::string catalog;     // CATALOG: the disc's catalogue number, 13 digits
  std::string cdTextFile;  // CDTEXTFILE: the raw CD-Text packs, found from the sheet's folder
};

// Reads the text (UTF-8) of a cue sheet that lives in `folder`, finding
// the files it names; false with `why` saying what is wrong with it.
bool ParseCueSheet(const std::string& text, const std::string& folder, CueSheet* sheet,
                   std::string* why);

// "mm:ss:ff" in sectors; false when `text` is no such time.
bool ParseMsf(const std::string& text, int32_t* sectors);

// ---- .toc files (toc.cpp) ----

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
  bool preEmphasis = false;      // PRE_EMPHASIS
  int blockBytes = SectorBytes;  // bytes of one sector of the track's mode in the image
  std::vector<TocPiece> pieces;
  // Where index 1 lies: START with a position, in sectors from the track's
  // beginning, or START alone (and PREGAP) after this many pieces.
  int32_t startSectors = -1;
  int startAfter = -1;
  TrackText text;  // its CD_TEXT's TITLE and PERFORMER
};

struct TocSheet {
  std::vector<TocFile> files;
  std::vector<TocTrack> tracks;
  TrackText text;  // the disc's, from the CD_TEXT before the first TRACK
};

// Reads the text of a .toc that lives in `folder`; false with `why`
// saying what is wrong with it.
bool ParseTocSheet(const std::string& text, const std::string& folder, TocSheet* sheet,
                   std::string* why);

// ---- The sheet and the files it names (lookup.cpp) ----

// A sheet larger than this is not a sheet.
constexpr int64_t MaxSheetBytes = 16 << 20;

// Reads a whole sheet, as bytes; false when it cannot, with `why` saying so.
bool ReadSheet(const std::string& path, std::string* bytes, std::string* why);

// The text of a sheet as written on whatever machine wrote it, as UTF-8:
// as it stands when it is valid UTF-8 (less a byte-order mark), else read
// as the Japanese Windows code page 932, else as the Western one, 1252.
// False when `bytes` is text in none of these, with `why` saying so.
bool DecodeSheetText(const std::string& bytes, std::string* text, std::string* why);

// Finds the file a sheet names as a person looking for it would: the name
// as written, relative to the sheet's folder; else the one file whose name
// matches it ignoring letter case (sheets written where names ignore case);
// else, for audio, the one file of the same name with another audio
// extension (the sheet says .wav, the rip was converted to .flac). False
// when there is none, or more than one it could mean, with `why` saying
// which.
bool FindSheetFile(const std::string& folder, const std::string& name, bool audio,
                   std::string* path, std::string* why);

// The folder a path lies in, to resolve the names a sheet gives.
std::string FolderOf(const std::string& path);

// A name from a sheet, resolved against the sheet's folder.
std::string ResolveIn(const std::string& folder, const std::string& name);

}  // namespace disc

#endif
