// SPDX-License-Identifier: GPL-3.0-or-later
// Writes audio files through libsndfile for test discs: CD samples as WAVE,
// FLAC or AIFF, and files of other shapes for the images that must be
// refused.
#ifndef KORVANE_TOOLS_AUDIO_WRITER_H
#define KORVANE_TOOLS_AUDIO_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

namespace mkdisc {

struct AudioShape {
  int format = 0;  // libsndfile's major type and encoding, e.g. WAV | PCM_16
  int rate = 44100;
  int channels = 2;
};

// The shape of CD audio in a file of the type `extension` names ("wav",
// "flac", "aiff", "aif", "ogg"); format 0 for a name libsndfile cannot write.
AudioShape CdShape(const std::string& extension);

// Writes `samples` (16-bit little-endian, interleaved, channels of
// `shape`) to `path`; false with `error` set on failure.
bool WriteAudioFile(const std::string& path, const std::vector<uint8_t>& samples,
                    const AudioShape& shape, std::string* error);

}  // namespace mkdisc

#endif
