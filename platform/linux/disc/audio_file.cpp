// SPDX-License-Identifier: GPL-3.0-or-later
// Audio files a cue sheet names, decoded by libsndfile.
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/linux/common/file.h"
#include "platform/linux/disc/sources.h"

namespace disc {

namespace {

constexpr int CdChannels = 2;
constexpr int64_t ChunkFrames = 4096;

// Encodings that decode to 16-bit samples: 16-bit PCM and ALAC are the CD's
// own samples; the lossy ones are as close as they come.
bool CdEncoding(int subtype, bool* exact) {
  switch (subtype) {
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ALAC_16:
      *exact = true;
      return true;
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
      *exact = false;
      return true;
    default:
      return false;
  }
}

std::string EncodingName(int subtype) {
  SF_FORMAT_INFO info;
  std::memset(&info, 0, sizeof info);
  info.format = subtype;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
    return info.name;
  return "encoding " + std::to_string(subtype);
}

}  // namespace

AudioFile::~AudioFile() {
  if (file_) sf_close(file_);
}

bool AudioFile::Open(const std::string& path, std::string* why) {
  // A FIFO or device the sheet names cannot stall us.
  struct stat status;
  fd_ = common::OpenRegularFile(path, &status, why);
  if (!fd_.Ok()) return false;
  SF_INFO info;
  std::memset(&info, 0, sizeof info);
  // The descriptor stays ours, closed after libsndfile lets go of it.
  file_ = sf_open_fd(fd_.Get(), SFM_READ, &info, 0);
  if (!file_) {
    *why = path + ": not an audio file libsndfile reads (" + sf_strerror(nullptr) + ")";
    return false;
  }
  int subtype = info.format & SF_FORMAT_SUBMASK;
  if (info.samplerate != SampleRate || info.channels != CdChannels ||
      !CdEncoding(subtype, &exactLength_)) {
    *why = path + ": " + EncodingName(subtype) + ", " + std::to_string(info.channels) +
           " channel(s) at " + std::to_string(info.samplerate) +
           " Hz; a CD holds 16-bit stereo at 44100 Hz";
    return false;
  }
  frames_ = std::max<int64_t>(info.frames, 0);
  position_ = 0;
  return true;
}

bool AudioFile::Read(int64_t frame, int64_t count, uint8_t* out) {
  if (!file_ || frame < 0 || count < 0) return false;
  int64_t inside = std::max<int64_t>(0, std::min(count, frames_ - frame));
  std::memset(out + inside * SampleBytes, 0, static_cast<size_t>((count - inside) * SampleBytes));
  if (inside == 0) return true;
  if (position_ != frame) {
    if (sf_seek(file_, frame, SEEK_SET) != frame) {
      position_ = -1;
      return false;
    }
    position_ = frame;
  }
  samples_.resize(static_cast<size_t>(std::min(inside, ChunkFrames) * CdChannels));
  int64_t done = 0;
  while (done < inside) {
    sf_count_t want = std::min(inside - done, ChunkFrames);
    sf_count_t got = sf_readf_short(file_, samples_.data(), want);
    if (got < 0) got = 0;
    for (sf_count_t i = 0; i < got * CdChannels; i++) {
      uint16_t sample = static_cast<uint16_t>(samples_[static_cast<size_t>(i)]);
      uint8_t* to = out + (done * CdChannels + i) * 2;
      to[0] = static_cast<uint8_t>(sample);
      to[1] = static_cast<uint8_t>(sample >> 8);
    }
    done += got;
    position_ += got;
    if (got < want) {
      // A lossy stream's length is an estimate; anything else ran short.
      std::memset(out + done * SampleBytes, 0, static_cast<size_t>((inside - done) * SampleBytes));
      if (!exactLength_) return true;
      position_ = -1;
      return false;
    }
  }
  return true;
}

}  // namespace disc
