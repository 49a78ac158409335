// SPDX-License-Identifier: GPL-3.0-or-later
// The sheet and the files it names: the sheet read whole and decoded, and
// each name it gives found as written, ignoring case, or by its stem.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "platform/linux/common/audio_types.h"
#include "platform/linux/common/file.h"
#include "platform/linux/common/text.h"
#include "platform/linux/disc/sheets.h"

namespace disc {

namespace {

bool IsKind(const std::string& path, bool directory) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return false;
  return directory ? S_ISDIR(status.st_mode) : S_ISREG(status.st_mode);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The entries of `folder` of the kind asked for whose folded name is one
// of `folded`, sorted.
std::vector<std::string> Matching(const std::string& folder, const std::vector<std::string>& folded,
                                  bool directory) {
  std::vector<std::string> found;
  DIR* entries = opendir(folder.empty() ? "." : folder.c_str());
  if (!entries) return found;
  while (dirent* entry = readdir(entries)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (std::find(folded.begin(), folded.end(), common::AsciiLower(name)) == folded.end()) continue;
    if (IsKind(Join(folder, name), directory)) found.push_back(name);
  }
  closedir(entries);
  std::sort(found.begin(), found.end());
  return found;
}

std::string Candidates(const std::string& folder, const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + Join(folder, name);
  return list;
}

// One step of the walk: `part` inside `folder`, as written or ignoring case.
bool Step(std::string* folder, const std::string& part, bool directory, std::string* why) {
  std::string exact = Join(*folder, part);
  if (IsKind(exact, directory)) {
    *folder = exact;
    return true;
  }
  std::vector<std::string> found = Matching(*folder, {common::AsciiLower(part)}, directory);
  if (found.size() == 1) {
    *folder = Join(*folder, found[0]);
    return true;
  }
  if (found.size() > 1) *why = exact + " is ambiguous: it could be " + Candidates(*folder, found);
  return false;
}

std::string Stem(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

bool FindSheetFile(const std::string& folder, const std::string& name, bool audio,
                   std::string* path, std::string* why) {
  std::string written = name.empty() || name[0] == '/' ? name : Join(folder, name);
  if (IsKind(written, false)) {
    *path = written;
    return true;
  }
  struct stat status;
  if (!name.empty() && stat(written.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
    *why = written + " is not a regular file";  // a FIFO or device: never opened
    return false;
  }

  // Walk the name a part at a time, each part as written or ignoring case;
  // sheets written on Windows may part their folders with backslashes.
  std::vector<std::string> parts;
  std::string part;
  for (char c : name) {
    if (c == '/' || c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  if (parts.empty()) {
    *why = "the sheet names no file";
    return false;
  }
  std::string at = name[0] == '/' ? "/" : folder;
  why->clear();
  for (size_t i = 0; i + 1 < parts.size(); i++)
    if (!Step(&at, parts[i], true, why)) {
      if (why->empty()) *why = "cannot find " + written;
      return false;
    }
  std::string inside = at;
  if (Step(&at, parts.back(), false, why)) {
    *path = at;
    return true;
  }
  if (!why->empty()) return false;

  if (audio) {
    std::vector<std::string> others;
    std::string stem = common::AsciiLower(Stem(parts.back()));
    for (std::string_view extension : common::AudioExtensions)
      others.push_back(stem + "." + std::string(extension));
    std::vector<std::string> found = Matching(inside, others, false);
    if (found.size() == 1) {
      *path = Join(inside, found[0]);
      return true;
    }
    if (found.size() > 1) {
      *why = "cannot find " + written + ", and it could be any of " + Candidates(inside, found);
      return false;
    }
  }
  *why = "cannot find " + written;
  return false;
}

bool ReadSheet(const std::string& path, std::string* bytes, std::string* why) {
  struct stat info;
  const common::Fd file = common::OpenRegularFile(path, &info);
  std::string contents;
  if (!file.Ok() || info.st_size > MaxSheetBytes ||
      !common::ReadAll(file.Get(), static_cast<size_t>(MaxSheetBytes), &contents)) {
    *why = "cannot read " + path;
    return false;
  }
  *bytes = std::move(contents);
  return true;
}

bool DecodeSheetText(const std::string& bytes, std::string* text, std::string* why) {
  if (common::ValidUtf8(bytes)) {
    const size_t mark = common::ByteOrderMark.size();
    *text = bytes.compare(0, mark, common::ByteOrderMark) == 0 ? bytes.substr(mark) : bytes;
    return true;
  }
  if (common::ConvertText("UTF-8", "CP932", bytes, text) ||
      common::ConvertText("UTF-8", "CP1252", bytes, text))
    return true;
  *why = "the sheet is not text (neither UTF-8 nor code page 932 or 1252)";
  return false;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ResolveIn(const std::string& folder, const std::string& name) {
  return name[0] == '/' || folder.empty() ? name : folder + "/" + name;
}

}  // namespace disc
