// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/titles/cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/linux/common/file.h"
#include "platform/linux/titles/answer.h"
#include "platform/linux/titles/disc_id.h"

namespace titles {

namespace {

using Json = nlohmann::json;

constexpr char Format[] = "korvane-titles-1";
constexpr size_t MaxEntryBytes = 2 * 1024 * 1024;

// Makes the folder and those above it, for the user alone.
bool MakeFolder(const std::string& folder, std::string* why) {
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at < folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *why = "cannot make " + part + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

bool IsText(const Json& object, const char* key) {
  auto found = object.find(key);
  return found != object.end() && found->is_string();
}

std::string TextOf(const Json& object, const char* key) {
  return IsText(object, key) ? object[key].get<std::string>() : std::string();
}

// The album as kept; false for anything else.
bool AlbumOf(const Json& kept, Album* album) {
  if (!kept.is_object() || !IsText(kept, "release") || !IsText(kept, "title") ||
      !IsText(kept, "artist") || !kept.contains("disc-number") ||
      !kept["disc-number"].is_number_integer() || !kept.contains("tracks") ||
      !kept["tracks"].is_array())
    return false;
  Album found;
  found.releaseId = kept["release"].get<std::string>();
  if (!WellFormedMbid(found.releaseId)) return false;
  found.title = kept["title"].get<std::string>();
  found.artist = kept["artist"].get<std::string>();
  auto discNumber = kept["disc-number"].get<int64_t>();
  if (discNumber < 0 || discNumber > 999) return false;
  found.discNumber = static_cast<int>(discNumber);
  const Json& tracks = kept["tracks"];
  if (tracks.size() > 99) return false;
  for (const Json& track : tracks) {
    if (!track.is_object() || !IsText(track, "title") || !IsText(track, "artist")) return false;
    found.songs.push_back(Song{TextOf(track, "title"), TextOf(track, "artist")});
  }
  found.frontCover = IsText(kept, "cover");
  *album = std::move(found);
  return true;
}

}  // namespace

std::string CacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') return std::string(cache) + "/korvane";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.cache/korvane";
  return "";
}

std::string Cache::PathOf(const std::string& discId, const std::string& extension) const {
  return folder_ + "/" + discId + "." + extension;
}

Kept Cache::Load(const std::string& discId, time_t now, Album* album, std::string* why) const {
  std::string ignored;
  if (!why) why = &ignored;
  if (folder_.empty() || !WellFormedDiscId(discId)) return Kept::Nothing;
  const std::string path = PathOf(discId, "json");
  struct stat info;
  common::Fd fd = common::OpenRegularFile(path, &info);
  if (!fd.Ok()) return Kept::Nothing;
  std::string bytes;
  if (!common::ReadAll(fd.Get(), MaxEntryBytes, &bytes)) {
    *why = path + " cannot be read or is too large";
    return Kept::Nothing;
  }
  try {
    const Json kept = Json::parse(bytes, nullptr, false);
    if (kept.is_discarded() || !kept.is_object() || TextOf(kept, "format") != Format ||
        TextOf(kept, "disc") != discId) {
      *why = path + " is not a titles file of this disc";
      return Kept::Nothing;
    }
    if (kept.contains("not-found")) {
      const Json& mark = kept["not-found"];
      if (!mark.is_number_integer()) {
        *why = path + " has a damaged mark";
        return Kept::Nothing;
      }
      auto since = mark.get<int64_t>();
      // A mark from the future (a clock set back) holds no longer than a day either.
      return since <= now && now - since < NotFoundKept ? Kept::NotFound : Kept::Nothing;
    }
    Album found;
    if (!kept.contains("found") || !AlbumOf(kept["found"], &found)) {
      *why = path + " holds damaged titles";
      return Kept::Nothing;
    }
    if (found.frontCover) {
      // Only a file of this disc, beside this one.
      const std::string cover = kept["found"]["cover"].get<std::string>();
      const std::string prefix = discId + ".";
      struct stat coverInfo;
      if (cover.compare(0, prefix.size(), prefix) == 0 && cover.find('/') == std::string::npos &&
          cover.size() <= prefix.size() + 4 &&
          stat((folder_ + "/" + cover).c_str(), &coverInfo) == 0 && S_ISREG(coverInfo.st_mode))
        found.coverPath = folder_ + "/" + cover;
    }
    *album = std::move(found);
    return Kept::Found;
  } catch (const std::exception& error) {
    *why = path + " cannot be read: " + error.what();
    return Kept::Nothing;
  }
}

bool Cache::Store(const std::string& path, const std::string& bytes, std::string* why) const {
  if (folder_.empty()) {
    *why = "there is no cache folder (neither XDG_CACHE_HOME nor HOME is set)";
    return false;
  }
  if (!MakeFolder(folder_, why)) return false;
  std::string temporary = path + ".XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  common::Fd fd(mkstemp(name.data()));
  if (!fd.Ok()) {
    *why = "cannot write in " + folder_ + ": " + std::strerror(errno);
    return false;
  }
  temporary = name.data();
  if (!common::WriteAll(fd.Get(), bytes) || fchmod(fd.Get(), 0600) != 0 || !fd.CloseChecked() ||
      rename(temporary.c_str(), path.c_str()) != 0) {
    *why = "cannot write " + path + ": " + std::strerror(errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool Cache::StoreAlbum(const std::string& discId, const Album& album, std::string* why) const {
  Json tracks = Json::array();
  for (const Song& song : album.songs)
    tracks.push_back(Json{{"title", song.title}, {"artist", song.artist}});
  Json found = {{"release", album.releaseId},
                {"title", album.title},
                {"artist", album.artist},
                {"disc-number", album.discNumber},
                {"tracks", tracks}};
  if (!album.coverPath.empty()) {
    size_t slash = album.coverPath.rfind('/');
    found["cover"] = album.coverPath.substr(slash == std::string::npos ? 0 : slash + 1);
  }
  Json kept = {{"format", Format}, {"disc", discId}, {"found", found}};
  return Store(PathOf(discId, "json"), kept.dump(1, ' ', false, Json::error_handler_t::replace),
               why);
}

bool Cache::StoreNotFound(const std::string& discId, time_t now, std::string* why) const {
  Json kept = {{"format", Format}, {"disc", discId}, {"not-found", static_cast<int64_t>(now)}};
  return Store(PathOf(discId, "json"), kept.dump(1, ' ', false, Json::error_handler_t::replace),
               why);
}

bool Cache::StoreCover(const std::string& discId, const std::string& picture,
                       const std::string& extension, std::string* path, std::string* why) const {
  const std::string target = PathOf(discId, extension);
  if (!Store(target, picture, why)) return false;
  *path = target;
  return true;
}

}  // namespace titles
