// An audio file a cue sheet names (WAVE, AIFF, FLAC, Ogg, MP3), decoded by
// libsndfile into the samples a CD holds: 44100 Hz, 2 channels, 16 bits,
// little-endian. Lossless 16-bit files come out sample for sample.
#ifndef KORVANE_PLATFORM_LINUX_DISC_AUDIO_FILE_H
#define KORVANE_PLATFORM_LINUX_DISC_AUDIO_FILE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "platform/linux/common/file.h"
#include "platform/linux/disc/sndfile_library.h"
#include "platform/linux/disc/track_table.h"

namespace disc {

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
  const SndfileCalls* sf_ = nullptr;
  common::Fd fd_;  // ours, closed after libsndfile lets go of it
  SNDFILE* file_ = nullptr;
  int64_t frames_ = 0;
  int64_t position_ = 0;     // the decoder's next frame; -1 after a failure
  bool exactLength_ = true;  // lossy streams may hold a little less than they say
  std::vector<short> samples_;
};

}  // namespace disc

#endif
