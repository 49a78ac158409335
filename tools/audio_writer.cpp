// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/audio_writer.h"

#include <sndfile.h>

#include <cstring>

namespace mkdisc {

AudioShape CdShape(const std::string& extension) {
  AudioShape shape;
  if (extension == "wav")
    shape.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  else if (extension == "flac")
    shape.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  else if (extension == "aiff" || extension == "aif")
    shape.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
  else if (extension == "ogg")
    shape.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  return shape;
}

bool WriteAudioFile(const std::string& path, const std::vector<uint8_t>& samples,
                    const AudioShape& shape, std::string* error) {
  SF_INFO info;
  memset(&info, 0, sizeof info);
  info.samplerate = shape.rate;
  info.channels = shape.channels;
  info.format = shape.format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    *error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  std::vector<short> values(samples.size() / 2);
  for (size_t i = 0; i < values.size(); i++)
    values[i] = static_cast<short>(samples[2 * i] | samples[2 * i + 1] << 8);
  sf_count_t frames = static_cast<sf_count_t>(values.size()) / shape.channels;
  bool written = sf_writef_short(file, values.data(), frames) == frames;
  if (!written) *error = "cannot write " + path + ": " + sf_strerror(file);
  if (sf_close(file) != 0 && written) {
    *error = "cannot finish " + path;
    written = false;
  }
  return written;
}

}  // namespace mkdisc
