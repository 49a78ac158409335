// SPDX-License-Identifier: GPL-3.0-or-later
// The sector reader of the images the device reads itself, and the last
// step of loading one.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/linux/common/file.h"
#include "platform/linux/disc/sources.h"

namespace disc {

bool SpanReader::Open(const std::string& path, int* file, int64_t* size, std::string* why) {
  struct stat info;
  common::Fd fd = common::OpenRegularFile(path, &info);
  if (!fd.Ok()) {
    *why = "cannot open " + path;
    return false;
  }
  *size = static_cast<int64_t>(info.st_size);
  fds_.push_back(std::move(fd));
  *file = static_cast<int>(fds_.size()) - 1;
  return true;
}

int SpanReader::AddAudio(std::unique_ptr<AudioFile> file) {
  audio_.push_back(std::move(file));
  return static_cast<int>(audio_.size()) - 1;
}

bool SpanReader::Read(int32_t lsn, int32_t count, uint8_t* out) {
  if (lsn < 0 || count < 0 || lsn + count > sectors_) return false;
  int64_t low = static_cast<int64_t>(lsn) * SectorBytes;
  int64_t high = low + static_cast<int64_t>(count) * SectorBytes;
  std::memset(out, 0, static_cast<size_t>(high - low));
  for (const ImageSpan& span : spans_) {
    if (span.discByte + span.bytes <= low) continue;
    if (span.discByte >= high) break;
    int64_t from = std::max(low, span.discByte);
    int64_t to = std::min(high, span.discByte + span.bytes);
    uint8_t* into = out + (from - low);
    if (span.audio >= 0) {
      int64_t frame = (span.fileByte + (from - span.discByte)) / SampleBytes;
      if (!audio_[static_cast<size_t>(span.audio)]->Read(frame, (to - from) / SampleBytes, into))
        return false;
      continue;
    }
    size_t bytes = static_cast<size_t>(to - from);
    if (!common::ReadAt(Fd(span.file), span.fileByte + (from - span.discByte), into, to - from))
      return false;  // the file shrank or failed under us
    if (span.bigEndian)
      for (size_t i = 0; i + 1 < bytes; i += 2) std::swap(into[i], into[i + 1]);
  }
  return true;
}

bool FinishImage(const std::string& path, const TrackTable& table,
                 std::unique_ptr<SpanReader> reader, Disc* disc, std::string* why) {
  std::string problem;
  if (!CheckTrackTable(table, table.leadout, &problem)) {
    *why = path + ": " + problem;
    return false;
  }
  reader->SetSectors(table.leadout);
  disc->table = table;
  disc->reader = std::move(reader);
  return true;
}

}  // namespace disc
