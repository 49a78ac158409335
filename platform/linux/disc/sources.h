// SPDX-License-Identifier: GPL-3.0-or-later
// The sources LoadDisc reads, one loader for each kind, and what the
// loaders of images share: the sector reader that lays files out on the
// disc and the audio files a cue sheet names. The folder's own business,
// and its tests'.
#ifndef KORVANE_PLATFORM_LINUX_DISC_SOURCES_H
#define KORVANE_PLATFORM_LINUX_DISC_SOURCES_H

#include <sndfile.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/common/file.h"
#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/sheets.h"
#include "platform/linux/disc/track_table.h"

typedef struct _CdIo CdIo_t;

namespace disc {

// ---- libcdio's handle (disc.cpp) ----

struct CdioCloser {
  void operator()(CdIo_t* cdio) const;  // cdio_destroy
};
// A drive or image libcdio opened, destroyed with its last owner.
using CdioHandle = std::unique_ptr<CdIo_t, CdioCloser>;

// ---- Cue sheets and the bin beside one (cue_image.cpp) ----

// The sheet at `path` read and parsed, whatever code page it was written in.
bool ReadCueSheet(const std::string& path, CueSheet* sheet, std::string* why);

// The image a cue sheet describes: raw files of 2352-byte sectors or audio
// files laid end to end.
bool LoadCueImage(const std::string& path, Disc* disc, std::string* why);
bool LoadCueImage(const std::string& path, const CueSheet& sheet, Disc* disc, std::string* why);

// A raw image of 2352-byte sectors named by itself: read through the cue
// sheet of the same name beside it, or without one as a single audio track.
bool LoadBinImage(const std::string& path, Disc* disc, std::string* why);

// ---- .toc files (toc.cpp) ----

bool LoadTocImage(const std::string& path, Disc* disc, std::string* why);

// ---- Nero images (nrg.cpp) ----

// A Nero image, whatever its name: a file that ends in a Nero footer,
// read in disc-at-once and track-at-once layouts, with its sessions and
// its CD-Text. False with `why` naming the file when it has no footer or
// its chunks describe no disc its sectors hold.
bool LoadNrgImage(const std::string& path, Disc* disc, std::string* why);

// ---- CD-Text (cd_text.cpp) ----

constexpr size_t CdTextPackBytes = 18;

// The titles and performers in CD-Text packs, as READ TOC format 5 gives
// them after its 4-byte header or a Nero CDTX chunk holds them, for the
// tracks of `table`: from the Japanese block when there is one, else the
// first, decoded from code page 932 (MS-JIS) or Latin-1 as the block
// says. Packs that fail their CRC are left out, unless none has one. False
// when the packs hold no title or performer at all.
bool DecodeCdText(const uint8_t* packs, size_t bytes, const TrackTable& table, DiscText* text);

// ---- A cue sheet's CDTEXTFILE (cd_text_file.cpp) ----

// The CD-Text packs in the file at `path`, as rippers write them beside a
// cue sheet: bare, or after READ TOC format 5's 4-byte header, either
// with or without one trailing zero byte. False with `why` naming the
// file when it is missing, empty, cut short or too large.
bool ReadCdTextFile(const std::string& path, std::vector<uint8_t>* packs, std::string* why);

// Fills what `text` leaves empty with the titles and performers in the
// packs of the file at `path`, for the tracks of `table`; a file that
// cannot be read or holds none leaves `text` as it is, with one line on
// stderr naming the file.
void AddCdTextFile(const std::string& path, const TrackTable& table, DiscText* text);

// ---- Drives (drive.cpp) ----

// A drive's reader: sectors read in batches up to `end`, at a quiet speed,
// with a cap on the retries of what a scratch makes unreadable (then
// concealed: bridged or faded, conceal.h); paranoia only vets the drive.
// Takes `cdio` over; false when the drive cannot read audio, with `why`
// saying so.
bool OpenDriveReader(CdioHandle cdio, int32_t end, std::unique_ptr<SectorReader>* reader,
                     std::string* why);

// The CD-Text of the disc in the drive, read into `text` where it has any.
void ReadDriveText(CdIo_t* cdio, const TrackTable& table, DiscText* text);

// Keeps libcdio's log off stderr; safe to call more than once (disc.cpp).
void QuietCdio();

// ---- Audio files (audio_file.cpp) ----

// An audio file a cue sheet names (WAVE, AIFF, FLAC, Ogg, MP3), decoded by
// libsndfile into the samples a CD holds: 44100 Hz, 2 channels, 16 bits,
// little-endian. Lossless 16-bit files come out sample for sample.
class AudioFile {
 public:
  AudioFile() = default;
  AudioFile(const AudioFile&) = delete;
  AudioFile& operator=(const AudioFile&) = delete;
  ~AudioFile();

