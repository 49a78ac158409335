// Cue sheet images: one or more raw files of 2352-byte sectors laid end to
// end, each track's position given relative to the file it lies in.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/linux/cdaudio/cue_sheet.h"
#include "platform/linux/cdaudio/disc.h"

namespace cdaudio {

namespace {

struct ImageFile {
  int fd = -1;
  int32_t first = 0;    // disc LSN of the file's first sector
  int32_t sectors = 0;  // whole sectors present when the disc was loaded
  bool big_endian = false;
};

class CueImageReader : public SectorReader {
 public:
  explicit CueImageReader(std::vector<ImageFile> files) : files_(std::move(files)) {}
  ~CueImageReader() override {
    for (ImageFile& file : files_) close(file.fd);
  }

  bool Read(int32_t lsn, int32_t count, uint8_t* out) override {
    while (count > 0) {
      const ImageFile* file = FileAt(lsn);
      if (!file) return false;
      int32_t here = std::min(count, file->first + file->sectors - lsn);
      size_t bytes = (size_t)here * kSectorBytes;
      off_t offset = (off_t)(lsn - file->first) * kSectorBytes;
      size_t done = 0;
      while (done < bytes) {
        ssize_t got = pread(file->fd, out + done, bytes - done, offset + (off_t)done);
        if (got <= 0) return false;  // the file shrank or failed under us
        done += (size_t)got;
      }
      if (file->big_endian)
        for (size_t i = 0; i + 1 < bytes; i += 2) std::swap(out[i], out[i + 1]);
      out += bytes;
      lsn += here;
      count -= here;
    }
    return true;
  }

 private:
  const ImageFile* FileAt(int32_t lsn) const {
    for (const ImageFile& file : files_)
      if (lsn >= file.first && lsn < file.first + file.sectors) return &file;
    return nullptr;
  }

  std::vector<ImageFile> files_;
};

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

DiscState LoadCueImage(const std::string& path, Disc* disc, std::string* why) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) {
    *why = "cannot read " + path;
    return DiscState::kUnreadable;
  }
  CueSheet sheet;
  std::string problem = ParseCueSheet(text.str(), Folder(path), &sheet);
  if (!problem.empty()) {
    *why = path + ": " + problem;
    return DiscState::kUnreadable;
  }

  std::vector<ImageFile> files;
  auto close_all = [&files] {
    for (ImageFile& file : files) close(file.fd);
  };
  int32_t next = 0;
  for (const CueFile& named : sheet.files) {
    ImageFile file;
    file.fd = open(named.path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (file.fd < 0 || fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
      if (file.fd >= 0) close(file.fd);
      close_all();
      *why = path + ": cannot open " + named.path;
      return DiscState::kUnreadable;
    }
    file.first = next;
    file.sectors = (int32_t)std::min<off_t>(status.st_size / kSectorBytes, INT32_MAX / 2);
    file.big_endian = named.big_endian;
    next += file.sectors;
    files.push_back(file);
  }

  TrackTable table;
  table.first = sheet.tracks.front().number;
  for (const CueTrack& entry : sheet.tracks) {
    Track track;
    track.start = files[entry.index1.file].first + entry.index1.sector;
    if (entry.index0.file >= 0) track.pregap = files[entry.index0.file].first + entry.index0.sector;
    track.audio = entry.audio;
    track.session = entry.session;
    table.tracks.push_back(track);
  }
  table.leadout = next;
  problem = CheckTrackTable(table, next);
  // A position past the end of its own file is as wrong as one past the
  // end of the disc, even when a later file makes up the sectors.
  for (const CueTrack& entry : sheet.tracks)
    if (problem.empty() && entry.index1.sector >= files[entry.index1.file].sectors)
      problem = "track " + std::to_string(entry.number) + " starts past the end of its file";
  if (!problem.empty()) {
    close_all();
    *why = path + ": " + problem;
    return DiscState::kUnreadable;
  }
  disc->table = table;
  disc->reader.reset(new CueImageReader(std::move(files)));
  return DiscState::kReady;
}

}  // namespace cdaudio
