#include "platform/linux/disc/span_reader.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace disc {

SpanReader::~SpanReader() {
  for (int fd : fds_) close(fd);
}

int OpenRegularFile(const std::string& path, int64_t* size, std::string* why) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    if (why) *why = "cannot open " + path + ": " + strerror(error);
    return -1;
  }
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    if (why) *why = path + ": not a regular file";
    return -1;
  }
  // Reads of a regular file never block anyway; clear the flag all the same.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  *size = static_cast<int64_t>(status.st_size);
  return fd;
}

int SpanReader::Open(const std::string& path, int64_t* size) {
  const int fd = OpenRegularFile(path, size);
  if (fd < 0) return -1;
  fds_.push_back(fd);
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
    if (!ReadAt(Fd(span.file), span.fileByte + (from - span.discByte), into, to - from))
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

bool ReadAt(int fd, int64_t at, uint8_t* out, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t got = pread(fd, out + done, static_cast<size_t>(count - done), at + done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += got;
  }
  return true;
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
  int64_t size = 0;
  const int fd = OpenRegularFile(path, &size);
  if (fd < 0) return false;
  std::string contents;
  char buffer[65536];
  bool ok = size <= MaxSheetBytes;
  while (ok) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    contents.append(buffer, static_cast<size_t>(got));
    ok = static_cast<int64_t>(contents.size()) <= MaxSheetBytes;
  }
  close(fd);
  if (ok) *text = std::move(contents);
  return ok;
}

bool ReadSheet(const std::string& path, std::string* text, std::string* why) {
  if (ReadText(path, text)) return true;
  *why = "cannot read " + path;
  return false;
}

}  // namespace disc