  // Opens `path` if it holds CD audio; else false, with `why` naming the
  // file and what is wrong with it.
  bool Open(const std::string& path, std::string* why);

  // Stereo frames the file holds.
  int64_t Frames() const { return frames_; }

  // Fills `out` with `count` frames from `frame`, little-endian; frames
  // past the end of the file are silence. False when the file fails to
  // deliver what it said it holds (it shrank, or its data is corrupt).
  bool Read(int64_t frame, int64_t count, uint8_t* out);

 private:
  common::Fd fd_;  // ours, closed after libsndfile lets go of it
  SNDFILE* file_ = nullptr;
  int64_t frames_ = 0;
  int64_t position_ = 0;     // the decoder's next frame; -1 after a failure
  bool exactLength_ = true;  // lossy streams may hold a little less than they say
  std::vector<short> samples_;
};

// ---- The sectors of the images the device reads itself (span_reader.cpp) ----

// Cue sheets and .toc files: the disc's bytes laid out as spans taken from
// files, with silence wherever no span lies.

// A stretch of the disc's audio, in bytes from LSN 0, and where it comes
// from. Spans start and end on whole stereo samples.
struct ImageSpan {
  int64_t discByte = 0;
  int64_t bytes = 0;
  int file = 0;  // index returned by SpanReader::Open
  int64_t fileByte = 0;
  bool bigEndian = false;  // samples stored high byte first
  int audio = -1;          // else decoded from this audio file (SpanReader::AddAudio)
};

class SpanReader : public SectorReader {
 public:
  // Opens a regular file the image names, giving its index and size. The
  // reader owns it from then on, whether or not loading goes on to succeed.
  bool Open(const std::string& path, int* file, int64_t* size, std::string* why);
  // Takes over an audio file the image names; its index.
  int AddAudio(std::unique_ptr<AudioFile> file);
  // Spans are added in disc order and must not overlap.
  void Add(const ImageSpan& span) { spans_.push_back(span); }
  void SetSectors(int32_t sectors) { sectors_ = sectors; }
  int Fd(int file) const { return fds_[static_cast<size_t>(file)].Get(); }

  bool Read(int32_t lsn, int32_t count, uint8_t* out) override;

 private:
  std::vector<common::Fd> fds_;
  std::vector<std::unique_ptr<AudioFile>> audio_;
  std::vector<ImageSpan> spans_;
  int32_t sectors_ = 0;
};

// An image longer than this, in sectors, is no disc: far beyond the
// longest one, and far from overflowing a sector number.
constexpr int64_t MaxImageSectors = INT32_MAX / 4;

// The last step of loading an image the device reads itself: `table`
// checked against the sectors it lays out, and handed to `disc` with
// `reader`; else false, with `why` naming `path` and the problem.
bool FinishImage(const std::string& path, const TrackTable& table,
                 std::unique_ptr<SpanReader> reader, Disc* disc, std::string* why);

// FinishImage for an image a sheet describes (a CueSheet or a TocSheet),
// with the titles and performers the sheet gives the disc and its tracks.
template <typename Sheet>
bool FinishSheetImage(const std::string& path, const TrackTable& table,
                      std::unique_ptr<SpanReader> reader, const Sheet& sheet, Disc* disc,
                      std::string* why) {
  if (!FinishImage(path, table, std::move(reader), disc, why)) return false;
  disc->text.disc = sheet.text;
  disc->text.tracks.clear();
  for (const auto& track : sheet.tracks) disc->text.tracks.push_back(track.text);
  return true;
}

}  // namespace disc

#endif
