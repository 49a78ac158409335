// The sector reader of the images the device reads itself (cue sheets and
// .toc files): the disc's bytes laid out as spans taken from files, with
// silence wherever no span lies.
#ifndef KORVANE_PLATFORM_LINUX_DISC_SPAN_READER_H
#define KORVANE_PLATFORM_LINUX_DISC_SPAN_READER_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/common/file.h"
#include "platform/linux/disc/audio_file.h"
#include "platform/linux/disc/disc.h"

namespace disc {

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
  // Opens a regular file the image names; its index, or -1. The reader
  // owns it from then on, whether or not loading goes on to succeed.
  int Open(const std::string& path, int64_t* size);
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

// A sheet larger than this is not a sheet.
constexpr int64_t MaxSheetBytes = 16 << 20;

// An image longer than this, in sectors, is no disc: far beyond the
// longest one, and far from overflowing a sector number.
constexpr int64_t MaxImageSectors = INT32_MAX / 4;

// The last step of loading an image the device reads itself: `table`
// checked against the sectors it lays out, and handed to `disc` with
// `reader`; else Unreadable, with `why` naming `path` and the problem.
DiscState FinishImage(const std::string& path, const TrackTable& table,
                      std::unique_ptr<SpanReader> reader, Disc* disc, std::string* why);

// The folder a path lies in, to resolve the names an image gives.
std::string FolderOf(const std::string& path);

// A name from an image, resolved against the image's folder.
std::string ResolveIn(const std::string& folder, const std::string& name);

// Reads a whole text file (an image's sheet); false when it cannot.
bool ReadText(const std::string& path, std::string* text);
// ReadText for a cue sheet or .toc; on failure `why` says so.
bool ReadSheet(const std::string& path, std::string* text, std::string* why);

}  // namespace disc

#endif
