#include "platform/linux/disc/span_reader.h"

#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "platform/linux/common/file.h"

namespace disc {

int SpanReader::Open(const std::string& path, int64_t* size) {
  struct stat info;
  common::Fd fd = common::OpenRegularFile(path, &info);
  if (!fd.Ok()) return -1;
  *size = static_cast<int64_t>(info.st_size);
  fds_.push_back(std::move(fd));
  return static_cast<int>(fds_.size()) - 1;
}

int SpanReader::AddAudio(std::unique_ptr<AudioFile> file) {
  audio_.push_back(std::move(file));
  return static_cast<int>(audio_.size()) - 1;
}

bool SpanReader::Read(int32_t lsn, int32_t count, uint8_t* out) {
  if (lsn < 0 || count < 0 || lsn + count > sectors_) return false;
  int64_t low = static_cast<int64_t>(lsn) * SectorBytes;
  int64_t high = low + static_cast<int64_t>(count) * SectorBytes;
  memset(out, 0, static_cast<size_t>(high - low));
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

DiscState FinishImage(const std::string& path, const TrackTable& table,
                      std::unique_ptr<SpanReader> reader, Disc* disc, std::string* why) {
  const std::string problem = CheckTrackTable(table, table.leadout);
  if (!problem.empty()) {
    *why = path + ": " + problem;
    return DiscState::Unreadable;
  }
  reader->SetSectors(table.leadout);
  disc->table = table;
  disc->reader = std::move(reader);
  return DiscState::Ready;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ResolveIn(const std::string& folder, const std::string& name) {
  return name[0] == '/' || folder.empty() ? name : folder + "/" + name;
}

bool ReadText(const std::string& path, std::string* text) {
  struct stat info;
  const common::Fd fd = common::OpenRegularFile(path, &info);
  std::string contents;
  if (!fd.Ok() || info.st_size > MaxSheetBytes ||
      !common::ReadAll(fd.Get(), static_cast<size_t>(MaxSheetBytes), &contents))
    return false;
  *text = std::move(contents);
  return true;
}

bool ReadSheet(const std::string& path, std::string* text, std::string* why) {
  if (ReadText(path, text)) return true;
  *why = "cannot read " + path;
  return false;
}

}  // namespace disc
