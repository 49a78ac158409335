#include "tools/simdrive/sheet.h"

#include <stdio.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace simdrive {

namespace {

// A session's lead-out and the next one's lead-in and pregap.
constexpr int32_t SessionGap = 11400;

bool ParseMsf(const std::string& text, int32_t* lsn) {
  int minutes, seconds, frames;
  char tail;
  if (sscanf(text.c_str(), "%d:%d:%d%c", &minutes, &seconds, &frames, &tail) != 3) return false;
  if (minutes < 0 || seconds < 0 || seconds > 59 || frames < 0 || frames > 74) return false;
  *lsn = (minutes * 60 + seconds) * 75 + frames;
  return true;
}

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace

const SheetTrack* Sheet::TrackAt(int32_t lsn) const {
  const SheetTrack* found = nullptr;
  for (const SheetTrack& track : tracks) {
    if (track.start > lsn) break;
    found = &track;
  }
  if (!found || lsn >= sessionEnds[static_cast<size_t>(found->session - 1)]) return nullptr;
  return found;
}

bool ReadSheet(const std::string& cuePath, Sheet* sheet, std::string* error) {
  std::ifstream in(cuePath);
  if (!in) {
    *error = cuePath + ": cannot be read";
    return false;
  }
  *sheet = Sheet();
  int session = 1;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "FILE") {
      size_t open = line.find('"');
      size_t close = line.rfind('"');
      if (open == std::string::npos || close <= open || !sheet->binPath.empty()) {
        *error = cuePath + ": one quoted FILE is expected";
        return false;
      }
      sheet->binPath = Folder(cuePath) + line.substr(open + 1, close - open - 1);
    } else if (keyword == "REM") {
      std::string what;
      words >> what;
      if (what == "SESSION") words >> session;
    } else if (keyword == "TRACK") {
      SheetTrack track;
      std::string mode;
      words >> track.number >> mode;
      track.audio = mode == "AUDIO";
      track.session = session;
      track.start = -1;
      sheet->tracks.push_back(track);
    } else if (keyword == "INDEX") {
      int index;
      std::string position;
      words >> index >> position;
      int32_t lsn;
      if (sheet->tracks.empty() || !ParseMsf(position, &lsn)) {
        *error = cuePath + ": bad INDEX line: " + line;
        return false;
      }
      if (index == 1) sheet->tracks.back().start = lsn;
    }
  }
  if (sheet->binPath.empty() || sheet->tracks.empty()) {
    *error = cuePath + ": no FILE or no TRACK";
    return false;
  }
  struct stat info;
  if (stat(sheet->binPath.c_str(), &info) != 0) {
    *error = sheet->binPath + ": missing";
    return false;
  }
  sheet->leadout = static_cast<int32_t>(info.st_size / SectorBytes);
  for (size_t i = 0; i < sheet->tracks.size(); i++) {
    const SheetTrack& track = sheet->tracks[i];
    int32_t next = i + 1 < sheet->tracks.size() ? sheet->tracks[i + 1].start : sheet->leadout;
    if (track.start < 0 || track.start >= next || track.session < sheet->Sessions() ||
        track.session > sheet->Sessions() + 1) {
      *error = cuePath + ": track " + std::to_string(track.number) + " is out of place";
      return false;
    }
    if (track.session > sheet->Sessions()) sheet->sessionEnds.push_back(0);
    // The area between two sessions belongs to neither.
    bool lastOfSession =
        i + 1 == sheet->tracks.size() || sheet->tracks[i + 1].session != track.session;
    int32_t end = i + 1 < sheet->tracks.size() && lastOfSession ? next - SessionGap : next;
    if (end <= track.start) {
      *error = cuePath + ": no room between the sessions";
      return false;
    }
    sheet->sessionEnds.back() = end;
  }
  return true;
}

}  // namespace simdrive
